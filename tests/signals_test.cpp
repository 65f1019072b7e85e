// Contract tests of signal sets, free-standing and as thread objects.
#include <zelk/portab.h>

#include "layer_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

namespace {

using zelk::test::FunctionRunnable;
using zelk::test::LetOthersRun;
using zelk::test::WaitFor;
using Signals = std::unique_ptr<CAbstractSignals>;

TEST(Signals, AllocationHandsOutFreeBitsAndIsBookkeepingOnly) {
    Signals set(CreateZelkSignals());
    for (int expected = 0; expected < 32; ++expected) EXPECT_EQ(set->AllocSignal(), expected);
    EXPECT_EQ(set->AllocSignal(), 32) << "a full set";
    EXPECT_EQ(set->GetAllocated(), 0xFFFFFFFFUL);
    set->FreeSignals(0x80000021UL);  // bits 0, 5 and 31
    EXPECT_EQ(set->GetAllocated(), 0x7FFFFFDEUL);
    for (int expected : {0, 5, 31}) EXPECT_EQ(set->AllocSignal(), expected) << "the lowest free number";

    Signals other(CreateZelkSignals());
    EXPECT_EQ(other->AllocSignals(6), 1);
    EXPECT_EQ(other->AllocSignals(3), 0) << "bit 1 is taken";
    EXPECT_EQ(other->GetAllocated(), 6UL) << "all or nothing: bit 0 was not taken either";
    EXPECT_EQ(other->AllocSignal(), 0) << "AllocSignal sees what AllocSignals took";
    other->Signal(0x100);  // never allocated
    other->FreeSignals(0x100);
    EXPECT_EQ(other->GetSignals(), 0x100UL) << "allocation does not touch pending bits";
}

// Wait with pending bits takes only the bits of its mask, at once.
TEST(Signals, WaitTakesOnlyTheBitsOfItsMask) {
    struct Case {
        char const* name;
        unsigned long pending, cleared, mask, taken, left;
    } const cases[] = {
        {"signal with nobody waiting stays until taken", 4, 0, 4, 4, 0},
        {"pending 6, Wait(3)", 6, 0, 3, 2, 4},
        {"top and bottom bits", 0x80000001UL, 0, 0x80000000UL, 0x80000000UL, 1},
        {"ClearSignals leaves other bits", 0xFF, 0x0F, 0xF0, 0xF0, 0},
        {"an empty mask takes nothing", 7, 0, 0, 0, 7},
    };
    for (Case const& c : cases) {
        Signals set(CreateZelkSignals());
        set->Signal(c.pending);
        set->ClearSignals(c.cleared);
        EXPECT_EQ(set->Wait(c.mask), c.taken) << c.name;
        EXPECT_EQ(set->GetSignals(), c.left) << c.name;
    }
}

// A waiter sleeps through cleared bits, bits outside its mask and wake-ups
// left over from signals of a bit it has already taken, and returns with
// its own bits alone.
TEST(Signals, WaiterWakesOnlyForItsOwnBits) {
    Signals set(CreateZelkSignals());
    set->Signal(4);
    set->ClearSignals(4);
    std::atomic<int> phase{0};
    unsigned long results[2] = {0, 0};
    std::thread waiter([&] {
        phase = 1;
        results[0] = set->Wait(1 | 4);
        phase = 2;
        results[1] = set->Wait(8);
        phase = 3;
    });
    ASSERT_TRUE(WaitFor([&] { return phase.load() == 1; }));
    LetOthersRun();
    set->Signal(2);
    LetOthersRun();
    EXPECT_EQ(phase.load(), 1) << "Wait took a cleared bit or one outside its mask";
    for (int i = 0; i < 5; ++i) set->Signal(4);
    ASSERT_TRUE(WaitFor([&] { return phase.load() >= 2; }));
    LetOthersRun();
    EXPECT_EQ(phase.load(), 2) << "Wait(8) returned without bit 3";
    set->Signal(8);
    waiter.join();
    EXPECT_EQ(results[0], 4UL);
    EXPECT_EQ(results[1], 8UL);
    EXPECT_EQ(set->GetSignals() & 2UL, 2UL) << "the bit outside the mask stays pending";
}

// While one thread waits, another thread's ClearSignals and Wait wait for it,
// but Signal and GetSignals go on (were they to wait, the test would time out).
TEST(Signals, StateOperationsWaitForTheWaiterButSignalDoesNot) {
    Signals set(CreateZelkSignals());
    set->Signal(8);
    std::atomic<bool> aboutToWait{false}, firstReturned{false}, clearReturned{false};
    std::atomic<unsigned long> second{0};
    std::thread first([&] {
        aboutToWait = true;
        EXPECT_EQ(set->Wait(1), 1UL);
        firstReturned = true;
    });
    ASSERT_TRUE(WaitFor([&] { return aboutToWait.load(); }));
    LetOthersRun();
    std::thread clearer([&] { set->ClearSignals(8), clearReturned = true; });
    std::thread secondWaiter([&] { second = set->Wait(2); });
    LetOthersRun();
    set->Signal(2);
    EXPECT_EQ(set->GetSignals() & 2UL, 2UL);
    LetOthersRun();
    EXPECT_FALSE(firstReturned.load());
    EXPECT_FALSE(clearReturned.load()) << "ClearSignals ran while a waiter held the set";
    EXPECT_EQ(second.load(), 0UL) << "a second Wait ran while a waiter held the set";
    set->Signal(1);
    for (std::thread* t : {&first, &clearer, &secondWaiter}) t->join();
    EXPECT_EQ(second.load(), 2UL);
    EXPECT_EQ(set->GetSignals(), 0UL) << "bit 3 cleared, bits 0 and 1 taken";
}

// A thread object is one signal set, however it is reached, and the thread
// running on it is woken through it; the set outlives Join.
TEST(Signals, ThreadObjectIsOneSignalSet) {
    std::unique_ptr<CAbstractThread> thread(CreateZelkThread());
    CAbstractSignals* const viaSignals = static_cast<CAbstractSignals*>(thread.get());
    EXPECT_EQ(thread->AllocSignal(), 0);
    EXPECT_EQ(viaSignals->GetAllocated(), 1UL);
    FunctionRunnable runnable("waits for bit 2", [] { return MyZelkThread().Wait(4); });
    ASSERT_EQ(thread->Start(&runnable), 1);
    LetOthersRun();
    EXPECT_EQ(thread->IsRunning(), 1);
    viaSignals->Signal(4 | 8);
    EXPECT_EQ(thread->Join(), 4UL);
    EXPECT_EQ(thread->GetSignals(), 8UL);
}

}  // namespace
