// Semaphores, signal sets, thread lookup and thread start-up beside the
// system's own primitives, each pair in one run so that their ratio means
// something on a noisy machine.
//
// Benchmarks run in the order they are declared.  glibc's locks (and ours)
// skip locked instructions while the process has a single thread, and a
// process never returns to that state once a thread was made; so the
// uncontended pairs run first, single-threaded, and again at the end
// ("_Threaded"), after the benchmarks that start threads, where every lock
// pays for its atomic operations.
#include "bench/ratio.h"

#include <zelk/portab.h>

#include <benchmark/benchmark.h>
#include <semaphore.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

// The host's own portability object; the library only keeps the pointer.
class CZelkPortab {};

namespace {

// ---- uncontended semaphore used as a lock ----

void ZelkSemaphoreLockUnlock(benchmark::State& state) {
    std::unique_ptr<CAbstractSemaphore> semaphore(CreateZelkSemaphore(1));
    for (auto _ : state) {
        semaphore->Lock();
        semaphore->Unlock();
    }
}
void BM_ZelkSemaphore_LockUnlock(benchmark::State& state) { ZelkSemaphoreLockUnlock(state); }
BENCHMARK(BM_ZelkSemaphore_LockUnlock);

void StdMutexLockUnlock(benchmark::State& state) {
    std::mutex mutex;
    for (auto _ : state) {
        mutex.lock();
        mutex.unlock();
    }
}
void BM_StdMutex_LockUnlock(benchmark::State& state) { StdMutexLockUnlock(state); }
BENCHMARK(BM_StdMutex_LockUnlock);

void SemTWaitPost(benchmark::State& state) {
    sem_t semaphore;
    sem_init(&semaphore, 0, 1);
    for (auto _ : state) {
        sem_wait(&semaphore);
        sem_post(&semaphore);
    }
    sem_destroy(&semaphore);
}
void BM_SemT_WaitPost(benchmark::State& state) { SemTWaitPost(state); }
BENCHMARK(BM_SemT_WaitPost);

ZELK_RATIO("BM_ZelkSemaphore_LockUnlock", "BM_StdMutex_LockUnlock", 2.0);
ZELK_RATIO("BM_ZelkSemaphore_LockUnlock", "BM_SemT_WaitPost", 1.0);

// ---- a signal nobody waits for ----

void SignalsSignalUnwanted(benchmark::State& state) {
    std::unique_ptr<CAbstractSignals> set(CreateZelkSignals());
    for (auto _ : state) {
        set->Signal(1);
    }
}
void BM_Signals_SignalUnwanted(benchmark::State& state) { SignalsSignalUnwanted(state); }
BENCHMARK(BM_Signals_SignalUnwanted);

ZELK_RATIO("BM_Signals_SignalUnwanted", "BM_StdMutex_LockUnlock", 4.0);

// ---- ping-pong between two threads ----

// One iteration is a round trip: wake the partner, wait for its answer.
void BM_Signals_PingPong(benchmark::State& state) {
    constexpr unsigned long kPing = 1;
    constexpr unsigned long kStop = 2;
    std::unique_ptr<CAbstractSignals> there(CreateZelkSignals());
    std::unique_ptr<CAbstractSignals> back(CreateZelkSignals());
    std::thread partner([&] {
        while ((there->Wait(kPing | kStop) & kStop) == 0) {
            back->Signal(kPing);
        }
    });
    for (auto _ : state) {
        there->Signal(kPing);
        back->Wait(kPing);
    }
    there->Signal(kStop);
    partner.join();
}
BENCHMARK(BM_Signals_PingPong);

void BM_SemT_PingPong(benchmark::State& state) {
    sem_t there;
    sem_t back;
    sem_init(&there, 0, 0);
    sem_init(&back, 0, 0);
    std::atomic<bool> stop{false};
    std::thread partner([&] {
        for (;;) {
            sem_wait(&there);
            if (stop.load(std::memory_order_acquire)) {
                return;
            }
            sem_post(&back);
        }
    });
    for (auto _ : state) {
        sem_post(&there);
        sem_wait(&back);
    }
    stop.store(true, std::memory_order_release);
    sem_post(&there);
    partner.join();
    sem_destroy(&there);
    sem_destroy(&back);
}
BENCHMARK(BM_SemT_PingPong);

ZELK_RATIO("BM_Signals_PingPong", "BM_SemT_PingPong", 1.3);

// ---- the calling thread's object ----

// Through the shared library (see CMakeLists.txt), as a host calls it,
// beside a read of the host's own thread-local.
void BM_MyZelkThread(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(&MyZelkThread());
    }
}
BENCHMARK(BM_MyZelkThread);

