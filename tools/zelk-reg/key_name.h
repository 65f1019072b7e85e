// Key names as people write them: a root, long or short, then the path of
// sub-keys ("HKCU\Software\Suite", "HKEY_LOCAL_MACHINE\Software").
#pragma once

#include "platform/registry.h"

#include <zelk/hkey.h>

#include <string>
#include <string_view>

namespace zelk::regtool {

struct KeyName {
    HKEY root = nullptr;
    std::string path;  // the sub-key path below `root`, UTF-8; empty for the root itself
    std::string display;  // UTF-8: the root's long name, then the path as spelt
    bool isRoot = true;  // names a root as the user sees it (HKEY_CURRENT_CONFIG has a path)
    os::RegView view = os::RegView::kDefault;  // /reg:32 or /reg:64
};

// Parses a UTF-8 key name.  Roots are matched without regard to case; a
// trailing "\" is dropped.  HKEY_CURRENT_CONFIG (HKCC) is what Windows makes
// of it, the current hardware profile below HKEY_LOCAL_MACHINE, so it is the
// same key on every system.  False with a message for an unknown root, a
// remote name ("\\host\..."), an empty step ("a\\b"), a step longer than
// the registry allows or bytes that are not UTF-8.
bool ParseKeyName(std::string_view utf8, KeyName& key, std::string& error);

// The key below `parent` named `child`.
KeyName SubKey(KeyName const& parent, std::string_view child);

// The key above `key` (for a key just below a root, the root), and the name
// of `key` in it.
KeyName ParentKey(KeyName const& key, std::string& leaf);

}  // namespace zelk::regtool
