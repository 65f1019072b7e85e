// Stress test of signal sets: many threads at once, bounded in
// work (not in time), so they end by themselves and stay quick enough under
// ThreadSanitizer and Wine.
#include <zelk/portab.h>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace {

using Signals = std::unique_ptr<CAbstractSignals>;

// Each signaller owns one bit of a shared set and sends it again only once
// the waiter has taken it and answered on the signaller's own set, so every
// signal must be taken exactly once: a lost wake-up hangs the test (the
// timeout fails it), a double take breaks the counts.  A noise thread
// signals and clears bits the waiter never asks for and takes the state lock
// with allocation calls, so signallers run beside other holders of it.
TEST(SignalsStress, ManySignallersAgainstOneWaiter) {
    constexpr int kSignallers = 8, kRounds = 600;
    constexpr unsigned long kStopBit = 1UL << 31, kNoiseBits = 0x00FF0000UL;
    Signals hub(CreateZelkSignals());
    std::array<Signals, kSignallers> answers;
    for (auto& answer : answers) answer.reset(CreateZelkSignals());
    std::array<int, kSignallers> taken{};
    std::thread waiter([&] {
        unsigned long const mask = ((1UL << kSignallers) - 1) | kStopBit;
        for (unsigned long bits = 0; (bits & kStopBit) == 0;) {
            bits = hub->Wait(mask);
            EXPECT_NE(bits, 0UL);
            EXPECT_EQ(bits & ~mask, 0UL) << "Wait took bits outside its mask";
            for (std::size_t i = 0; i < kSignallers; ++i)
                if ((bits & (1UL << i)) != 0) ++taken[i], answers[i]->Signal(1);
        }
    });
    std::atomic<bool> stopNoise{false};
    std::thread noise([&] {
        while (!stopNoise.load()) {
            hub->Signal(kNoiseBits);
            int const number = hub->AllocSignal();
            if (number < 32) hub->FreeSignals(1UL << number);
            hub->ClearSignals(kNoiseBits);
        }
    });
    std::vector<std::thread> signallers;
    for (std::size_t i = 0; i < kSignallers; ++i) {
        signallers.emplace_back([&, i] {
            for (int round = 0; round < kRounds; ++round) {
                hub->Signal(1UL << i);
                EXPECT_EQ(answers[i]->Wait(1), 1UL);
            }
        });
    }
    for (auto& signaller : signallers) signaller.join();
    hub->Signal(kStopBit);
    waiter.join();
    stopNoise = true;
    noise.join();
    for (std::size_t i = 0; i < kSignallers; ++i) EXPECT_EQ(taken[i], kRounds) << "signaller " << i;
    EXPECT_EQ(hub->GetSignals() & ~kNoiseBits, 0UL) << "nothing left pending";
}

}  // namespace
