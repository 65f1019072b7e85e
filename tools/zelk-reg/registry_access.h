// The registry calls the verbs make, with handles closed by scope and a
// key's values and sub-keys read whole.  Names and data are the registry's
// ANSI bytes as the layer hands them over.
#pragma once

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

    // An empty path stands for `root` itself.  Windows' error codes.
    long Open(HKEY root, std::string const& path);
    long Create(HKEY root, std::string const& path);
    void Close() noexcept;
    HKEY get() const noexcept { return m_key; }

private:
    HKEY m_key = nullptr;
    bool m_owned = false;
};

long ReadValue(HKEY key, std::string const& name, Value& value);
// In the registry's enumeration order.
long ReadValues(HKEY key, std::vector<Value>& values);
long ReadSubKeyNames(HKEY key, std::vector<std::string>& names);

// "access denied (error 5)" and the like.
std::string ErrorText(long code);

}  // namespace zelk::regtool
