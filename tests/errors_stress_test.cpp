// Eight started threads make, add and roll back errors while one more
// thread clears every list and another replaces the message file on disk.
// Each worker checks its own list after every rollback (exactly when no
// clear overlapped it) and every text it reads: a text is one whole version
// of the file's line, never a mixture or garbage.
#include "base_errors.h"
#include "layer_thread.h"
#include "temp_files.h"

#include <zelk/error_list.h>
#include <zelk/portab.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using zelk::test::LayerThread;
using zelk::test::TestError;

constexpr int kWorkers = 8;
constexpr int kRounds = 100;
constexpr int kCodes = 16;

std::string MessageFile(char version) {
    std::string text = "[StressError]\r\n";
    for (int code = 0; code < kCodes; ++code) text += std::to_string(code) + "=" + version + std::to_string(code) + "\r\n";
    return text;
}

bool IsVersionOf(std::string const& text, int code, char const* versions) {
    for (char const* v = versions; *v; ++v) {
        if (text == *v + std::to_string(code)) return true;
    }
    return false;
}

struct Shared {
    std::atomic<unsigned> clears{0};  // odd while a clear runs
    std::atomic<int> running{kWorkers};
    std::atomic<int> failures{0};
    std::atomic<int> exactChecks{0};
    std::atomic<int> roundsDone{0};
};

void Fail(Shared& shared) { shared.failures.fetch_add(1); }

unsigned long Work(Shared& shared, int seed) {
    unsigned state = static_cast<unsigned>(seed) * 2654435761u + 1;
    auto next = [&state](unsigned bound) {
        state = state * 1103515245u + 12345u;
        return (state >> 8) % bound;
    };
    for (int round = 0; round < kRounds; ++round) {
        unsigned const clearsBefore = shared.clears.load();
        ErrorListPos const mark = CZelkError::GetLast();
        int const adds = 1 + static_cast<int>(next(4));
        for (int i = 0; i < adds; ++i) {
            int const code = static_cast<int>(next(kCodes));
            TestError const error("stress.cpp", round, code, "StressError");
            if (&ERRAdd(error) != &error) Fail(shared);
            if (!IsVersionOf(zelk::test::Line(error, false), code, "AB")) Fail(shared);
            if (zelk::test::Line(error, true) != "E" + std::to_string(code)) Fail(shared);
        }
        // Read the list whole under its lock, then check every snapshot's texts.
        CZelkErrorList copy;
        ERRMyList().CopyErrorsTo(copy, nullptr, nullptr);
        if (copy.GetErrorCount() > 1000) Fail(shared);
        CErrorClone snapshot;
        for (ErrorListPos p = copy.GetFirst(); !p.IsNull(); p = copy.GetNext(p)) {
            if (copy.GetError(snapshot, p) != 1) Fail(shared);
            if (!IsVersionOf(zelk::test::Line(snapshot, false), snapshot.GetError(), "AB")) Fail(shared);
            if (std::string(snapshot.GetThreadName()) != "layer test thread") Fail(shared);
        }
        if (next(3) != 0) {
            mark.Rollback();
            CZelkErrorList after;
            ERRMyList().CopyErrorsTo(after, nullptr, nullptr);
            unsigned const clearsAfter = shared.clears.load();
            if (clearsBefore == clearsAfter && clearsBefore % 2 == 0) {
                // No clear overlapped: the list ends exactly at the mark.
                shared.exactChecks.fetch_add(1);
                if (after.GetLast() != mark) Fail(shared);
            } else if (!after.GetLast().IsNull() && !mark.IsNull() &&
                       after.GetLast().GetOrdinalNumber() < mark.GetOrdinalNumber()) {
                Fail(shared);  // a rollback never removes the mark itself
            }
        }
        shared.roundsDone.fetch_add(1);
    }
    shared.running.fetch_sub(1);
    return 0;
}

TEST(ErrorsStress, WorkersClearerAndReplacedMessageFile) {
    zelk::test::TempDir dir("zelk-stress");
    std::string const translated = (dir.Path() / "German.txt").string();
    ASSERT_TRUE(zelk::test::WriteFile(translated, MessageFile('A')));
    std::string english = "[StressError]\n";
    for (int code = 0; code < kCodes; ++code) english += std::to_string(code) + "=E" + std::to_string(code) + "\n";
    ASSERT_TRUE(zelk::test::WriteFile((dir.Path() / "Zelk.TXT").string(), english));
    SetMsgFileName(zelk::test::WindowsName(dir.Path() / "German.txt").c_str());
    ERRClearErrors();

    Shared shared;
    // The clearer paces itself by the workers' progress, not by the clock:
    // between two clears every worker gets about two rounds, so rounds with
    // and without an overlapping clear both occur however fast they run.
    std::thread clearer([&shared] {
        while (shared.running.load() > 0) {
            shared.clears.fetch_add(1);
            ERRClearErrors();
            shared.clears.fetch_add(1);
            int const done = shared.roundsDone.load();
            while (shared.running.load() > 0 && shared.roundsDone.load() < done + 2 * kWorkers) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
    });
    int replacements = 0;
    std::thread replacer([&] {
        while (shared.running.load() > 0 || replacements == 0) {
            // A failed replacement (the file held open elsewhere) is retried
            // with the next version.
            if (zelk::test::ReplaceFile(translated, MessageFile(replacements % 2 == 0 ? 'B' : 'A'))) ++replacements;
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
        }
    });
    {
        std::vector<std::unique_ptr<LayerThread>> workers;
        for (int w = 0; w < kWorkers; ++w) {
            workers.push_back(std::make_unique<LayerThread>([&shared, w] { return Work(shared, w); }));
            ASSERT_TRUE(workers.back()->Started());
        }
    }
    clearer.join();
    replacer.join();
    SetMsgFileName(nullptr);

    EXPECT_EQ(shared.failures.load(), 0);
    EXPECT_GT(replacements, 0);
    EXPECT_GT(shared.exactChecks.load(), 0);
    ERRClearErrors();
    EXPECT_EQ(ERRMyList().GetErrorCount(), 0u);
}

}  // namespace
