// Contract tests of CreateZelkSemaphore and the semaphore operations.
#include <zelk/portab.h>

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <vector>

namespace {

using Semaphore = std::unique_ptr<CAbstractSemaphore>;

// How many Unlocks a semaphore accepts before its maximum refuses one, and
// the count it then holds: both must follow the two counts exactly.
TEST(Semaphore, CountsStayBetweenZeroAndTheMaximum) {
    struct Case {
        char const* name;
        long initial;
        long maximum;  // 0: the one-argument factory
        int unlocksAccepted;
    } const cases[] = {{"0, default maximum", 0, 0, 3}, {"1 of 1", 1, 1, 0}, {"0 of 1", 0, 1, 1}, {"3 of 5", 3, 5, 2}};
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        Semaphore semaphore(c.maximum == 0 ? CreateZelkSemaphore(c.initial)
                                           : CreateZelkSemaphore(c.initial, c.maximum));
        int accepted = 0, taken = 0;
        while (accepted < 3 && semaphore->Unlock() != 0) ++accepted;
        EXPECT_EQ(accepted, c.unlocksAccepted);
        while (taken < 100 && semaphore->TryLock() == 1) ++taken;
        EXPECT_EQ(taken, c.initial + accepted) << "a refused Unlock added nothing";
        EXPECT_NE(semaphore->Unlock(), 0) << "after taking there is room again";
    }
    Semaphore almostFull(CreateZelkSemaphore(2147483646L));
    EXPECT_NE(almostFull->Unlock(), 0) << "the one-argument factory's maximum is 2147483647";
    EXPECT_EQ(almostFull->Unlock(), 0);
    EXPECT_EQ(almostFull->TryLock(), 1);
}

// Exactly the counts the Win32 API refuses, on both backends.
TEST(Semaphore, BadCountsThrowResourceExhausted) {
    std::vector<std::pair<long, long>> cases = {{-1, 5}, {0, 0}, {3, 2}};
    if constexpr (sizeof(long) > 4) {  // where long is wider than the system's 32-bit counts
        cases.push_back({0, static_cast<long>(2147483647LL + 1)});
    }
    for (auto const& [initial, maximum] : cases)
        EXPECT_THROW(delete CreateZelkSemaphore(initial, maximum), CZelkResourceExhausted)
            << initial << " of " << maximum;
    EXPECT_THROW(delete CreateZelkSemaphore(-1), CZelkResourceExhausted);
}

}  // namespace
