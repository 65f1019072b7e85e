#include "key_name.h"

#include "text.h"

#include "platform/registry.h"

#include <cctype>

namespace zelk::regtool {

namespace {

struct Root {
    char const* longName;
    char const* shortName;
    HKEY key;
};

}  // namespace

bool ParseKeyName(std::string_view utf8, KeyName& key, std::string& error) {
    Root const roots[] = {
        {"HKEY_CURRENT_USER", "HKCU", HKEY_CURRENT_USER},
        {"HKEY_LOCAL_MACHINE", "HKLM", HKEY_LOCAL_MACHINE},
        {"HKEY_CLASSES_ROOT", "HKCR", HKEY_CLASSES_ROOT},
        {"HKEY_USERS", "HKU", HKEY_USERS},
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
                " (a key starts with HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT or HKEY_USERS, or HKCU, "
                "HKLM, HKCR, HKU)";
        return false;
    }
    std::string ansi;
    if (!Utf8ToAnsi(path, ansi, error)) {
        error = "key " + quoted + ": " + error;
        return false;
    }
    std::size_t start = 0;
    while (!ansi.empty() && start <= ansi.size()) {
        std::size_t end = ansi.find('\\', start);
        if (end == std::string::npos) {
            end = ansi.size();
        }
        if (end == start) {
            error = "key " + quoted + " has an empty name between two \"\\\"";
            return false;
        }
        if (end - start > os::kMaxKeyNameLength) {
            error = "key " + quoted + " has a name longer than " + std::to_string(os::kMaxKeyNameLength) + " bytes";
            return false;
        }
        start = end + 1;
    }
    key.root = root->key;
    key.path = std::move(ansi);
    key.display = std::string(root->longName) + (path.empty() ? "" : "\\") + std::string(path);
    return true;
}

KeyName SubKey(KeyName const& parent, std::string_view child) {
    KeyName key;
    key.root = parent.root;
    key.path = parent.path.empty() ? std::string(child) : parent.path + "\\" + std::string(child);
    key.display = parent.display + "\\" + AnsiToUtf8(child);
    return key;
}

}  // namespace zelk::regtool
