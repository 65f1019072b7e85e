// Started threads make, add and roll back errors while one more thread clears
// every list and another replaces the message file on disk.  Each worker
// checks its own list after every rollback (exactly when no clear overlapped
// it) and every text it reads: one whole version of the line, never a mixture.
// The workers also add to one list they share, which the clearer walks and
// copies out of meanwhile: no snapshot is lost, doubled or put out of order.
#include "layer_thread.h"
#include "temp_files.h"
#include "test_errors.h"

#include <zelk/error_list.h>
#include <zelk/portab.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using zelk::test::Line;
using zelk::test::ScriptedError;

constexpr int kWorkers = 6, kRounds = 80, kCodes = 16;

std::string MessageFile(std::string const& version) {
    std::string text = "[StressError]\r\n";
    for (int code = 0; code < kCodes; ++code)
        text += std::to_string(code) + "=" + version + std::to_string(code) + "\r\n";
    return text;
}

bool IsVersionOf(std::string const& text, int code) {
    return text == "A" + std::to_string(code) || text == "B" + std::to_string(code);
}

struct Shared {
    std::atomic<unsigned> clears{0};  // odd while a clear runs
    std::atomic<int> running{kWorkers}, failures{0}, exactChecks{0}, roundsDone{0};
    CZelkErrorList list;  // numbers 1 + worker + kWorkers * round; below the capacity, so nothing drops
};

// One walk of the shared list: strictly ascending numbers, each snapshot
// under its own number; returns the numbers.
std::set<std::uint32_t> CheckWalk(CZelkErrorList const& list, std::atomic<int>& failures) {
    std::set<std::uint32_t> seen;
    CErrorClone snapshot;
    for (ErrorListPos pos = list.GetFirst(); !pos.IsNull(); pos = list.GetNext(pos)) {
        std::uint32_t const n = pos.GetOrdinalNumber().Get();
        failures += !seen.empty() && n <= *seen.rbegin();
        seen.insert(n);
        failures += list.GetError(snapshot, pos) == 1 && snapshot.GetError() != static_cast<int>(n);
    }
    return seen;
}

unsigned long Work(Shared& shared, unsigned worker) {
    unsigned state = worker * 2654435761u + 1;
    auto next = [&state](unsigned bound) { return ((state = state * 1103515245u + 12345u) >> 8) % bound; };
    auto check = [&shared](bool ok) { shared.failures += !ok; };
    for (int round = 0; round < kRounds; ++round, ++shared.roundsDone) {
        unsigned const clearsBefore = shared.clears.load();
        ErrorListPos const mark = CZelkError::GetLast();
        ScriptedError numbered(1 + worker + kWorkers * static_cast<unsigned>(round));
        numbered.code = static_cast<int>(numbered.number);  // lets a walk check a snapshot sits under its own number
        shared.list.AddError(numbered);
        for (unsigned i = 0, adds = 1 + next(4); i < adds; ++i) {
            int const code = static_cast<int>(next(kCodes));
            zelk::test::TestError const error("stress.cpp", round, code, "StressError");
            ERRAdd(error);
            check(IsVersionOf(Line(error, false), code) && Line(error, true) == "E" + std::to_string(code));
        }
        // Read the list whole under its lock, then check every snapshot's texts.
        CZelkErrorList copy;
        ERRMyList().CopyErrorsTo(copy, nullptr, nullptr);
        CErrorClone snapshot;
        for (ErrorListPos p = copy.GetFirst(); !p.IsNull(); p = copy.GetNext(p))
            check(copy.GetError(snapshot, p) == 1 && IsVersionOf(Line(snapshot, false), snapshot.GetError()));
        if (next(3) == 0) continue;
        mark.Rollback();
        ErrorListPos const last = ERRMyList().GetLast();
        if (shared.clears.load() == clearsBefore && clearsBefore % 2 == 0) {
            shared.exactChecks += 1;  // no clear overlapped: the list ends exactly at the mark
            check(last == mark);
        } else {
            check(last.IsNull() || mark.IsNull() || !(last.GetOrdinalNumber() < mark.GetOrdinalNumber()));
        }
    }
    shared.running -= 1;
    return 0;
}

TEST(ErrorsStress, WorkersClearerAndReplacedMessageFile) {
    zelk::test::TempDir dir("zelk-stress");
    std::string const translated = dir.File("German.txt");
    ASSERT_TRUE(zelk::test::WriteFile(translated, MessageFile("A")));
    ASSERT_TRUE(zelk::test::WriteFile(dir.File("Zelk.TXT"), MessageFile("E")));
    SetMsgFileName(zelk::test::WindowsName(dir.Path() / "German.txt").c_str());
    ERRClearErrors();
    Shared shared;
    // The clearer paces itself by the workers' progress, not by the clock:
    // rounds with and without an overlapping clear both occur however fast they run.
    CZelkErrorList copies;
    std::thread clearer([&shared, &copies] {
        ErrorListPos from;  // copies only what came since the last round
        while (shared.running.load() > 0) {
            CheckWalk(shared.list, shared.failures);
            shared.list.CopyErrorsTo(copies, &from, nullptr);
            shared.clears += 1;
            ERRClearErrors();
            shared.clears += 1;
            int const done = shared.roundsDone.load();
            while (shared.running.load() > 0 && shared.roundsDone.load() < done + 2 * kWorkers)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    int replacements = 0;
    std::thread replacer([&] {  // a failed replacement (file held open) is retried with the next version
        while (shared.running.load() > 0 || replacements == 0) {
            replacements += zelk::test::ReplaceFile(translated, MessageFile(replacements % 2 ? "A" : "B"));
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
        }
    });
    {
        std::vector<std::unique_ptr<zelk::test::LayerThread>> workers;
        for (unsigned w = 0; w < kWorkers; ++w)
            workers.push_back(std::make_unique<zelk::test::LayerThread>([&shared, w] { return Work(shared, w); }));
    }
    clearer.join();
    replacer.join();
    SetMsgFileName(nullptr);
    ERRClearErrors();
    std::set<std::uint32_t> expected;
    for (std::uint32_t n = 1; n <= std::uint32_t{kWorkers * kRounds}; ++n) expected.insert(n);
    EXPECT_EQ(CheckWalk(shared.list, shared.failures), expected);
    shared.list.CopyErrorsTo(copies, nullptr, nullptr);
    EXPECT_EQ(CheckWalk(copies, shared.failures), expected);
    EXPECT_EQ(shared.failures.load(), 0);
    EXPECT_GT(shared.exactChecks.load(), 0);
}

}  // namespace
