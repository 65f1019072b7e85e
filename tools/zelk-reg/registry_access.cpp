#include "registry_access.h"

#include "platform/registry.h"

namespace zelk::regtool {

long OpenedKey::Open(HKEY root, std::string const& path) {
    Close();
    HKEY key = nullptr;
    long const result = os::RegOpenKeyA(root, path.c_str(), &key);
    if (result == os::kErrorSuccess) {
        m_key = key;
        m_owned = key != root;  // an empty path hands back the root itself
    }
    return result;
}

long OpenedKey::Create(HKEY root, std::string const& path) {
    Close();
    HKEY key = nullptr;
    long const result = os::RegCreateKeyA(root, path.c_str(), &key);
    if (result == os::kErrorSuccess) {
        m_key = key;
        m_owned = key != root;
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
    std::string data(256, '\0');
    for (;;) {
        std::uint32_t type = 0;
        auto size = static_cast<std::uint32_t>(data.size());
        long const result = os::RegQueryValueExA(key, name.c_str(), nullptr, &type,
                                                 reinterpret_cast<unsigned char*>(data.data()), &size);
        if (result == os::kErrorMoreData) {
            data.resize(size > data.size() ? size : data.size() * 2);
            continue;
        }
        if (result == os::kErrorSuccess) {
            data.resize(size);
            value.name = name;
            value.type = type;
            value.data = std::move(data);
        }
        return result;
    }
}

long ReadValues(HKEY key, std::vector<Value>& values) {
    values.clear();
    std::string name(os::kMaxValueNameLength + 1, '\0');
    std::string data(4096, '\0');
    for (std::uint32_t index = 0;;) {
        auto nameSize = static_cast<std::uint32_t>(name.size());
        auto dataSize = static_cast<std::uint32_t>(data.size());
        std::uint32_t type = 0;
        long const result = os::RegEnumValueA(key, index, name.data(), &nameSize, nullptr, &type,
                                              reinterpret_cast<unsigned char*>(data.data()), &dataSize);
        if (result == os::kErrorNoMoreItems) {
            return os::kErrorSuccess;
        }
        if (result == os::kErrorMoreData && dataSize > data.size()) {
            data.resize(dataSize);
            continue;  // the same index with room for its data
        }
        if (result != os::kErrorSuccess) {
            return result;
        }
        values.push_back(Value{name.substr(0, nameSize), type, data.substr(0, dataSize)});
        ++index;
    }
}

long ReadSubKeyNames(HKEY key, std::vector<std::string>& names) {
    names.clear();
    // 255 characters, which a multi-byte ANSI page may spell in more bytes.
    char name[1024];
    for (std::uint32_t index = 0;; ++index) {
        long const result = os::RegEnumKeyA(key, index, name, sizeof name);
        if (result == os::kErrorNoMoreItems) {
            return os::kErrorSuccess;
        }
        if (result != os::kErrorSuccess) {
            return result;
        }
        names.emplace_back(name);
    }
}

std::string ErrorText(long code) {
    char const* text = nullptr;
    switch (code) {
    case os::kErrorFileNotFound: text = "not found"; break;
    case os::kErrorPathNotFound: text = "the path was not found"; break;
    case os::kErrorAccessDenied: text = "access denied"; break;
    case os::kErrorInvalidHandle: text = "invalid handle"; break;
    case os::kErrorNotEnoughMemory:
    case os::kErrorOutOfMemory: text = "out of memory"; break;
    case os::kErrorLockViolation: text = "the registry is locked by another process"; break;
    case os::kErrorDiskFull: text = "the disk is full"; break;
    case os::kErrorInvalidParameter: text = "invalid parameter"; break;
    case os::kErrorBadPathname: text = "bad path name"; break;
    case os::kErrorBadDb: text = "the registry file is damaged or not a registry"; break;
    case os::kErrorCantOpen: text = "the registry file cannot be opened"; break;
    case os::kErrorRegistryIoFailed: text = "the registry file could not be read or written"; break;
    case os::kErrorKeyDeleted: text = "the key was deleted meanwhile"; break;
    default: break;
    }
    std::string const number = "error " + std::to_string(code);
    return text ? std::string(text) + " (" + number + ")" : number;
}

}  // namespace zelk::regtool
