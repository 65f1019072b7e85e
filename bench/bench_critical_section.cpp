// Critical sections beside std::recursive_mutex: the uncontended path, two
// threads contending, and contention on a lock that has first been through a
// million uncontended cycles (which must cost no more than on a fresh one).
// Beside them, the same lock algorithm built from std::mutex and sem_t.
#include "bench/ratio.h"

#include <zelk/portab.h>

#include <benchmark/benchmark.h>

#include <semaphore.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace {

// What each holder does inside the lock: enough to make the hand-off, not the
// body, what is measured.
long g_shared = 0;

void Hold() {
    ++g_shared;
    benchmark::DoNotOptimize(g_shared);
}

// glibc leaves the lock prefix off its mutex operations while a process has
// one thread, which no process that needs a lock is in.  A parked second
// thread for the whole run puts both sides on the atomic paths they take in
// real use.
class SecondThread {
public:
    SecondThread()
        : m_thread([this] {
              std::unique_lock<std::mutex> lock(m_mutex);
              m_wake.wait(lock, [this] { return m_stop; });
          }) {}
    ~SecondThread() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_one();
        m_thread.join();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::thread m_thread;  // last: the members it uses exist before it starts
};

SecondThread g_secondThread;

// ---- uncontended ----

void BM_CriticalSection_LockUnlock(benchmark::State& state) {
    std::unique_ptr<CAbstractCriticalSection> lock(CreateZelkCriticalSection());
    for (auto _ : state) {
        lock->Lock();
        Hold();
        lock->Unlock();
    }
}
BENCHMARK(BM_CriticalSection_LockUnlock);

void BM_RecursiveMutex_LockUnlock(benchmark::State& state) {
    std::recursive_mutex lock;
    for (auto _ : state) {
        lock.lock();
        Hold();
        lock.unlock();
    }
}
BENCHMARK(BM_RecursiveMutex_LockUnlock);

ZELK_RATIO("BM_CriticalSection_LockUnlock", "BM_RecursiveMutex_LockUnlock", 3.0);

// Re-entry by the owner, three levels deep.
void BM_CriticalSection_Nested(benchmark::State& state) {
    std::unique_ptr<CAbstractCriticalSection> lock(CreateZelkCriticalSection());
    for (auto _ : state) {
        lock->Lock();
        lock->Lock();
        lock->TryLock();
        Hold();
        lock->Unlock();
        lock->Unlock();
        lock->Unlock();
    }
}
BENCHMARK(BM_CriticalSection_Nested);

void BM_RecursiveMutex_Nested(benchmark::State& state) {
    std::recursive_mutex lock;
    for (auto _ : state) {
        lock.lock();
        lock.lock();
        (void)lock.try_lock();
        Hold();
        lock.unlock();
        lock.unlock();
        lock.unlock();
    }
}
BENCHMARK(BM_RecursiveMutex_Nested);

// Every level takes and gives back the guard (two atomic operations), where
// std's re-entry only counts: three levels cost about twice a single one.
ZELK_RATIO("BM_CriticalSection_Nested", "BM_RecursiveMutex_Nested", 6.0);

// ---- two threads on one lock ----
//
// Every iteration is one Lock, the body and one Unlock on one of the two
// threads; time per iteration is real time over all iterations of both, so
// the ratio is one of throughputs.

CAbstractCriticalSection& FreshLock() {
    static CAbstractCriticalSection* const lock = CreateZelkCriticalSection();  // lives for the run
    return *lock;
}

CAbstractCriticalSection& AgedLock() {
    static CAbstractCriticalSection* const lock = [] {
        CAbstractCriticalSection* made = CreateZelkCriticalSection();
        for (int i = 0; i < 1000000; ++i) {
            made->Lock();
            made->Unlock();
        }
        return made;
    }();
    return *lock;
}

void Contend(benchmark::State& state, CAbstractCriticalSection& lock) {
    for (auto _ : state) {
        lock.Lock();
        Hold();
        lock.Unlock();
    }
}

void BM_CriticalSection_Contended(benchmark::State& state) { Contend(state, FreshLock()); }
BENCHMARK(BM_CriticalSection_Contended)->Threads(2)->UseRealTime();

void BM_CriticalSection_ContendedAfterMillion(benchmark::State& state) { Contend(state, AgedLock()); }
BENCHMARK(BM_CriticalSection_ContendedAfterMillion)->Threads(2)->UseRealTime();

std::recursive_mutex g_mutex;

void BM_RecursiveMutex_Contended(benchmark::State& state) {
    for (auto _ : state) {
        g_mutex.lock();
        Hold();
        g_mutex.unlock();
    }
}
BENCHMARK(BM_RecursiveMutex_Contended)->Threads(2)->UseRealTime();

// The same owner/depth/guard/wake algorithm built from the C library's own
// parts: std::mutex as the guard, a sem_t as the wake-up count, the same
// waiter count.  It tells what the algorithm itself costs under contention
// (two lock operations per Lock and per Unlock, where a mutex has one), apart
// from how our semaphores do.
class StdBuiltCriticalSection {
public:
    StdBuiltCriticalSection() { sem_init(&m_wake, 0, 0); }
    ~StdBuiltCriticalSection() { sem_destroy(&m_wake); }
    StdBuiltCriticalSection(StdBuiltCriticalSection const&) = delete;
    StdBuiltCriticalSection& operator=(StdBuiltCriticalSection const&) = delete;

    void Lock() {
        std::thread::id const me = std::this_thread::get_id();
        for (;;) {
            {
                std::lock_guard<std::mutex> guard(m_guard);
                if (m_depth == 0) m_owner = me;
                if (m_owner == me) {
                    ++m_depth;
                    return;
                }
                ++m_waiters;
            }
            sem_wait(&m_wake);
        }
    }
    void Unlock() {
        std::lock_guard<std::mutex> guard(m_guard);
        if (--m_depth == 0 && m_waiters != 0) {
            --m_waiters;
            sem_post(&m_wake);
        }
    }

private:
    std::mutex m_guard;
    std::thread::id m_owner;
    unsigned m_depth = 0;
    unsigned m_waiters = 0;
    alignas(64) sem_t m_wake;  // waiters only: off the owner's cache line
};

StdBuiltCriticalSection g_stdBuilt;

void BM_StdBuiltCriticalSection_Contended(benchmark::State& state) {
    for (auto _ : state) {
        g_stdBuilt.Lock();
        Hold();
        g_stdBuilt.Unlock();
    }
}
BENCHMARK(BM_StdBuiltCriticalSection_Contended)->Threads(2)->UseRealTime();

// Throughput at least half that of std::recursive_mutex under the same load.
ZELK_RATIO("BM_CriticalSection_Contended/real_time/threads:2", "BM_RecursiveMutex_Contended/real_time/threads:2", 2.0);
// Our semaphores carry the algorithm no worse than the C library's would.
ZELK_RATIO("BM_CriticalSection_Contended/real_time/threads:2",
           "BM_StdBuiltCriticalSection_Contended/real_time/threads:2", 1.25);
// What the algorithm costs on the C library's parts: the floor under the
// first ratio.
ZELK_RATIO("BM_StdBuiltCriticalSection_Contended/real_time/threads:2",
           "BM_RecursiveMutex_Contended/real_time/threads:2", 2.0);
// A long uncontended past leaves no stored wake-ups behind to spin through.
ZELK_RATIO("BM_CriticalSection_ContendedAfterMillion/real_time/threads:2",
           "BM_CriticalSection_Contended/real_time/threads:2", 1.5);

}  // namespace
