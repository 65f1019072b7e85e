// The POSIX registry's storage: SQLite databases that hold the predefined
// roots as hives, their keys and their values.  Names are UTF-8 and data
// are kept as the Unicode calls give them (text in UTF-16LE); the A calls
// convert above this layer.
//
// Where the hives live (registry_location.cpp):
// - HKEY_CURRENT_USER: the user file, $XDG_CONFIG_HOME/zelk/registry.db
//   (XDG_CONFIG_HOME defaults to ~/.config), made with its folders (0700)
//   on first use, private to the user (0600).
// - HKEY_LOCAL_MACHINE and HKEY_USERS: the machine file, $ZELK_MACHINE_REGISTRY
//   or /var/lib/zelk/machine.db, made (0644, folders 0755) by the first
//   process that may; every user reads it, whoever may write the file writes
//   it.  Where it is missing and cannot be made the two hives read as empty
//   and refuse writes with kErrorAccessDenied.
// - HKEY_CLASSES_ROOT: HKEY_LOCAL_MACHINE\Software\Classes (see registry.cpp).
// - $ZELK_REGISTRY names one file for every hive (tests, single-user set-ups);
//   with ZELK_MACHINE_REGISTRY also set, the machine hives live there.
//
// How a file is used: a file that is not this library's registry is refused
// before SQLite opens it as a database (its header is read through SQLite's
// file layer alone), so it stays as it was, byte for byte, with no side
// files.  The user file runs in WAL mode
// with full syncs: readers never wait for a writer, a value is on disk when
// the call that wrote it returns.  Its -wal and -shm files stay beside it,
// so a user who may read but not write the file (nor its folder) can still
// read it.  The machine file, and any file on a network file system (where
// WAL's shared memory does not reach other hosts), use SQLite's rollback
// journal, for which readers need nothing but read access.  A file that can
// be read but not written is opened for reading: writes give
// kErrorAccessDenied.  Every page carries a checksum, checked on every read
// (registry_vfs.h): a damaged page gives kErrorBadDb, and a file found
// damaged is not written again until it has been repaired.
//
// A RegistryStore is one connection to one file, used by one thread at a
// time (registry.cpp gives each thread its own and closes them around
// fork()).  Its writes wait for their turn among the file's writers in every
// process (registry_lock.cpp).
#pragma once

#include "platform/posix/registry_lock.h"

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zelk::os::registry {

using KeyId = std::int64_t;

// The hives; their ids are fixed when a database is made.  (Files made by
// earlier versions also hold a hive 1 for HKEY_CLASSES_ROOT, no longer read.)
inline constexpr KeyId kCurrentUserId = 2;
inline constexpr KeyId kLocalMachineId = 3;
inline constexpr KeyId kUsersId = 4;

// Where the registry files live (see above).  `user` is empty when no place
// can be named (no ZELK_REGISTRY and no home folder); `machine` equals
// `user` when both roles share one file.
struct Locations {
    std::string user;
    std::string machine;
};
Locations FindLocations();
// Makes the folders above `path` with `mode`; a Windows error code.
long MakeParentFolders(std::string const& path, unsigned mode);

// Whether the file system that holds `path` shares files between hosts
// (NFS, SMB/CIFS, AFS, Ceph, 9P, cluster and FUSE file systems: FUSE may be
// sshfs, so it counts as one too).  Tests replace the probe.
bool IsNetworkFileSystem(std::string const& path);
using FileSystemProbe = unsigned long (*)(char const* path);  // statfs' f_type, 0 if unknown
void SetFileSystemProbe(FileSystemProbe probe);

// A Windows error code for an SQLite result code, with the system's errno
// for the cases where it decides (a file that cannot be opened).
long ErrorFromSqlite(int code, int systemErrno);

// Names (UTF-8) compare as Windows compares them: as UTF-16 units, each
// upcased on its own (UpcaseUtf16), so "\u00C4rger" and "\u00E4rger" are
// one name.  They sort as Wine lists them, by those units lower-cased again
// ("_" before "A"; a character beyond U+FFFF by its surrogates, before
// U+E000).
int CompareNames(std::string_view a, std::string_view b);

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
    enum class Role { kUser, kMachine };

    RegistryStore() = default;
    ~RegistryStore();
    RegistryStore(RegistryStore const&) = delete;
    RegistryStore& operator=(RegistryStore const&) = delete;

    // Opens `path` if this store is not open; a Windows error code.  A failed
    // open is not remembered: the next call tries again.  A file that is
    // missing and may not be made opens as an empty, unwritable store (and
    // is looked for again on the next call).
    long Open(std::string const& path, Role role, int busyTimeout);
    bool IsOpen() const noexcept { return m_db != nullptr; }
    // Closes the connection.  `quick`: without folding the write-ahead log
    // into the file (before fork(), where only speed matters).
    void Close(bool quick = false) noexcept;

    // The key `path` (names, none empty) below `parent`.
    long Find(KeyId parent, std::vector<std::string_view> const& path, KeyId& result);
    // The same, making missing keys on the way (in one transaction).
    long Create(KeyId parent, std::vector<std::string_view> const& path, KeyId& result);
    // kErrorSuccess while `key` exists, kErrorKeyDeleted once it is gone.
    long Exists(KeyId key);
    // The type and the whole data of one value; either may be null.
    long QueryValue(KeyId key, std::string_view name, std::uint32_t* type, std::string* data);
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
    bool InWrite() const noexcept { return m_db && sqlite3_get_autocommit(m_db.get()) == 0; }

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
        kNextKey,
        kNextValue,
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
    class Turn;

    // Where the last few listings stopped, so that reading index i + 1
    // after index i continues from the name read instead of counting i + 1
    // rows again (a full listing costs n steps, not n * n / 2).
    struct Cursor {
        Statement which = kEnumKey;
        KeyId key = 0;
        std::uint32_t index = 0;
        std::uint32_t version = 0;
        std::string name;
    };
    static constexpr int kCursors = 10;  // a tree walk lists one key per level

    long Connect(std::string const& path, Role role, int busyTimeout);
    long OpenDatabase(std::string const& path, int flags, int busyTimeout);
    long AddChecksums(bool empty);
    long MakeOrUpgrade();
    long Prepare();
    long ToWindowsError(int code);
    std::uint32_t DataVersion();
    template <class Read>
    long EnumRow(Statement which, KeyId key, std::uint32_t index, Read const& read);

    // Ends the write turn once no transaction is open.
    void EndTurnIfDone() noexcept;

    DatabasePtr m_db;
    WriteTurn m_turn;
    int m_busyTimeout = 0;
    bool m_empty = false;  // missing and may not be made: reads find nothing
    bool m_readOnly = false;  // may not be written (or is a later version's)
    StatementPtr m_statements[kStatementCount];
    Cursor m_cursors[kCursors];
    int m_nextCursor = 0;
};

}  // namespace zelk::os::registry

namespace zelk::os {

// Closes every thread's registry connections and invalidates every handle
// but the predefined roots; the next registry call opens the files again,
// reading the environment afresh.  Runs at process exit; tests use it to
// move between databases.
void RegistryClose();
// How long registry calls wait for another process's write lock before they
// give kErrorLockViolation (5000 ms unless set).
void RegistrySetBusyTimeout(int milliseconds);

}  // namespace zelk::os
