// Writers' turns at a registry file, and the only places where this library
// opens registry files itself (see file_locks.h for why no descriptor of
// them is ever closed while connections may be open).
//
// Fair turns.  SQLite waits for another process's write lock by sleeping
// and trying again, so a process whose threads write in a tight loop takes
// the lock back before a waiting process wakes: that one starves.  Here
// writers queue first: the threads of one process in arrival order, and
// processes on two open-file-description locks (F_OFD_SETLKW) on the file
// itself, the gate and the turn, in the lock page SQLite keeps free of data,
// beside (not on) SQLite's own lock bytes.  The writer first in its process
// takes the gate, then the turn, and lets the gate go; the turn is its until
// its transaction ended.  A process holds the gate only while it waits for
// the turn, so nobody can overtake it there: once it has the gate, one
// transaction at most runs before its own.  The kernel releases both locks
// of a process that dies, kill -9 included, and closing some other
// descriptor of the file does not drop them (they belong to the open file
// description, unlike SQLite's).  Within a process those locks are shared
// by all its threads, hence the queue of threads in front of them.
//
// How long a writer waits.  A write gives up with kErrorLockViolation only
// when the busy limit passed with nothing landing in the file or its log
// (their size and time of change, read with stat(), stayed as they were):
// then whoever has the turn has kept it that long; any progress starts the
// limit afresh.  The kernel has no time limit for a blocked lock, and a
// signal to cut one short would meddle with the host's signals, so a lock
// that is taken is waited for by a thread of the process kept for that lock
// of that file (started with the file's first writable connection, parked
// between waits), blocked in F_OFD_SETLKW, while the writer waits on a
// condition variable with a deadline (a free lock is simply taken).  A
// writer that gives up leaves that thread waiting; when it gets the lock it
// hands it to the next writer of the process that wants it, or lets it go
// at once.  A file system
// without these locks (or a thread that cannot be started) leaves the order
// to SQLite's own waiting, which also still covers what these turns do not
// order: another program's SQLite, and a commit to a rollback journal
// waiting for readers to leave.
//
// fork(): the registry closes every connection and ends every turn before
// a fork.  The child shares the parent's open file descriptions, and so
// their locks; it closes its copies (it holds no locks to lose yet) and
// opens its own as it needs them.  A child forked while threads other than
// these waiting ones ran starts no thread: one of them may have held a lock
// of the C library's (or a sanitizer's allocator) at the fork, which a new
// thread would wait on for ever.  Its writes wait as SQLite waits.
#include "platform/posix/registry/file_locks.h"

#include "platform/registry.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sqlite3.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

namespace zelk::os::registry {

namespace {

// SQLite locks the 512 bytes from 1 GiB on; the page they are in never
// holds data.
constexpr off_t kGateByte = 0x40000000 + 0x300;
enum Lock { kGate, kTurn, kLocks };

using Clock = std::chrono::steady_clock;

}  // namespace

// One file's writers in this process.  Never freed: a waiting thread may
// still use it after every connection is gone.
struct TurnFile {
    explicit TurnFile(int descriptor) : fd(descriptor) {}

