// Several threads add to, walk, roll back and copy between shared lists at
// once; afterwards no snapshot is lost or doubled and no list passed its
// capacity.
#include "test_errors.h"

#include <zelk/error_list.h>

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>
#include <vector>

using zelk::test::ScriptedError;

namespace {

constexpr std::uint32_t kAdders = 3, kPerAdder = 300;  // 900 in all: below the capacity, so nothing may drop
constexpr int kRounds = 200;

ScriptedError Numbered(std::uint32_t number) {
    ScriptedError error(number);
    error.code = static_cast<int>(number);  // lets a reader check a snapshot sits under its own number
    error.lines[0][0] = {"line " + std::to_string(number)};
    return error;
}

// One walk: strictly ascending numbers, each snapshot under its own number
// with its own text (or gone, when rolled back meanwhile); returns the numbers.
std::set<std::uint32_t> CheckWalk(CZelkErrorList const& list, std::atomic<int>& faults) {
    std::set<std::uint32_t> seen;
    CErrorClone snapshot;
    for (ErrorListPos pos = list.GetFirst(); !pos.IsNull(); pos = list.GetNext(pos)) {
        std::uint32_t const n = pos.GetOrdinalNumber().Get();
        if (!seen.empty() && n <= *seen.rbegin()) ++faults;
        seen.insert(n);
        if (list.GetError(snapshot, pos) == 1 &&
            (snapshot.GetOrdinalNumber().Get() != n || snapshot.GetError() != static_cast<int>(n) ||
             zelk::test::LineOf(snapshot, 0, 0, false) != "line " + std::to_string(n)))
            ++faults;
    }
    if (list.GetErrorCount() > 1000) ++faults;
    return seen;
}

TEST(ErrorListStress, AddWalkRollbackAndCopyAtOnce) {
    CZelkErrorList shared, copies;     // adders add to `shared`, a walker walks it, a copier copies it out
    CZelkErrorList scratch, scratchOut;  // one thread adds and rolls back in `scratch` while another copies it
    std::atomic<int> faults{0}, addersDone{0};
    std::vector<std::thread> threads;
    for (std::uint32_t t = 0; t < kAdders; ++t) {
        threads.emplace_back([&, t] {  // numbers interleave across adders
            for (std::uint32_t i = 0; i < kPerAdder; ++i) shared.AddError(Numbered(1 + t + kAdders * i));
            ++addersDone;
        });
    }
    threads.emplace_back([&] {
        while (addersDone.load() < int(kAdders)) CheckWalk(shared, faults);
    });
    threads.emplace_back([&] {
        while (addersDone.load() < int(kAdders)) shared.CopyErrorsTo(copies, nullptr, nullptr);
    });
    threads.emplace_back([&] {
        std::uint32_t next = 5000;
        for (int round = 0; round < kRounds; ++round) {
            for (int i = 0; i < 5; ++i) scratch.AddError(Numbered(next++));
            ErrorListPos const mark = scratch.GetLast();
            unsigned const before = scratch.GetErrorCount();
            for (int i = 0; i < 5; ++i) scratch.AddError(Numbered(next++));
            scratch.Rollback(mark);
            if (scratch.GetErrorCount() != before || scratch.GetLast() != mark) ++faults;
            if (round % 40 == 39) scratch.ClearErrors();
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

    // Nothing lost, nothing doubled: exactly the numbers the adders added,
    // and a last copy brings the copy list level with the shared one.
    std::set<std::uint32_t> expected;
    for (std::uint32_t n = 1; n <= kAdders * kPerAdder; ++n) expected.insert(n);
    EXPECT_EQ(CheckWalk(shared, faults), expected);
    EXPECT_EQ(shared.GetErrorCount(), expected.size());
    shared.CopyErrorsTo(copies, nullptr, nullptr);
    EXPECT_EQ(CheckWalk(copies, faults), expected);
    CheckWalk(scratchOut, faults);
    EXPECT_EQ(faults.load(), 0);
}

}  // namespace
