// Stress: eight threads take one critical section with recursion, TryLock and
// Lock mixed; half of them host threads, half started by the layer, and then
// all host threads, which share the main thread object so that only the
// system's thread identity keeps them apart.
#include <zelk/portab.h>

#include "layer_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace {

using zelk::test::LayerThread;

// Kept small enough for the Win32 backend under Wine, where every semaphore
// operation is a round trip to the server.
constexpr int kRounds = 1000;
constexpr int kThreads = 8;

struct Shared {
    std::unique_ptr<CAbstractCriticalSection> lock{CreateZelkCriticalSection()};
    std::atomic<int> inside{0};
    std::atomic<int> overlaps{0};
    std::atomic<int> refusedReentry{0};
    long counter = 0;  // plain on purpose: only the lock keeps it whole
};

void Work(Shared& shared, int seed) {
    for (int round = 0; round < kRounds; ++round) {
        int levels = 2;
        switch ((round + seed) % 3) {
        case 0:
            shared.lock->Lock();
            break;
        case 1:
            // A failed attempt must leave nothing behind that skews the others.
            if (!shared.lock->TryLock()) shared.lock->Lock();
            break;
        default:
            shared.lock->Lock();
            if (shared.lock->Lock() != 1) shared.refusedReentry.fetch_add(1);
            ++levels;
            break;
        }
        if (shared.inside.fetch_add(1) != 0) shared.overlaps.fetch_add(1);
        // The owner can always re-enter, without waiting.
        if (shared.lock->TryLock() != 1) {
            shared.refusedReentry.fetch_add(1);
            --levels;
        }
        long const seen = shared.counter;
        if (round % 64 == 0) std::this_thread::yield();  // widen the window a broken lock would leave
        shared.counter = seen + 1;
        shared.inside.fetch_sub(1);
        while (levels-- > 0) shared.lock->Unlock();
    }
}

TEST(CriticalSectionStress, EightThreadsExcludeEachOther) {
    for (int const layerThreads : {kThreads / 2, 0}) {
        SCOPED_TRACE(layerThreads == 0 ? "host threads only" : "host and layer threads");
        Shared shared;
        std::vector<std::thread> hosts;
        std::vector<std::unique_ptr<LayerThread>> layers;
        for (int i = 0; i < kThreads; ++i) {
            if (i < layerThreads) {
                layers.push_back(std::make_unique<LayerThread>([&shared, i] { return Work(shared, i), 0UL; }));
                EXPECT_TRUE(layers.back()->Started());
            } else {
                hosts.emplace_back([&shared, i] { Work(shared, i); });
            }
        }
        for (auto& host : hosts) host.join();
        for (auto& layer : layers) layer->Join();
        EXPECT_EQ(shared.overlaps.load(), 0);
        EXPECT_EQ(shared.refusedReentry.load(), 0);
        EXPECT_EQ(shared.counter, long{kThreads} * kRounds);
        EXPECT_EQ(shared.lock->TryLock(), 1) << "free again for anyone";
        EXPECT_NE(shared.lock->Unlock(), 0);
    }
}

}  // namespace