    int const fd;  // read-write, open for the life of the process
    std::mutex lock;  // the members below
    std::condition_variable changed;
    std::deque<std::uint64_t> queue;  // tickets of this process's writers; the first one writes
    std::uint64_t nextTicket = 0;
    struct Kernel {
        bool held = false;  // the process has it
        bool pending = false;  // its waiting thread is asked to take it, or waits in the kernel
        bool wanted = false;  // the first writer waits for that thread
        bool started = false;  // the waiting thread runs
    } locks[kLocks];
    bool usable = true;  // false where the file system has no such locks
};

namespace {

struct Table {
    std::mutex lock;
    std::map<std::pair<dev_t, ino_t>, TurnFile*> files;
    std::vector<int> spare;  // descriptors of files swapped while opened: kept, never used
    Table* retired = nullptr;  // the parent's, in a child of fork()
};

Table* g_table = nullptr;
std::once_flag g_tableMade;
std::atomic<int> g_waiters{0};  // waiting threads started in this process
std::atomic<int> g_parked{0};  // those of them that got as far as their loop
std::atomic<int> g_threadsAtFork{0};  // all of the process's threads, counted before a fork
std::atomic<bool> g_threadless{false};  // a child of a fork while other threads ran

// Before a fork: lets every waiting thread get past its start (where the
// C library or a sanitizer may hold an allocator's lock), then counts the
// process's threads.
void CountThreads() noexcept {
    while (g_parked.load() != g_waiters.load()) {
        sched_yield();
    }
    int count = 0;
    if (DIR* const tasks = opendir("/proc/self/task")) {
        while (dirent const* entry = readdir(tasks)) {
            count += entry->d_name[0] != '.';
        }
        closedir(tasks);
    }
    g_threadsAtFork = count;
}

// In the child of fork(): only this thread runs, and the parent's waiting
// threads are not here, so the old table is left as it is (its mutexes may
// be taken) and only its descriptors are closed.
void ForgetInChild() noexcept {
    int const others = g_threadsAtFork - g_waiters - 1;
    if (others != 0) {  // also when the count failed
        g_threadless = true;
    }
    g_waiters = 0;
    g_parked = 0;
    for (auto const& entry : g_table->files) {
        ::close(entry.second->fd);
    }
    for (int fd : g_table->spare) {
        ::close(fd);
    }
    auto* const fresh = new Table;
    fresh->retired = g_table;
    g_table = fresh;
}

Table& Files() {
    std::call_once(g_tableMade, [] {
        g_table = new Table;
        pthread_atfork(CountThreads, nullptr, ForgetInChild);
    });
    return *g_table;
}

// Under the table's lock: keeps `fd` for the life of the process.
TurnFile* Keep(Table& table, int fd) {
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        table.spare.push_back(fd);
        return nullptr;
    }
    auto const [found, added] = table.files.try_emplace({info.st_dev, info.st_ino}, nullptr);
    if (!added) {
        table.spare.push_back(fd);  // the file was swapped between stat() and open()
        return found->second;
    }
    found->second = new (std::nothrow) TurnFile(fd);
    if (!found->second) {
        table.files.erase(found);
        table.spare.push_back(fd);
    }
    return found->second;
}

int SetLock(int fd, int which, int command, short type) {
    struct flock request {};
    request.l_type = type;
    request.l_whence = SEEK_SET;
    request.l_start = kGateByte + which;
    request.l_len = 1;
    int rc;
    do {
        rc = fcntl(fd, command, &request);
    } while (rc != 0 && errno == EINTR);
    return rc == 0 ? 0 : errno;
}

struct WaitFor {
    TurnFile* file;
    int which;
};

// The thread that waits in the kernel for one lock of one file, whenever
// asked (see the top).  It is started with the file's first writable
// connection and parks in between: a thread started only when a wait
// begins would first run a scheduler tick later.
void* WaitInKernel(void* raw) {
    std::unique_ptr<WaitFor> const wait(static_cast<WaitFor*>(raw));
    TurnFile& file = *wait->file;
    TurnFile::Kernel& lock = file.locks[wait->which];
    std::unique_lock<std::mutex> guard(file.lock);
    ++g_parked;
    for (;;) {
        file.changed.wait(guard, [&] { return lock.pending; });
        guard.unlock();
        int const error = SetLock(file.fd, wait->which, F_OFD_SETLKW, F_WRLCK);
        guard.lock();
        lock.pending = false;
        if (error == 0 && lock.wanted) {
            lock.held = true;
        } else if (error == 0) {
            SetLock(file.fd, wait->which, F_OFD_SETLK, F_UNLCK);  // its writer gave up
        } else {
            file.usable = false;  // no such locks here after all
        }
        file.changed.notify_all();
    }
}

// Under the file's lock: starts the waiting threads; false if they cannot.
// Each gets a stack of its own making, never handed back: the C library
// reuses its own stacks of threads that a fork left behind for the child's
// new threads, which ThreadSanitizer then takes for threads still running.
bool StartWaiting(TurnFile& file) {
    constexpr std::size_t kStack = 1 << 20;
    if (g_threadless) {
        return false;
    }
    for (int which = 0; which < kLocks; ++which) {
        if (file.locks[which].started) {
            continue;
        }
        auto* wait = new (std::nothrow) WaitFor{&file, which};
        void* const stack =
            mmap(nullptr, kStack, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
        pthread_attr_t attributes;
        pthread_t thread;
        if (wait && stack != MAP_FAILED && pthread_attr_init(&attributes) == 0) {
            pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
            pthread_attr_setstack(&attributes, stack, kStack);
            ++g_waiters;  // before it runs: a fork waits until it is parked
            file.locks[which].started = pthread_create(&thread, &attributes, WaitInKernel, wait) == 0;
            g_waiters -= file.locks[which].started ? 0 : 1;
            pthread_attr_destroy(&attributes);
        }
        if (!file.locks[which].started && stack != MAP_FAILED) {
            munmap(stack, kStack);
        }
        if (!file.locks[which].started) {
            delete wait;
            return false;
        }
    }
    return true;
}

// What the file and its log look like: moves with every write that lands.
struct Mark {
    struct timespec fileTime, logTime;
    off_t fileSize, logSize;
    ino_t logInode;
    bool operator==(Mark const& other) const noexcept {
        return fileTime.tv_sec == other.fileTime.tv_sec && fileTime.tv_nsec == other.fileTime.tv_nsec &&
               logTime.tv_sec == other.logTime.tv_sec && logTime.tv_nsec == other.logTime.tv_nsec &&
               fileSize == other.fileSize && logSize == other.logSize && logInode == other.logInode;
    }
};

Mark MarkOf(std::string const& path) {
    struct stat file {
    }, log{};
    stat(path.c_str(), &file);
    stat((path + "-wal").c_str(), &log);
    return {file.st_mtim, log.st_mtim, file.st_size, log.st_size, log.st_ino};
}

// A writer's patience: waits until `ready`, giving up (false) only when a
// whole busy limit passed with no write landing in the file.
class Patience {
public:
    Patience(std::string const& path, int limit) : m_path(path), m_limit(std::chrono::milliseconds(limit)) {}

    template <class Ready>
    bool Wait(std::unique_lock<std::mutex>& guard, std::condition_variable& changed, Ready const& ready) {
        while (!ready()) {
            if (!m_started || changed.wait_until(guard, m_deadline) == std::cv_status::timeout) {
                if (ready()) {
                    break;
                }
                guard.unlock();
                Mark const now = MarkOf(m_path);
                guard.lock();
                if (m_started && now == m_mark) {
                    return ready();
                }
                m_started = true;
                m_mark = now;
                m_deadline = Clock::now() + m_limit;
            }
        }
        return true;
    }

private:
    std::string const& m_path;
    Clock::duration m_limit;
    bool m_started = false;
    Mark m_mark{};
    Clock::time_point m_deadline;
};

enum class Got { kHeld, kGaveUp, kWithout };

// Under the file's lock: takes `which` for the process.
Got Acquire(TurnFile& file, std::unique_lock<std::mutex>& guard, int which, Patience& patience) {
    TurnFile::Kernel& lock = file.locks[which];
    if (!lock.held && !lock.pending) {
        int const error = SetLock(file.fd, which, F_OFD_SETLK, F_WRLCK);
        if (error == 0) {
            lock.held = true;
            return Got::kHeld;
        }
        if (error != EAGAIN && error != EACCES) {
            file.usable = false;  // no such locks here
            return Got::kWithout;
        }
        if (!StartWaiting(file)) {
            return Got::kWithout;
        }
        lock.pending = true;
        file.changed.notify_all();
    }
    lock.wanted = true;
    patience.Wait(guard, file.changed, [&] { return lock.held || !lock.pending; });
    lock.wanted = false;
    if (lock.held) {
        return Got::kHeld;
    }
    return lock.pending ? Got::kGaveUp : Got::kWithout;
}

void Let(TurnFile& file, int which) {
    if (file.locks[which].held) {
        file.locks[which].held = false;
        SetLock(file.fd, which, F_OFD_SETLK, F_UNLCK);
    }
}

}  // namespace

long ReadFileStart(std::string const& path, unsigned char* buffer, std::size_t size) {
    sqlite3_vfs* const vfs = sqlite3_vfs_find(nullptr);
    if (!vfs) {
        errno = ENOMEM;
        return -1;
    }
    // The name in the form SQLite hands its file layer.
    struct Name {
        decltype(sqlite3_create_filename(nullptr, nullptr, nullptr, 0, nullptr)) text;
        ~Name() { sqlite3_free_filename(text); }
        auto get() const noexcept { return text; }
        explicit operator bool() const noexcept { return text != nullptr; }
    } const name{sqlite3_create_filename(path.c_str(), "", "", 0, nullptr)};
    std::unique_ptr<unsigned char[]> const memory(new (std::nothrow) unsigned char[vfs->szOsFile]());
    if (!name || !memory) {
        errno = ENOMEM;
        return -1;
    }
    auto* const file = reinterpret_cast<sqlite3_file*>(memory.get());
    int flags = 0;
    errno = 0;
    if (vfs->xOpen(vfs, name.get(), file, SQLITE_OPEN_READONLY | SQLITE_OPEN_MAIN_DB, &flags) != SQLITE_OK) {
        int const error = errno;
        if (file->pMethods) {
            file->pMethods->xClose(file);
        }
        errno = error != 0 ? error : EACCES;
        return -1;
    }
    sqlite3_int64 length = 0;
    long got = -1;
    if (file->pMethods->xFileSize(file, &length) == SQLITE_OK) {
        got = length < static_cast<sqlite3_int64>(size) ? static_cast<long>(length) : static_cast<long>(size);
        if (got > 0 && file->pMethods->xRead(file, buffer, static_cast<int>(got), 0) != SQLITE_OK) {
            got = -1;
        }
    }
    // SQLite's close keeps the descriptor while the process holds locks on the file.
    file->pMethods->xClose(file);
    if (got < 0) {
        errno = EIO;
    }
    return got;
}

int MakeFile(std::string const& path, unsigned mode) {
    Table& table = Files();
    std::lock_guard<std::mutex> guard(table.lock);
    int const fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, static_cast<mode_t>(mode));
    if (fd < 0) {
        return errno;
    }
    fchmod(fd, static_cast<mode_t>(mode));
    Keep(table, fd);  // SQLite may open it at once, on another thread too
    return 0;
}

