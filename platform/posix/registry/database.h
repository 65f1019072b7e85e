// One connection to one registry file and how it is opened: the file made
// or refused before SQLite sees it, brought up to date, and put in the
// journal mode that suits who reads it.
//
// A file that is not this library's registry is refused before SQLite opens
// it as a database (its header is read through SQLite's file layer alone),
// so it stays as it was, byte for byte, with no side files.  The user file
// runs in WAL mode with full syncs: readers never wait for a writer, a value
// is on disk when the call that wrote it returns.  Its -wal and -shm files
// stay beside it, so a user who may read but not write the file (nor its
// folder) can still read it.  The machine file, and any file on a network
// file system (where WAL's shared memory does not reach other hosts), use
// SQLite's rollback journal, for which readers need nothing but read
// access.  A file that can be read but not written is opened for reading:
// writes give kErrorAccessDenied.  Every page carries a checksum, checked on
// every read (checksum_vfs.h): a damaged page gives kErrorBadDb, and a file
// found damaged is not written again until it has been repaired.
//
// Writes wait for their turn among the file's writers in every process
// (file_locks.h).
#pragma once

#include "platform/posix/registry/file_locks.h"
#include "platform/posix/registry/sqlite_calls.h"
#include "platform/registry.h"

#include <sqlite3.h>

#include <string>

namespace zelk::os::registry {

class Database {
public:
    enum class Role { kUser, kMachine };
    class Turn;

    Database() = default;
    Database(Database const&) = delete;
    Database& operator=(Database const&) = delete;

    // Opens `path` on a closed connection; a Windows error code, with the
    // connection closed again on failure.  A file that is missing and may
    // not be made leaves it closed with kErrorSuccess: an empty hive.
    long Open(std::string const& path, Role role, int busyTimeout);
    bool IsOpen() const noexcept { return m_db != nullptr; }
    // `quick`: without folding the write-ahead log into the file (before
    // fork(), where only speed matters).
    void Close(bool quick = false) noexcept;

    sqlite3* Handle() const noexcept { return m_db.get(); }
    // May not be written (or is a later version's).
    bool ReadOnly() const noexcept { return m_readOnly; }
    bool InWrite() const noexcept { return m_db && sqlite3_get_autocommit(m_db.get()) == 0; }
    long ToWindowsError(int code) const;

    // Waits for this connection's turn at writing: a Windows error code,
    // kErrorAccessDenied where it takes no writes (an empty hive, or a file
    // it may not write).
    long TakeTurn() { return !m_db || m_readOnly ? kErrorAccessDenied : m_turn.Take(m_busyTimeout); }
    // Ends the write turn once no transaction is open.
    void EndTurnIfDone() noexcept;

private:
    long Connect(std::string const& path, Role role, int busyTimeout);
    long OpenDatabase(std::string const& path, int flags, int busyTimeout);
    long SetJournalMode(bool useWal, int busyTimeout);

    DatabasePtr m_db;
    WriteTurn m_turn;
    int m_busyTimeout = 0;
    bool m_empty = false;  // missing and may not be made: reads find nothing
    bool m_readOnly = false;  // may not be written (or is a later version's)
};

// The write turn for one write, unless a transaction holds it already;
// released when the write left no transaction open.
class Database::Turn {
public:
    explicit Turn(Database& file) : m_file(file), m_result(file.InWrite() ? kErrorSuccess : file.TakeTurn()) {}
    ~Turn() { m_file.EndTurnIfDone(); }
    Turn(Turn const&) = delete;
    Turn& operator=(Turn const&) = delete;
    long Result() const noexcept { return m_result; }

private:
    Database& m_file;
    long m_result;
};

}  // namespace zelk::os::registry
