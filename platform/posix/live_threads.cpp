#include "platform/posix/live_threads.h"

#include "platform/semaphore.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace zelk::os::posix {

namespace {

// One lock for the table and the spawner.  It guards a handful of system
// calls at a time, made when threads start, end, change level or name, and
// when the process changes class.  A fork while another thread holds it
// would leave it locked in the child, so fork waits for it (see below).
pthread_mutex_t g_lock = PTHREAD_MUTEX_INITIALIZER;
LiveThread* g_first = nullptr;

// A request to the spawner, on the stack of the thread that waits for it.
struct SpawnRequest {
    pthread_t* handle = nullptr;
    void* (*start)(void*) = nullptr;
    void* argument = nullptr;
    sigset_t mask{};  // the requester's: a new thread inherits its creator's
    int result = EAGAIN;
    Semaphore done{0, 1};
    SpawnRequest* next = nullptr;
};

// The helper that creates threads at the process's base for callers that
// run below it.  It is made only when the layer first moves a thread below
// the base, by a thread that is still at the base (or above it), so every
// process that never lowers a thread does without it.  It never ends.
struct Spawner {
    bool running = false;
    SpawnRequest* first = nullptr;
    SpawnRequest* last = nullptr;
    Semaphore work{0, Semaphore::kLargestCount};
};

Spawner& TheSpawner() {
    static Spawner spawner;
    return spawner;
}

void ForkPrepare() { pthread_mutex_lock(&g_lock); }
void ForkParent() { pthread_mutex_unlock(&g_lock); }
// The child has one thread, the one that forked: no other thread of the
// layer runs there, and their ids belong to the parent's threads.  The
// spawner did not come along either.
void ForkChild() {
    for (LiveThread* thread = g_first; thread != nullptr;) {
        LiveThread* const next = thread->next;
        thread->live = false;
        thread->previous = thread->next = nullptr;
        thread = next;
    }
    g_first = nullptr;
    Spawner& spawner = TheSpawner();
    spawner.running = false;
    spawner.first = spawner.last = nullptr;
    spawner.work.~Semaphore();
    new (&spawner.work) Semaphore(0, Semaphore::kLargestCount);
    pthread_mutex_unlock(&g_lock);
}

class TableLock {
public:
    TableLock() noexcept {
        static bool const forkHandlers = pthread_atfork(ForkPrepare, ForkParent, ForkChild) == 0;
        (void)forkHandlers;
        pthread_mutex_lock(&g_lock);
    }
    ~TableLock() { pthread_mutex_unlock(&g_lock); }
    TableLock(TableLock const&) = delete;
    TableLock& operator=(TableLock const&) = delete;
};

// The calling thread's own nice value, or `fallback` when it cannot be read.
int OwnNice(int fallback) noexcept {
    errno = 0;
    int const nice = getpriority(PRIO_PROCESS, 0);
    return nice == -1 && errno != 0 ? fallback : nice;
}

void ApplyLevel_NoLock(LiveThread const& thread, int base) noexcept {
    (void)setpriority(PRIO_PROCESS, static_cast<id_t>(thread.tid),
                      NiceForLevel(base, thread.hasLevel ? thread.level : 0));
}

void ApplyName_NoLock(LiveThread const& thread) noexcept {
    if (thread.tid == gettid()) {
        (void)pthread_setname_np(pthread_self(), thread.name);
        return;
    }
    char path[48];
    std::snprintf(path, sizeof path, "/proc/self/task/%ld/comm", static_cast<long>(thread.tid));
    int const fd = open(path, O_WRONLY | O_CLOEXEC);
    if (fd >= 0) {
        (void)!write(fd, thread.name, std::strlen(thread.name));
        close(fd);
    }
}

void* SpawnerMain(void* argument) {
    auto& spawner = *static_cast<Spawner*>(argument);
    (void)pthread_setname_np(pthread_self(), "zelkerr spawner");
    {
        // Made by a thread at the base or above it: up to the base, which
        // needs no privileges.
        TableLock lock;
        int const base = ProcessNice();
        if (OwnNice(base) < base) (void)setpriority(PRIO_PROCESS, 0, base);
    }
    sigset_t all;
    sigfillset(&all);
    for (;;) {
        (void)spawner.work.Lock();
        SpawnRequest* request = nullptr;
        {
            TableLock lock;
            request = spawner.first;
            if (request != nullptr) {
                spawner.first = request->next;
                if (spawner.first == nullptr) spawner.last = nullptr;
            }
        }
        if (request == nullptr) {
            continue;  // a unit left over from before a fork
        }
        pthread_sigmask(SIG_SETMASK, &request->mask, nullptr);
        request->result = pthread_create(request->handle, nullptr, request->start, request->argument);
        pthread_sigmask(SIG_SETMASK, &all, nullptr);
        request->done.Unlock();  // the request is gone once its owner wakes
    }
}

// Makes the spawner if there is none and the calling thread can make one at
// the base: it inherits the caller's nice value, and only a thread that
// starts at the base or above it gets there without privileges.
void EnsureSpawner_NoLock(int base) noexcept {
    Spawner& spawner = TheSpawner();
    if (spawner.running || OwnNice(base) > base) {
        return;
    }
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) {
        return;
    }
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    // It runs with every signal blocked: the host's signals go to its own
    // threads, and each thread it makes gets its requester's mask.
    sigset_t all, previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    pthread_t handle;
    spawner.running = pthread_create(&handle, &attributes, SpawnerMain, &spawner) == 0;
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    pthread_attr_destroy(&attributes);
}

}  // namespace

