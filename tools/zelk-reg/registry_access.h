// The registry calls the verbs make, with handles closed by scope and a
// key's values and sub-keys read whole.  Names are UTF-8; data are the
// registry's bytes as Windows' wide calls give them (texts in UTF-16LE).
#pragma once

#include "key_name.h"

#include <zelk/hkey.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zelk::regtool {

struct Value {
    std::string name;  // empty for the key's default value
    std::uint32_t type = 0;
    std::string data;
};

class OpenedKey {
public:
    OpenedKey() = default;
    ~OpenedKey() { Close(); }
    OpenedKey(OpenedKey const&) = delete;
    OpenedKey& operator=(OpenedKey const&) = delete;

    // Windows' error codes.
    long Open(KeyName const& key);
    long Create(KeyName const& key);
    void Close() noexcept;
    HKEY get() const noexcept { return m_key; }

private:
    HKEY m_key = nullptr;
    bool m_owned = false;
};

long ReadValue(HKEY key, std::string const& name, Value& value);
// Sorted as regedit lists them: by name, letters of any case together
// (os::CompareNamesNoCase), whatever order the system enumerates them in.
long ReadValues(HKEY key, std::vector<Value>& values);
long ReadSubKeyNames(HKEY key, std::vector<std::string>& names);

// `key` and every key below it, parents first, each with its values.
struct KeyContents {
    KeyName key;
    std::vector<Value> values;
};
long ReadTree(KeyName const& key, std::vector<KeyContents>& tree);

// Deletes `key` with everything below it.
long DeleteKeyTree(KeyName const& key);

// The system's text for a registry error ("Access is denied.").
std::string ErrorText(long code);

}  // namespace zelk::regtool
