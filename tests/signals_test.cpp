// Contract tests of signal sets, free-standing and as thread objects.
#include <zelk/portab.h>

#include "portab_test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

namespace {

using zelk::portab_test::Eventually;
using zelk::portab_test::FunctionRunnable;
using zelk::portab_test::LetOthersRun;
using Signals = std::unique_ptr<CAbstractSignals>;

TEST(Signals, NewSetHasNothingAllocatedOrPending) {
    Signals set(CreateZelkSignals());
    EXPECT_EQ(set->GetSignals(), 0UL);
    EXPECT_EQ(set->GetAllocated(), 0UL);
}

TEST(Signals, AllocSignalHandsOutTheLowestFreeNumber) {
    Signals set(CreateZelkSignals());
    for (int expected = 0; expected < 32; ++expected) {
        EXPECT_EQ(set->AllocSignal(), expected);
    }
    EXPECT_EQ(set->AllocSignal(), 32) << "a full set";
    EXPECT_EQ(set->GetAllocated(), 0xFFFFFFFFUL);
    EXPECT_EQ(set->AllocSignal(), 32) << "still full";
    EXPECT_EQ(set->GetAllocated(), 0xFFFFFFFFUL) << "a full set changes nothing";
    set->FreeSignals(32);  // bit 5
    EXPECT_EQ(set->GetAllocated(), 0xFFFFFFDFUL);
    EXPECT_EQ(set->AllocSignal(), 5);
    set->FreeSignals(0x80000001UL);
    EXPECT_EQ(set->AllocSignal(), 0);
    EXPECT_EQ(set->AllocSignal(), 31);
}

TEST(Signals, AllocSignalsIsAllOrNothing) {
    Signals set(CreateZelkSignals());
    EXPECT_EQ(set->AllocSignals(6), 1);
    EXPECT_EQ(set->GetAllocated(), 6UL);
    EXPECT_EQ(set->AllocSignals(3), 0) << "bit 1 is taken";
    EXPECT_EQ(set->GetAllocated(), 6UL) << "bit 0 was not taken either";
    EXPECT_EQ(set->AllocSignals(0x18), 1);
    EXPECT_EQ(set->GetAllocated(), 0x1EUL);
    EXPECT_EQ(set->AllocSignal(), 0) << "AllocSignal sees what AllocSignals took";
    EXPECT_EQ(set->AllocSignal(), 5);
}

TEST(Signals, AllocationIsBookkeepingOnly) {
    Signals set(CreateZelkSignals());
    set->Signal(0x100);  // never allocated
    EXPECT_EQ(set->GetSignals(), 0x100UL);
    EXPECT_EQ(set->AllocSignals(0x100), 1);
    set->FreeSignals(0x100);
    EXPECT_EQ(set->GetSignals(), 0x100UL) << "freeing leaves the pending bit alone";
    EXPECT_EQ(set->Wait(0x100), 0x100UL);
}

TEST(Signals, SignalWithNobodyWaitingStaysPendingUntilTaken) {
    Signals set(CreateZelkSignals());
    set->Signal(4);
    EXPECT_EQ(set->GetSignals(), 4UL);
    EXPECT_EQ(set->Wait(4), 4UL);
    EXPECT_EQ(set->GetSignals(), 0UL);
}

TEST(Signals, WaitTakesOnlyTheBitsOfItsMask) {
    struct Case {
        unsigned long pending;
        unsigned long mask;
        unsigned long taken;
        unsigned long left;
    };
    for (Case const c : {Case{6, 3, 2, 4}, Case{6, 6, 6, 0}, Case{0xF0, 0x30, 0x30, 0xC0}, Case{0x80000001UL, 0xFFFFFFFFUL, 0x80000001UL, 0},
                         Case{0x80000001UL, 0x80000000UL, 0x80000000UL, 1}}) {
        Signals set(CreateZelkSignals());
        set->Signal(c.pending);
        EXPECT_EQ(set->Wait(c.mask), c.taken) << "pending " << c.pending << " mask " << c.mask;
        EXPECT_EQ(set->GetSignals(), c.left);
    }
}

TEST(Signals, EmptyMaskReturnsZeroAtOnce) {
    Signals set(CreateZelkSignals());
    set->Signal(7);
    EXPECT_EQ(set->Wait(0), 0UL);
    EXPECT_EQ(set->GetSignals(), 7UL) << "nothing taken";
}

TEST(Signals, WaiterSleepsThroughOtherBitsAndWakesForItsOwn) {
    Signals set(CreateZelkSignals());
    std::atomic<bool> returned{false};
    unsigned long received = 0;
    std::thread waiter([&] {
        received = set->Wait(1);
        returned.store(true);
    });
    LetOthersRun();
    set->Signal(2);
    LetOthersRun();
    EXPECT_FALSE(returned.load()) << "Wait(1) returned for bit 1 (mask 2)";
    EXPECT_EQ(set->GetSignals(), 2UL);
    set->Signal(1);
    waiter.join();
    EXPECT_EQ(received, 1UL);
    EXPECT_EQ(set->GetSignals(), 2UL) << "the other bit stays pending";
}

TEST(Signals, ClearedBitMustBeSignalledAgain) {
    Signals set(CreateZelkSignals());
    set->Signal(4);
    set->ClearSignals(4);
    EXPECT_EQ(set->GetSignals(), 0UL);
    std::atomic<bool> returned{false};
    unsigned long received = 0;
    std::thread waiter([&] {
        received = set->Wait(4);
        returned.store(true);
    });
    LetOthersRun();
    EXPECT_FALSE(returned.load()) << "Wait took a cleared bit";
    set->Signal(4);
    waiter.join();
    EXPECT_EQ(received, 4UL);
    EXPECT_EQ(set->GetSignals(), 0UL);
}

TEST(Signals, ClearSignalsLeavesOtherBits) {
    Signals set(CreateZelkSignals());
    set->Signal(0xFF);
    set->ClearSignals(0x0F);
    EXPECT_EQ(set->GetSignals(), 0xF0UL);
    set->ClearSignals(0);
    EXPECT_EQ(set->GetSignals(), 0xF0UL);
}

TEST(Signals, StateOperationsWaitForTheWaiterButSignalDoesNot) {
    Signals set(CreateZelkSignals());
    set->Signal(8);
    std::atomic<bool> aboutToWait{false};
    std::atomic<bool> waiterReturned{false};
    std::atomic<bool> clearReturned{false};
    std::thread waiter([&] {
        aboutToWait.store(true);
        EXPECT_EQ(set->Wait(1), 1UL);
        waiterReturned.store(true);
    });
    ASSERT_TRUE(Eventually([&] { return aboutToWait.load(); }));
    LetOthersRun();
    std::thread clearer([&] {
        set->ClearSignals(8);
        clearReturned.store(true);
    });
    LetOthersRun();
    // Signal and GetSignals go on while the waiter holds the state lock
    // (were they to wait for it, this test would hang and time out).
    set->Signal(2);
    EXPECT_EQ(set->GetSignals() & 2UL, 2UL);
    EXPECT_FALSE(waiterReturned.load());
    EXPECT_FALSE(clearReturned.load()) << "ClearSignals ran while a waiter held the set";
    set->Signal(1);
    waiter.join();
    clearer.join();
    EXPECT_EQ(set->GetSignals(), 2UL) << "bit 3 cleared, bit 1 still pending";
}

TEST(Signals, SecondWaiterWaitsForTheFirstAndBothGetTheirBits) {
    Signals set(CreateZelkSignals());
    unsigned long first = 0;
    unsigned long second = 0;
    std::thread a([&] { first = set->Wait(1); });
    std::thread b([&] { second = set->Wait(2); });
    LetOthersRun();
    set->Signal(2);
    LetOthersRun();
    set->Signal(1);
    a.join();
    b.join();
    EXPECT_EQ(first, 1UL);
    EXPECT_EQ(second, 2UL);
    EXPECT_EQ(set->GetSignals(), 0UL);
}

TEST(Signals, LeftoverWakeUpsCauseNoEarlyReturn) {
    // Signals of a wanted bit while the waiter is registered leave wake-ups
    // behind (more than the one the waiter used); a later Wait for another
    // bit must use them up and sleep on, returning only with its own bit.
    Signals set(CreateZelkSignals());
    std::atomic<bool> aboutToWait{false};
    std::atomic<int> phase{0};
    unsigned long results[2] = {0, 0};
    std::thread waiter([&] {
        aboutToWait.store(true);
        results[0] = set->Wait(4);
        phase.store(1);
        results[1] = set->Wait(8);
        phase.store(2);
    });
    ASSERT_TRUE(Eventually([&] { return aboutToWait.load(); }));
    LetOthersRun();
    for (int i = 0; i < 5; ++i) {
        set->Signal(4);
    }
    ASSERT_TRUE(Eventually([&] { return phase.load() >= 1; }));
    LetOthersRun();
    EXPECT_EQ(phase.load(), 1) << "Wait(8) returned without bit 3";
    set->Signal(8);
    waiter.join();
    EXPECT_EQ(results[0], 4UL);
    EXPECT_EQ(results[1], 8UL);
    EXPECT_EQ(set->GetSignals() & ~4UL, 0UL);
}

TEST(Signals, ThreadObjectIsOneSignalSet) {
    std::unique_ptr<CAbstractThread> thread(CreateZelkThread());
    CAbstractSignals* viaOne = thread.get();
    CAbstractSignals* viaTwo = static_cast<CAbstractSignals*>(thread.get());
    EXPECT_EQ(viaOne, viaTwo);
    EXPECT_EQ(thread->GetSignals(), 0UL);
    viaOne->Signal(0x40);
    EXPECT_EQ(viaTwo->GetSignals(), 0x40UL);
    EXPECT_EQ(thread->GetSignals(), 0x40UL);
    EXPECT_EQ(thread->AllocSignal(), 0);
    EXPECT_EQ(viaTwo->GetAllocated(), 1UL);
    thread->ClearSignals(0x40);
    EXPECT_EQ(viaOne->GetSignals(), 0UL);
}

TEST(Signals, ThreadIsWokenThroughItsObject) {
    std::unique_ptr<CAbstractThread> thread(CreateZelkThread());
    FunctionRunnable runnable("waits for bit 2", [] { return MyZelkThread().Wait(4); });
    ASSERT_EQ(thread->Start(&runnable), 1);
    LetOthersRun();
    EXPECT_EQ(thread->IsRunning(), 1);
    CAbstractSignals& set = *thread;
    set.Signal(4 | 8);
    EXPECT_EQ(thread->Join(), 4UL);
    EXPECT_EQ(thread->GetSignals(), 8UL) << "the thread's set carries over past Join";
}

}  // namespace