void WriteTurn::Attach(std::string const& path) {
    Detach();
    Table& table = Files();
    std::lock_guard<std::mutex> guard(table.lock);
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        return;
    }
    if (auto const found = table.files.find({info.st_dev, info.st_ino}); found != table.files.end()) {
        m_file = found->second;
    } else if (int const fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY); fd >= 0) {
        m_file = Keep(table, fd);
    }
    if (m_file) {
        m_path = path;
        std::lock_guard<std::mutex> started(m_file->lock);
        StartWaiting(*m_file);
    }
}

void WriteTurn::Detach() noexcept {
    Release();
    m_file = nullptr;
}

long WriteTurn::Take(int busyTimeout) {
    if (m_held || !m_file) {
        return kErrorSuccess;
    }
    TurnFile& file = *m_file;
    Patience patience(m_path, busyTimeout);
    std::unique_lock<std::mutex> guard(file.lock);
    std::uint64_t const ticket = file.nextTicket++;
    file.queue.push_back(ticket);
    Got got = Got::kWithout;
    if (patience.Wait(guard, file.changed, [&] { return file.queue.front() == ticket; }) && file.usable) {
        got = Acquire(file, guard, kGate, patience);
        if (got == Got::kHeld) {
            got = Acquire(file, guard, kTurn, patience);
            Let(file, kGate);
        }
    } else if (file.queue.front() != ticket) {
        got = Got::kGaveUp;
    }
    if (got == Got::kGaveUp) {
        for (auto it = file.queue.begin(); it != file.queue.end(); ++it) {
            if (*it == ticket) {
                file.queue.erase(it);
                break;
            }
        }
        file.changed.notify_all();
        return kErrorLockViolation;
    }
    m_ticket = ticket;
    m_held = true;
    return kErrorSuccess;
}

void WriteTurn::Release() noexcept {
    if (!m_held) {
        return;
    }
    m_held = false;
    TurnFile& file = *m_file;
    std::lock_guard<std::mutex> guard(file.lock);
    Let(file, kTurn);
    if (!file.queue.empty() && file.queue.front() == m_ticket) {
        file.queue.pop_front();
    }
    file.changed.notify_all();
}

}  // namespace zelk::os::registry
