// The Windows error codes the registry calls give for what SQLite and the
// system report.
#include "platform/posix/registry/sqlite_errors.h"

#include "platform/registry.h"

#include <sqlite3.h>

#include <cerrno>

namespace zelk::os::registry {

long ErrorFromErrno(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
        case EROFS: return kErrorAccessDenied;
        case ENOENT:
        case ENOTDIR: return kErrorPathNotFound;
        default: return kErrorCantOpen;
    }
}

long ErrorFromSqlite(int code, int systemErrno) {
    if (code == SQLITE_IOERR_DATA) {
        return kErrorBadDb;  // a page failed its checksum, or the file is marked damaged
    }
    switch (code & 0xFF) {
        case SQLITE_OK:
        case SQLITE_ROW:
        case SQLITE_DONE: return kErrorSuccess;
        case SQLITE_BUSY:
        case SQLITE_LOCKED: return kErrorLockViolation;
        case SQLITE_READONLY:
        case SQLITE_PERM:
        case SQLITE_AUTH: return kErrorAccessDenied;
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
        case SQLITE_FORMAT:
        case SQLITE_SCHEMA:
        case SQLITE_ERROR:  // a statement that does not fit the file's tables
            return kErrorBadDb;
        case SQLITE_FULL: return kErrorDiskFull;
        case SQLITE_NOMEM: return kErrorOutOfMemory;
        case SQLITE_CANTOPEN: return ErrorFromErrno(systemErrno);
        case SQLITE_IOERR:
            switch (systemErrno) {
                case EACCES:
                case EPERM:
                case EROFS: return kErrorAccessDenied;
                case ENOSPC: return kErrorDiskFull;
                default: return kErrorRegistryIoFailed;
            }
        default: return kErrorRegistryIoFailed;
    }
}

}  // namespace zelk::os::registry