thread_local void* volatile t_pointer = nullptr;

void BM_ThreadLocalPointer(benchmark::State& state) {
    // Volatile, so that every iteration really loads it: DoNotOptimize of
    // a plain thread-local lets the compiler keep a value it knows.
    for (auto _ : state) {
        void* const value = t_pointer;
        benchmark::DoNotOptimize(value);
    }
}
BENCHMARK(BM_ThreadLocalPointer);

// The cheapest call into the library there is (a load and a test): what
// any exported function costs a host through its PLT, before doing anything.
void BM_GetZelkPortab(benchmark::State& state) {
    static CZelkPortab portab;
    SetZelkPortab(&portab);
    for (auto _ : state) {
        benchmark::DoNotOptimize(&GetZelkPortab());
    }
    SetZelkPortab(nullptr);
}
BENCHMARK(BM_GetZelkPortab);

ZELK_RATIO("BM_MyZelkThread", "BM_ThreadLocalPointer", 8.0);
ZELK_RATIO("BM_MyZelkThread", "BM_GetZelkPortab", 1.2);

// ---- starting and joining an empty thread ----

class EmptyRunnable final : public CAbstractRunnable {
public:
    unsigned long Run() override { return 0; }
    char const* GetName() override { return "empty"; }
};

void BM_ZelkThread_StartJoin(benchmark::State& state) {
    std::unique_ptr<CAbstractThread> thread(CreateZelkThread());
    EmptyRunnable runnable;
    for (auto _ : state) {
        thread->Start(&runnable);
        thread->Join();
    }
}
BENCHMARK(BM_ZelkThread_StartJoin);

void BM_StdThread_CreateJoin(benchmark::State& state) {
    for (auto _ : state) {
        std::thread thread([] {});
        thread.join();
    }
}
BENCHMARK(BM_StdThread_CreateJoin);

ZELK_RATIO("BM_ZelkThread_StartJoin", "BM_StdThread_CreateJoin", 1.5);

// ---- the uncontended pairs again, in a process that has threads ----

void BM_ZelkSemaphore_LockUnlock_Threaded(benchmark::State& state) { ZelkSemaphoreLockUnlock(state); }
BENCHMARK(BM_ZelkSemaphore_LockUnlock_Threaded);
void BM_StdMutex_LockUnlock_Threaded(benchmark::State& state) { StdMutexLockUnlock(state); }
BENCHMARK(BM_StdMutex_LockUnlock_Threaded);
void BM_SemT_WaitPost_Threaded(benchmark::State& state) { SemTWaitPost(state); }
BENCHMARK(BM_SemT_WaitPost_Threaded);
void BM_Signals_SignalUnwanted_Threaded(benchmark::State& state) { SignalsSignalUnwanted(state); }
BENCHMARK(BM_Signals_SignalUnwanted_Threaded);

ZELK_RATIO("BM_ZelkSemaphore_LockUnlock_Threaded", "BM_StdMutex_LockUnlock_Threaded", 2.0);
ZELK_RATIO("BM_ZelkSemaphore_LockUnlock_Threaded", "BM_SemT_WaitPost_Threaded", 1.0);
ZELK_RATIO("BM_Signals_SignalUnwanted_Threaded", "BM_StdMutex_LockUnlock_Threaded", 4.0);

}  // namespace
