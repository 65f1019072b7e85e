// What the first bytes of a registry file say, read before the file is
// opened as a database, so that a file that is not this library's is never
// opened by SQLite (which would switch or extend it, or make side files
// beside it).
#pragma once

#include <string>

namespace zelk::os::registry {

enum class Header { kEmpty, kOurs, kAskSqlite, kForeign };

// Reads the file's first bytes (`got` of them read) from `header`; `wal`:
// whether the file says it is in WAL mode.
Header ReadHeader(unsigned char const (&header)[100], long got, std::string const& path, bool& wal);

}  // namespace zelk::os::registry
