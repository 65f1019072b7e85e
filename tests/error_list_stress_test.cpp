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

constexpr int kAdders = 3;
constexpr std::uint32_t kPerAdder = 300;  // 900 in all: below the capacity, so nothing may drop
constexpr int kRounds = 200;

ScriptedError Numbered(std::uint32_t number) {
    ScriptedError error(number);
    error.code = static_cast<int>(number);  // lets a reader check that a snapshot sits under its own number
    error.lines[0][0] = {"line " + std::to_string(number)};
    return error;
}

// Checks one walk of a list: strictly ascending numbers, each snapshot read
// back under its own number with its own texts.
void CheckWalk(CZelkErrorList const& list, std::atomic<int>& faults) {
    std::uint32_t previous = 0;
    CErrorClone snapshot;
    for (ErrorListPos pos = list.GetFirst(); !pos.IsNull(); pos = list.GetNext(pos)) {
        std::uint32_t const n = pos.GetOrdinalNumber().Get();
        if (n <= previous) ++faults;
        previous = n;
        // The snapshot may have been rolled back since: then GetError says 0.
        if (list.GetError(snapshot, pos) == 1) {
            if (snapshot.GetOrdinalNumber().Get() != n || snapshot.GetError() != static_cast<int>(n)) ++faults;
            char text[64];
            if (snapshot.GetDescriptionLine(0, 0, text, sizeof text, false) == 0 ||
                std::string(text) != "line " + std::to_string(n))
                ++faults;
        }
    }
    if (list.GetErrorCount() > 1000) ++faults;
}

TEST(ErrorListStress, AddWalkRollbackAndCopyAtOnce) {
    CZelkErrorList shared;      // adders add here, walkers walk it, a copier copies it out
    CZelkErrorList copies;      // receives full copies of `shared`
    CZelkErrorList scratch;     // one thread adds and rolls back here while another copies it
    CZelkErrorList scratchOut;  // receives copies of `scratch`
    std::atomic<int> faults{0};
    std::atomic<int> addersDone{0};

    std::vector<std::thread> threads;
    for (int t = 0; t < kAdders; ++t) {
        threads.emplace_back([&, t] {
            // Numbers interleave across adders: 1, 4, 7, ... / 2, 5, 8, ... / 3, 6, 9, ...
            for (std::uint32_t i = 0; i < kPerAdder; ++i) shared.AddError(Numbered(1 + static_cast<std::uint32_t>(t) + kAdders * i));
            ++addersDone;
        });
    }
    threads.emplace_back([&] {
        while (addersDone.load() < kAdders) CheckWalk(shared, faults);
    });
    threads.emplace_back([&] {
        while (addersDone.load() < kAdders) shared.CopyErrorsTo(copies, nullptr, nullptr);
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

    EXPECT_EQ(faults.load(), 0);
    // Nothing lost, nothing doubled: exactly the numbers the adders added.
    std::set<std::uint32_t> expected;
    for (std::uint32_t n = 1; n <= kAdders * kPerAdder; ++n) expected.insert(n);
    std::set<std::uint32_t> seen;
    for (ErrorListPos pos = shared.GetFirst(); !pos.IsNull(); pos = shared.GetNext(pos))
        EXPECT_TRUE(seen.insert(pos.GetOrdinalNumber().Get()).second);
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(shared.GetErrorCount(), expected.size());

    // A last copy brings the copy list level with the shared one.
    shared.CopyErrorsTo(copies, nullptr, nullptr);
    std::set<std::uint32_t> copied;
    for (ErrorListPos pos = copies.GetFirst(); !pos.IsNull(); pos = copies.GetNext(pos)) copied.insert(pos.GetOrdinalNumber().Get());
    EXPECT_EQ(copied, expected);
    CheckWalk(copies, faults);
    CheckWalk(scratchOut, faults);
    EXPECT_EQ(faults.load(), 0);
}

}  // namespace
