#include "registry_access.h"

#include "platform/codepage.h"
#include "platform/error_text.h"
#include "platform/registry.h"

#include <algorithm>
#include <utility>

namespace zelk::regtool {

namespace {

// Sorts `items` by the UTF-16 of their names.
template <typename T, typename Name>
void SortByName(std::vector<T>& items, Name name) {
    std::vector<std::pair<std::u16string, T>> keyed;
    keyed.reserve(items.size());
    for (T& item : items) {
        std::u16string text;
        std::size_t bad = 0;
        os::Utf8ToUtf16(name(item), text, bad);  // the registry's own names are UTF-8
        keyed.emplace_back(std::move(text), std::move(item));
    }
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](auto const& a, auto const& b) { return os::CompareNamesNoCase(a.first, b.first) < 0; });
    for (std::size_t i = 0; i < items.size(); ++i) {
        items[i] = std::move(keyed[i].second);
    }
}

}  // namespace

long OpenedKey::Open(KeyName const& name) {
    Close();
    HKEY key = nullptr;
    long const result = os::RegOpenKeyU(name.root, name.path, name.view, &key);
    if (result == os::kErrorSuccess) {
        m_key = key;
        m_owned = key != name.root;  // an empty path may hand back the root itself
    }
    return result;
}

long OpenedKey::Create(KeyName const& name) {
    Close();
    HKEY key = nullptr;
    long const result = os::RegCreateKeyU(name.root, name.path, name.view, &key);
    if (result == os::kErrorSuccess) {
        m_key = key;
        m_owned = key != name.root;
    }
    return result;
}

void OpenedKey::Close() noexcept {
    if (m_key != nullptr && m_owned) {
        os::RegCloseKey(m_key);
    }
    m_key = nullptr;
    m_owned = false;
}

long ReadValue(HKEY key, std::string const& name, Value& value) {
    long const result = os::RegQueryValueU(key, name, &value.type, &value.data);
    if (result == os::kErrorSuccess) {
        value.name = name;
    }
    return result;
}

long ReadValues(HKEY key, std::vector<Value>& values) {
    values.clear();
    for (std::uint32_t index = 0;; ++index) {
        Value value;
        long const result = os::RegEnumValueU(key, index, value.name, &value.type, &value.data);
        if (result == os::kErrorNoMoreItems) {
            break;
        }
        if (result != os::kErrorSuccess) {
            return result;
        }
        values.push_back(std::move(value));
    }
    SortByName(values, [](Value const& value) -> std::string const& { return value.name; });
    return os::kErrorSuccess;
}

long ReadSubKeyNames(HKEY key, std::vector<std::string>& names) {
    names.clear();
    for (std::uint32_t index = 0;; ++index) {
        std::string name;
        long const result = os::RegEnumKeyU(key, index, name);
        if (result == os::kErrorNoMoreItems) {
            break;
        }
        if (result != os::kErrorSuccess) {
            return result;
        }
        names.push_back(std::move(name));
    }
    SortByName(names, [](std::string const& name) -> std::string const& { return name; });
    return os::kErrorSuccess;
}

long ReadTree(KeyName const& key, std::vector<KeyContents>& tree) {
    OpenedKey opened;
    long result = opened.Open(key);
    std::vector<std::string> subKeys;
    tree.push_back(KeyContents{key, {}});
    if (result == os::kErrorSuccess) result = ReadValues(opened.get(), tree.back().values);
    if (result == os::kErrorSuccess) result = ReadSubKeyNames(opened.get(), subKeys);
    opened.Close();
    for (std::size_t i = 0; result == os::kErrorSuccess && i < subKeys.size(); ++i) {
        result = ReadTree(SubKey(key, subKeys[i]), tree);
    }
    return result;
}

long DeleteKeyTree(KeyName const& key) {
    std::string leaf;
    OpenedKey parent;
    long const result = parent.Open(ParentKey(key, leaf));
    return result == os::kErrorSuccess ? os::RegDeleteTreeU(parent.get(), leaf) : result;
}

std::string ErrorText(long code) { return os::SystemErrorText(code); }

}  // namespace zelk::regtool