int NiceForLevel(int base, int level) noexcept {
    long const nice = static_cast<long>(base) - 5L * static_cast<long>(level);
    return static_cast<int>(std::clamp(nice, -20L, 19L));
}

int ProcessNice() noexcept {
    errno = 0;
    int const nice = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
    return nice == -1 && errno != 0 ? 0 : nice;
}

void Enter(LiveThread& thread) noexcept {
    pid_t const tid = gettid();
    TableLock lock;
    int const base = ProcessNice();
    if (thread.hasLevel && NiceForLevel(base, thread.level) > base) {
        EnsureSpawner_NoLock(base);
    }
    thread.tid = tid;
    thread.live = true;
    thread.previous = nullptr;
    thread.next = g_first;
    if (g_first != nullptr) g_first->previous = &thread;
    g_first = &thread;
    // Created at the nice value of its creator, the thread moves to the
    // base (plus its level, if one was set already).
    ApplyLevel_NoLock(thread, base);
    if (thread.hasName) {
        ApplyName_NoLock(thread);
    }
}

void Leave(LiveThread& thread) noexcept {
    TableLock lock;
    if (!thread.live) {
        return;  // a forked child's copy of a thread of the parent
    }
    thread.live = false;
    if (thread.previous != nullptr) thread.previous->next = thread.next;
    if (thread.next != nullptr) thread.next->previous = thread.previous;
    if (g_first == &thread) g_first = thread.next;
    thread.previous = thread.next = nullptr;
}

void SetLevel(LiveThread& thread, int level) noexcept {
    TableLock lock;
    thread.hasLevel = true;
    thread.level = level;
    if (!thread.live) {
        return;  // applied when it enters; not at all once it has left
    }
    int const base = ProcessNice();
    if (NiceForLevel(base, level) > base) {
        EnsureSpawner_NoLock(base);
    }
    ApplyLevel_NoLock(thread, base);
}

// The kernel keeps 15 bytes of a thread's name.  The start of a name says
// most ("worker 12 of the import queue"), so the start is kept; a UTF-8
// character that would be cut in two is dropped whole, so tools that show
// the name never get half a character.
void SetName(LiveThread& thread, char const* name, pthread_t const& handle) noexcept {
    char cut[LiveThread::kNameBytes + 1] = {};
    if (name != nullptr) {
        std::size_t length = strnlen(name, LiveThread::kNameBytes + 1);
        if (length > LiveThread::kNameBytes) {
            length = LiveThread::kNameBytes;
            while (length > 0 && (static_cast<unsigned char>(name[length]) & 0xC0U) == 0x80U) {
                --length;  // name[length] continues a character begun before the cut
            }
        }
        std::memcpy(cut, name, length);
    }
    TableLock lock;
    std::memcpy(thread.name, cut, sizeof cut);
    thread.hasName = true;
    if (thread.live) {
        ApplyName_NoLock(thread);
    } else if (thread.tid == 0) {
        (void)pthread_setname_np(handle, thread.name);  // created, not yet entered
    }
}

void SetProcessNice(int nice) noexcept {
    TableLock lock;
    int const oldBase = ProcessNice();
    pid_t const first = getpid();
    (void)setpriority(PRIO_PROCESS, static_cast<id_t>(first), nice);
    // What the first thread took is the base from now on: without
    // privileges it may have refused to rise, and then nothing moves.
    int const base = ProcessNice();
    // Threads the layer did not start: the system only lists them, so one
    // that ends meanwhile could lend its id to another task for a moment;
    // that risk stays with threads whose ends the layer cannot see.
    std::unique_ptr<DIR, int (*)(DIR*)> tasks(opendir("/proc/self/task"), closedir);
    if (tasks == nullptr) {
        (void)setpriority(PRIO_PROCESS, 0, nice);  // no /proc: the caller at least
    }
    while (tasks != nullptr) {
        dirent const* entry = readdir(tasks.get());
        if (entry == nullptr) break;
        char* end = nullptr;
        long const tid = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || tid <= 0 || tid == first) {
            continue;
        }
        bool layer = false;
        for (LiveThread const* thread = g_first; thread != nullptr && !layer; thread = thread->next) {
            layer = thread->tid == tid;
        }
        if (layer) {
            continue;
        }
        errno = 0;
        int const current = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
        if (current == -1 && errno != 0) {
            continue;  // gone
        }
        (void)setpriority(PRIO_PROCESS, static_cast<id_t>(tid), std::clamp(base + current - oldBase, -20, 19));
    }
    for (LiveThread const* thread = g_first; thread != nullptr; thread = thread->next) {
        ApplyLevel_NoLock(*thread, base);
    }
}

int CreateThread(pthread_t* handle, void* (*start)(void*), void* argument) noexcept {
    int const base = ProcessNice();
    if (OwnNice(base) > base) {
        SpawnRequest request;
        request.handle = handle;
        request.start = start;
        request.argument = argument;
        pthread_sigmask(SIG_BLOCK, nullptr, &request.mask);
        bool queued = false;
        {
            TableLock lock;
            Spawner& spawner = TheSpawner();
            if (spawner.running && request.done.IsValid()) {
                (spawner.last != nullptr ? spawner.last->next : spawner.first) = &request;
                spawner.last = &request;
                queued = true;
            }
        }
        if (queued) {
            TheSpawner().work.Unlock();
            (void)request.done.Lock();
            return request.result;
        }
        // No spawner (the host lowered this thread itself, or a forked child
        // runs below its parent's base): the thread starts at this one's
        // nice value and moves to the base if privileges allow.
    }
    return pthread_create(handle, nullptr, start, argument);
}

}  // namespace zelk::os::posix
