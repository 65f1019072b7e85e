#include "key_name.h"

#include "text.h"

#include "platform/codepage.h"

namespace zelk::regtool {

namespace {

struct Root {
    char const* longName;
    char const* shortName;
    HKEY key;
    char const* path;  // below `key`
};

constexpr char kCurrentConfig[] = "System\\CurrentControlSet\\Hardware Profiles\\Current";

}  // namespace

bool ParseKeyName(std::string_view utf8, KeyName& key, std::string& error) {
    Root const roots[] = {
        {"HKEY_CURRENT_USER", "HKCU", HKEY_CURRENT_USER, ""},
        {"HKEY_LOCAL_MACHINE", "HKLM", HKEY_LOCAL_MACHINE, ""},
        {"HKEY_CLASSES_ROOT", "HKCR", HKEY_CLASSES_ROOT, ""},
        {"HKEY_USERS", "HKU", HKEY_USERS, ""},
        {"HKEY_CURRENT_CONFIG", "HKCC", HKEY_LOCAL_MACHINE, kCurrentConfig},
    };
    std::string quoted(1, '\'');
    quoted.append(utf8).push_back('\'');
    if (utf8.substr(0, 2) == "\\\\") {
        error = "remote registries are not supported: " + quoted;
        return false;
    }
    std::size_t const slash = utf8.find('\\');
    std::string_view const rootName = utf8.substr(0, slash);
    std::string_view path = slash == std::string_view::npos ? std::string_view() : utf8.substr(slash + 1);
    if (!path.empty() && path.back() == '\\') {
        path.remove_suffix(1);
    }
    Root const* root = nullptr;
    for (Root const& candidate : roots) {
        if (SameLetters(rootName, candidate.longName) || SameLetters(rootName, candidate.shortName)) {
            root = &candidate;
        }
    }
    if (root == nullptr) {
        error = "not a key of the registry: " + quoted +
                " (a key starts with HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT, HKEY_USERS or "
                "HKEY_CURRENT_CONFIG, or HKCU, HKLM, HKCR, HKU, HKCC)";
        return false;
    }
    std::u16string text;
    std::size_t bad = 0;
    if (!os::Utf8ToUtf16(path, text, bad)) {
        error = "key " + quoted + ": the name is not UTF-8 (byte " + std::to_string(slash + 2 + bad) + ")";
        return false;
    }
    for (std::size_t start = 0; !text.empty() && start <= text.size();) {
        std::size_t end = text.find(u'\\', start);
        if (end == std::u16string::npos) {
            end = text.size();
        }
        if (end == start) {
            error = "key " + quoted + " has an empty name between two \"\\\"";
            return false;
        }
        if (end - start > os::kMaxKeyNameLength) {
            error =
                "key " + quoted + " has a name longer than " + std::to_string(os::kMaxKeyNameLength) + " characters";
            return false;
        }
        start = end + 1;
    }
    key.root = root->key;
    key.path = root->path;
    key.path += key.path.empty() || path.empty() ? "" : "\\";
    key.path += path;
    key.display = std::string(root->longName) + (path.empty() ? "" : "\\") + std::string(path);
    key.isRoot = path.empty();
    return true;
}

KeyName SubKey(KeyName const& parent, std::string_view child) {
    KeyName key = parent;
    key.path = parent.path.empty() ? std::string(child) : parent.path + "\\" + std::string(child);
    key.display = parent.display + "\\" + std::string(child);
    key.isRoot = false;
    return key;
}

KeyName ParentKey(KeyName const& key, std::string& leaf) {
    KeyName parent = key;
    std::size_t const slash = key.path.rfind('\\');
    leaf = key.path.substr(slash == std::string::npos ? 0 : slash + 1);
    parent.path.resize(slash == std::string::npos ? 0 : slash);
    std::size_t const shown = key.display.rfind('\\');
    parent.display.resize(shown == std::string::npos ? parent.display.size() : shown);
    parent.isRoot = parent.display.find('\\') == std::string::npos;
    return parent;
}

}  // namespace zelk::regtool
