// Key names as people write them: a root, long or short, then the path of
// sub-keys ("HKCU\Software\Suite", "HKEY_LOCAL_MACHINE\Software").
#pragma once

#include <zelk/hkey.h>

#include <string>
#include <string_view>

namespace zelk::regtool {

struct KeyName {
    HKEY root = nullptr;
    std::string path;     // the sub-key path in the registry's ANSI bytes; empty for the root itself
    std::string display;  // UTF-8: the root's long name, then the path as spelt
};

// Parses a UTF-8 key name.  Roots are matched without regard to case; a
// trailing "\" is dropped.  False with a message for an unknown root, a
// remote name ("\\host\..."), an empty step ("a\\b"), a step longer than
// the registry allows or a character the registry cannot hold.
bool ParseKeyName(std::string_view utf8, KeyName& key, std::string& error);

// The key below `parent` named `child` (ANSI, as the registry lists it).
KeyName SubKey(KeyName const& parent, std::string_view child);

}  // namespace zelk::regtool
