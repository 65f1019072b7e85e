// One connection to one registry file and how it is opened: the file made
// or refused before SQLite sees it, brought up to date, and put in the
// journal mode that suits who reads it.
#include "platform/posix/registry/database.h"

#include "platform/posix/registry/checksum_vfs.h"
#include "platform/posix/registry/file_header.h"
#include "platform/posix/registry/location.h"
#include "platform/posix/registry/schema.h"
#include "platform/posix/registry/sqlite_errors.h"

#include <cerrno>
#include <cstdint>

namespace zelk::os::registry {

namespace {

// How often a journal-mode switch that met another process's lock tries again.
constexpr int kSwitchRetryMs = 5;

}  // namespace

long Database::ToWindowsError(int code) const {
    return ErrorFromSqlite(code, m_db ? sqlite3_system_errno(m_db.get()) : 0);
}

void Database::EndTurnIfDone() noexcept {
    if (!InWrite()) {
        m_turn.Release();
    }
}

void Database::Close(bool quick) noexcept {
    if (quick && m_db) {
        // Closing the process's last connection would fold the log into the
        // file, which may take long; the next connection does it when due.
        sqlite3_db_config(m_db.get(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    }
    m_db.reset();
    m_turn.Detach();
}

long Database::Open(std::string const& path, Role role, int busyTimeout) {
    m_empty = false;
    if (path.empty()) {
        return kErrorPathNotFound;
    }
    long const result = Connect(path, role, busyTimeout);
    if (result != kErrorSuccess) {
        Close();
    }
    return result;
}

long Database::Connect(std::string const& path, Role role, int busyTimeout) {
    unsigned const fileMode = role == Role::kMachine ? 0644 : 0600;
    // Other threads of this process may have the file open: it is opened
    // and made only where no close can drop their locks (file_locks.h).
    unsigned char start[100];
    long got = ReadFileStart(path, start, sizeof(start));
    if (got < 0 && errno == ENOENT) {
        long const made = MakeParentFolders(path, role == Role::kMachine ? 0755 : 0700);
        // Whatever the umask says: every user reads the machine file.
        int const error = made == kErrorSuccess ? MakeFile(path, fileMode) : 0;
        if (made == kErrorAccessDenied || (made == kErrorSuccess && ErrorFromErrno(error) == kErrorAccessDenied)) {
            m_empty = true;  // not there, and not ours to make: an empty hive
            return kErrorSuccess;
        } else if (made != kErrorSuccess) {
            return made;
        } else if (error != 0 && error != EEXIST) {
            return ErrorFromErrno(error);
        }
        got = ReadFileStart(path, start, sizeof(start));
    }
    if (got < 0) {
        return ErrorFromErrno(errno);
    }
    bool wal = false;
    Header const header = ReadHeader(start, got, path, wal);
    if (header == Header::kForeign) {
        return kErrorBadDb;
    }
    bool const network = IsNetworkFileSystem(path);

    if (long const opened = OpenDatabase(path, SQLITE_OPEN_READWRITE, busyTimeout); opened != kErrorSuccess) {
        return opened;
    }
    sqlite3* const raw = m_db.get();
    bool const readOnly = m_readOnly;
    m_busyTimeout = busyTimeout;
    if (!readOnly) {
        m_turn.Attach(path);
    }
    if (network && wal && readOnly) {
        // Reading a WAL file maps its shared memory, which other hosts do not
        // see; only a writer may switch the file to the rollback journal.
        return kErrorCantOpen;
    }

    std::int64_t id = 0;
    std::int64_t version = 0;
    if (header != Header::kEmpty) {
        if (long const r = QueryOne(raw, "PRAGMA application_id", &id, nullptr); r != kErrorSuccess) {
            return r;
        }
        if (long const r = QueryOne(raw, "PRAGMA user_version", &version, nullptr); r != kErrorSuccess) {
            return r;
        }
    }
    if (id == kApplicationId && IsLaterVersion(version)) {
        // A later version's file: read where it says this version can, as
        // a reader only (so nothing, not even a log checkpoint, changes it).
        if (!MayReadLater(version)) {
            return kErrorBadDb;
        }
        if (long const reopened = OpenDatabase(path, SQLITE_OPEN_READONLY, busyTimeout); reopened != kErrorSuccess) {
            return reopened;
        }
        return kErrorSuccess;
    }
    if (id != kApplicationId || version < kSchemaVersion) {
        if (readOnly) {
            if (id == kApplicationId) {
                // An earlier version's file, not ours to upgrade: read as it
                // is, through views that give names and text as the current
                // version keeps them.
                if (long const r = ExecScript(raw, EarlierAsCurrent(version).c_str()); r != kErrorSuccess) {
                    return r;
                }
            } else if (header == Header::kEmpty) {
                Close();
                m_empty = true;
                return kErrorSuccess;
            } else {
                return kErrorBadDb;
            }
        } else if (long const checked = AddChecksums(raw, header == Header::kEmpty); checked != kErrorSuccess) {
            return checked;
        } else {
            Turn turn(*this);
            long const made = turn.Result() != kErrorSuccess ? turn.Result() : MakeOrUpgrade(raw);
            if (made != kErrorSuccess) {
                return made;
            }
        }
    }
    if (!readOnly) {
        // WAL for the user's own file on a local disk: readers never wait
        // for writers.  The rollback journal where readers may lack write
        // access (the machine file) or shared memory would not reach the
        // other hosts (a network file system).
        if (long const r = SetJournalMode(role == Role::kUser && !network, busyTimeout); r != kErrorSuccess) {
            return r;
        }
    }
    // FULL: the log (or the file) is synced at every commit, so a written
    // value survives a crash of the machine too, not only of the process.
    if (long const r = ExecScript(raw, "PRAGMA synchronous = FULL"); r != kErrorSuccess) {
        return r;
    }
    return kErrorSuccess;
}

long Database::SetJournalMode(bool useWal, int busyTimeout) {
    sqlite3* const raw = m_db.get();
    char const* const wanted = useWal ? "wal" : "delete";
    char const* const setMode = useWal ? "PRAGMA journal_mode = WAL" : "PRAGMA journal_mode = DELETE";
    std::string mode;
    long r = QueryOne(raw, "PRAGMA journal_mode", nullptr, &mode);
    if (r == kErrorSuccess && mode != wanted) {
        // A switch takes the write lock on top of a read, where SQLite
        // does not wait: another process making or switching a new file
        // at the same moment would fail this open.  The switch waits
        // for its turn as a write does, then here for readers of a
        // rollback journal (who leave within a statement).
        Turn turn(*this);
        r = turn.Result();
        if (r == kErrorSuccess) {
            r = QueryOne(raw, setMode, nullptr, &mode);
        }
        for (int waited = 0; r == kErrorLockViolation && waited < busyTimeout; waited += kSwitchRetryMs) {
            sqlite3_sleep(kSwitchRetryMs);
            r = QueryOne(raw, setMode, nullptr, &mode);
        }
    }
    if (r != kErrorSuccess) {
        return r;
    }
    if (mode != wanted) {
        return kErrorLockViolation;  // others have it open in the other mode
    }
    if (mode == "wal") {
        // The log and its index stay beside the file (emptied when the
        // last writer closes): a reader who may not make them can read.
        int persist = 1;
        sqlite3_file_control(raw, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
        ExecScript(raw, "PRAGMA journal_size_limit = 1048576");
    }
    return kErrorSuccess;
}

long Database::OpenDatabase(std::string const& path, int flags, int busyTimeout) {
    m_db.reset();
    sqlite3* raw = nullptr;
    // NOMUTEX: a connection belongs to one thread at a time.
    int const rc = sqlite3_open_v2(path.c_str(), &raw, flags | SQLITE_OPEN_NOMUTEX, CheckedVfsName());
    m_db.reset(raw);
    if (rc != SQLITE_OK) {
        return raw ? ErrorFromSqlite(rc, sqlite3_system_errno(raw)) : kErrorOutOfMemory;
    }
    sqlite3_extended_result_codes(raw, 1);  // a failed page checksum is SQLITE_IOERR_DATA
    sqlite3_busy_timeout(raw, busyTimeout);
    AddFunctions(raw);
    m_readOnly = sqlite3_db_readonly(raw, "main") == 1;
    return kErrorSuccess;
}

}  // namespace zelk::os::registry
