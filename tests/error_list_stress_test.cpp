// Threads add to, walk and copy out of a shared list while another adds and
// rolls back in a second list that one more copies out of; afterwards no
// snapshot is lost or doubled and no list passed its capacity.
#include "test_errors.h"

#include <zelk/error_list.h>

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>
#include <vector>

using zelk::test::ScriptedError;

namespace {

constexpr std::uint32_t kAdders = 3, kPerAdder = 200;  // below the capacity, so nothing may drop
constexpr int kRounds = 100;

ScriptedError Numbered(std::uint32_t number) {
    ScriptedError error(number);
    error.code = static_cast<int>(number);  // lets a reader check a snapshot sits under its own number
    return error;
}

// One walk: strictly ascending numbers, each snapshot under its own number
// (or gone, when rolled back meanwhile); returns the numbers.
std::set<std::uint32_t> CheckWalk(CZelkErrorList const& list, std::atomic<int>& faults) {
    std::set<std::uint32_t> seen;
    CErrorClone snapshot;
    for (ErrorListPos pos = list.GetFirst(); !pos.IsNull(); pos = list.GetNext(pos)) {
        std::uint32_t const n = pos.GetOrdinalNumber().Get();
        faults += !seen.empty() && n <= *seen.rbegin();
        seen.insert(n);
        faults += list.GetError(snapshot, pos) == 1 && snapshot.GetError() != static_cast<int>(n);
    }
    faults += list.GetErrorCount() > 1000;
    return seen;
}

TEST(ErrorListStress, AddWalkRollbackAndCopyAtOnce) {
    CZelkErrorList shared, copies, scratch, scratchOut;
    std::atomic<int> faults{0}, addersDone{0};
    std::vector<std::thread> threads;
    for (std::uint32_t t = 0; t < kAdders; ++t) {
        threads.emplace_back([&, t] {  // numbers interleave across adders
            for (std::uint32_t i = 0; i < kPerAdder; ++i) shared.AddError(Numbered(1 + t + kAdders * i));
            ++addersDone;
        });
    }
    threads.emplace_back([&] {
        while (addersDone.load() < int(kAdders)) {
            CheckWalk(shared, faults);
            shared.CopyErrorsTo(copies, nullptr, nullptr);
        }
    });
    threads.emplace_back([&] {
        std::uint32_t next = 5000;
        for (int round = 0; round < kRounds; ++round) {
            for (int i = 0; i < 5; ++i) scratch.AddError(Numbered(next++));
            ErrorListPos const mark = scratch.GetLast();
            unsigned const before = scratch.GetErrorCount();
            for (int i = 0; i < 5; ++i) scratch.AddError(Numbered(next++));
            scratch.Rollback(mark);
            faults += scratch.GetErrorCount() != before || scratch.GetLast() != mark;
        }
    });
    threads.emplace_back([&] {
        ErrorListPos from;  // copies only what came since the last round
        for (int round = 0; round < kRounds; ++round) {
            scratch.CopyErrorsTo(scratchOut, &from, nullptr);
            CheckWalk(scratchOut, faults);
            if (scratchOut.GetErrorCount() > 900) scratchOut.ClearErrors();
        }
    });
    for (auto& thread : threads) thread.join();

    // Exactly the numbers the adders added; a last copy brings the copies level.
    std::set<std::uint32_t> expected;
    for (std::uint32_t n = 1; n <= kAdders * kPerAdder; ++n) expected.insert(n);
    EXPECT_EQ(CheckWalk(shared, faults), expected);
    shared.CopyErrorsTo(copies, nullptr, nullptr);
    EXPECT_EQ(CheckWalk(copies, faults), expected);
    EXPECT_EQ(faults.load(), 0);
}

}  // namespace
