// The Windows error codes the registry calls give for what SQLite and the
// system report.
#pragma once

namespace zelk::os::registry {

// A Windows error code for an SQLite result code, with the system's errno
// for the cases where it decides (a file that cannot be opened).
long ErrorFromSqlite(int code, int systemErrno);

// A Windows error code for a file that could not be read or made.
long ErrorFromErrno(int error);

}  // namespace zelk::os::registry
