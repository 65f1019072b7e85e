// Opening registry files and taking turns at writing them, with one rule
// above all: this library never closes a descriptor of a registry file
// that SQLite may hold locks on.  POSIX drops every fcntl lock a process
// holds on a file when the process closes any one descriptor of it, so a
// stray open()/close() pair lets SQLite believe it holds locks it lost;
// another process may then fold and reset the write-ahead log under a live
// writer, or two processes write at once.  So the first bytes of a file are
// read through SQLite's own file layer (which keeps a descriptor open while
// the process holds locks on the file), and the descriptors kept here for
// writers' turns stay open for the life of the process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zelk::os::registry {

// Reads up to `size` bytes from the start of the file at `path` through
// SQLite's file layer: the count read (0 for an empty file), or -1 with
// errno set when the file cannot be opened.  Nothing is written or made.
long ReadFileStart(std::string const& path, unsigned char* buffer, std::size_t size);

// Makes the file `path` with `mode` (whatever the umask says): 0, or an
// errno value (EEXIST when the file is there already).
int MakeFile(std::string const& path, unsigned mode);

struct TurnFile;

// One connection's place among the writers of its file, in this process
// and in others (file_locks.cpp says how the turns are fair and how long
// a writer waits).  The store takes the turn before a write transaction
// and releases it once the transaction ended.
class WriteTurn {
public:
    WriteTurn() = default;
    ~WriteTurn() { Detach(); }
    WriteTurn(WriteTurn const&) = delete;
    WriteTurn& operator=(WriteTurn const&) = delete;

    // Ties the turn to the file at `path`, which the caller's connection
    // may write.  Where no descriptor can be kept for it, writes take turns
    // through SQLite's locks alone.
    void Attach(std::string const& path);
    // Releases the turn and unties it.
    void Detach() noexcept;
    // Waits for the turn: kErrorSuccess, or kErrorLockViolation when
    // `busyTimeout` milliseconds passed in which no write landed in the file
    // (whoever had the turn kept it all that time).
    long Take(int busyTimeout);
    void Release() noexcept;
    bool Held() const noexcept { return m_held; }

private:
    TurnFile* m_file = nullptr;
    std::string m_path;
    std::uint64_t m_ticket = 0;
    bool m_held = false;
};

}  // namespace zelk::os::registry
