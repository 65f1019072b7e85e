// The POSIX registry's storage: one SQLite database that holds the
// predefined roots as hives, their keys and their values.
//
// Where it lives: $ZELK_REGISTRY when set, else
// $XDG_CONFIG_HOME/zelk/registry.db (XDG_CONFIG_HOME defaults to ~/.config);
// the file and its folders are made on first use.  The database runs in WAL
// mode with full syncs, so several threads and processes share it, a value
// is on disk when the call that wrote it returns, and a process killed in
// the middle of a write loses nothing committed.
//
// RegistryStore is not locked: platform/posix/registry.cpp holds one lock
// around every use of the one process-wide store.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zelk::os::registry {

using KeyId = std::int64_t;

// The hives; their ids are fixed when the database is made.
inline constexpr KeyId kClassesRootId = 1;
inline constexpr KeyId kCurrentUserId = 2;
inline constexpr KeyId kLocalMachineId = 3;
inline constexpr KeyId kUsersId = 4;

// Where the registry database lives (see above); false when no place can be
// named (no ZELK_REGISTRY and no home folder).
bool DatabasePath(std::string& path);
// Makes the folders above `path`; a Windows error code.
long MakeParentFolders(std::string const& path);

// A Windows error code for an SQLite result code, with the system's errno
// for the cases where it decides (a file that cannot be opened).
long ErrorFromSqlite(int code, int systemErrno);

struct StatementDeleter {
    void operator()(sqlite3_stmt* statement) const noexcept { sqlite3_finalize(statement); }
};
using StatementPtr = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

struct DatabaseDeleter {
    void operator()(sqlite3* db) const noexcept { sqlite3_close_v2(db); }
};
using DatabasePtr = std::unique_ptr<sqlite3, DatabaseDeleter>;

class RegistryStore {
public:
    RegistryStore() = default;
    ~RegistryStore();
    RegistryStore(RegistryStore const&) = delete;
    RegistryStore& operator=(RegistryStore const&) = delete;

    // Opens the database if it is not open; a Windows error code.  A failed
    // open is not remembered: the next call tries again.
    long Open();
    bool IsOpen() const noexcept { return m_db != nullptr; }
    // Closes the connection (statements first).
    void Close() noexcept;
    // Drops the connection without touching it: for a child after fork(),
    // which must not use or close what its parent holds.
    void Abandon() noexcept;
    // How long a call waits for another process's write lock.
    void SetBusyTimeout(int milliseconds);

    // The key `path` (names, none empty) below `parent`.
    long Find(KeyId parent, std::vector<std::string_view> const& path, KeyId& result);
    // The same, making missing keys on the way (in one transaction).
    long Create(KeyId parent, std::vector<std::string_view> const& path, KeyId& result);
    // kErrorSuccess while `key` exists, kErrorKeyDeleted once it is gone.
    long Exists(KeyId key);
    // Windows' RegQueryValueExA over one value; `type`, `data`, `size` as there.
    long QueryValue(KeyId key, std::string_view name, std::uint32_t* type, unsigned char* data,
                    std::uint32_t* size);
    long SetValue(KeyId key, std::string_view name, std::uint32_t type, unsigned char const* data,
                  std::uint32_t size);
    // Sub-key number `index` in name order.
    long EnumKey(KeyId key, std::uint32_t index, std::string& name);
    // Value number `index` in name order; the data are copied to `data`.
    long EnumValue(KeyId key, std::uint32_t index, std::string& name, std::uint32_t& type,
                   std::string& data);
    // Deletes the value `name` of `key`.
    long DeleteValue(KeyId key, std::string_view name);
    // Deletes `key`, which must have no sub-keys.
    long DeleteKey(KeyId key);
    // Deletes everything below `key`, and `key` itself when `withKey`.
    long DeleteTree(KeyId key, bool withKey);

    // A write transaction across calls (RegistryTransaction): the calls
    // above join it, each in a savepoint of its own.
    long BeginWrite();
    long CommitWrite();
    void RollbackWrite() noexcept;

private:
    enum Statement {
        kFindChild,
        kInsertChild,
        kKeyExists,
        kHasChildren,
        kQueryValue,
        kSetValue,
        kEnumKey,
        kEnumValue,
        kDeleteValues,
        kDeleteValue,
        kDeleteKey,
        kDeleteTreeValues,
        kDeleteTreeKeys,
        kBegin,
        kCommit,
        kRollback,
        kSavepoint,
        kRelease,
        kRollbackTo,
        kStatementCount
    };
    class Use;
    class Transaction;

    long OpenAt(std::string const& path);
    long Prepare();
    long Fail(int code);
    // Steps an enumeration statement to row `index` of `key`; on a row,
    // `read` takes its columns.  Past the last row the result says whether
    // the key itself is still there.
    template <class Read>
    long EnumRow(Statement which, KeyId key, std::uint32_t index, Read const& read);

    DatabasePtr m_db;
    StatementPtr m_statements[kStatementCount];
    int m_busyTimeout = 5000;
};

}  // namespace zelk::os::registry

namespace zelk::os {

// Closes the process's registry database and invalidates every handle but
// the predefined roots; the next registry call opens the database again,
// reading ZELK_REGISTRY afresh.  Runs at process exit; tests use it to move
// between databases.
void RegistryClose();
// How long registry calls wait for another process's write lock before they
// give kErrorLockViolation (5000 ms unless set).
void RegistrySetBusyTimeout(int milliseconds);

}  // namespace zelk::os
