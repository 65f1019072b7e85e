// The conveniences for ported code: draining an error list, waits
// with a time limit, Windows-1252 <-> UTF-8 texts, the program's folder and
// native paths.
#include "layer_thread.h"
#include "temp_files.h"
#include "test_errors.h"

#include <zelk/zelkerr.h>

#include <gtest/gtest.h>

using namespace zelk::test;

namespace {

// A supervisor drains a worker's list while the worker reports: every error
// arrives exactly once.  The worker never lets its own list fill, so none
// may be missing.
TEST(Drain, WhileTheWorkerReports) {
    constexpr std::uint32_t kErrors = 20000;
    LayerThread worker([] {
        for (std::uint32_t n = 1; n <= kErrors; ++n) {
            while (ERRMyList().GetErrorCount() >= 1000) std::this_thread::yield();
            ERRAdd(ScriptedError(n));
        }
        return 0ul;
    });
    std::vector<int> seen(kErrors + 1, 0);
    CZelkErrorList collected;
    for (bool last = false; !last; collected.ClearErrors()) {
        last = worker.Thread().IsRunning() == 0;
        worker.Thread().GetErrorList().MoveErrorsTo(collected, nullptr);
        for (std::uint32_t n : Numbers(collected)) ++seen.at(n);
    }
    EXPECT_EQ(std::count(seen.begin() + 1, seen.end(), 1), kErrors);
}

// Up to a position; a full target takes no new number, and the rest stays.
TEST(Drain, BoundsAndAFullTarget) {
    CZelkErrorList source, target;
    for (std::uint32_t n : {3u, 5u, 9u}) source.AddError(ScriptedError(n));
    ErrorListPos const to(COrdinalNumber(6)), none;
    EXPECT_EQ(source.MoveErrorsTo(target, &none) + source.MoveErrorsTo(source, nullptr), 0u);
    EXPECT_EQ(source.MoveErrorsTo(target, &to), 2u);
    for (std::uint32_t n = 100; target.GetErrorCount() < 1000; ++n) target.AddError(ScriptedError(n));
    source.AddError(ScriptedError(7));
    EXPECT_EQ(source.MoveErrorsTo(target, nullptr), 0u);
    EXPECT_EQ(Numbers(source), (std::vector<std::uint32_t>{7, 9}));
}

// Threads take a lock with short limits: every take is exclusive, and the
// waits that ran out took nothing.  A held critical section times out too.
TEST(TimedWaits, SemaphoreUnderContention) {
    std::unique_ptr<CAbstractSemaphore> lock(CreateZelkSemaphore(1)), section(CreateZelkCriticalSection());
    long counter = 0;
    std::atomic<long> timedOut{0};
    auto const body = [&] {
        for (int i = 0; i < 2000; ++i) {
            if (LockZelkSemaphore(*lock, i % 3) == 0) {
                ++timedOut;
                continue;
            }
            ++counter;
            if (i % 100 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
            lock->Unlock();
        }
        return 0ul;
    };
    { LayerThread a(body), b(body), c(body); }
    EXPECT_EQ(counter + timedOut, 6000) << "a take that ran out took nothing; none overlapped";
    LayerThread holder([&] { return static_cast<unsigned long>(section->Lock() + lock->Lock()); });
    EXPECT_EQ(JoinZelkThread(holder.Thread(), ZelkInfinite), 2ul);
    EXPECT_EQ(LockZelkSemaphore(*lock, 20) + LockZelkSemaphore(*section, 20), 0);
}

// Two threads bat a signal to and fro, each waiting in short slices that
// mostly run out: no signal is lost and none is taken twice.
TEST(TimedWaits, SignalsAndJoin) {
    std::unique_ptr<CAbstractSignals> ping(CreateZelkSignals()), pong(CreateZelkSignals());
    constexpr int kRounds = 300;
    LayerThread partner([&] {
        for (int i = 0; i < kRounds; ++i, pong->Signal(1))
            while (WaitZelkSignals(*ping, 1, 1) == 0) continue;
        return WaitZelkSignals(MyZelkThread(), 2, ZelkInfinite);
    });
    for (int i = 0; i < kRounds; ++i)  // each round: signal, then wait in slices until the answer comes
        for (ping->Signal(1); WaitZelkSignals(*pong, 1, i % 2) == 0;) continue;
    EXPECT_EQ(ping->GetSignals() | pong->GetSignals(), 0ul);
    EXPECT_EQ(JoinZelkThread(partner.Thread(), 10), 259ul) << "waits for bit 2";
    partner.Thread().Signal(2);
    EXPECT_EQ(JoinZelkThread(partner.Thread(), 60000), 2ul);
    EXPECT_EQ(JoinZelkThread(partner.Thread(), 0), 0xFFFFFFFFul);
}

TEST(Codepage, BothWays) {
    // clang-format off
    std::string_view const cases[][2] = {{"Gr\xF6\xDF" "e \x80 \x81\x9F", "Gr\u00F6\u00DFe \u20AC \xC2\x81\u0178"},
                                         {std::string_view("a\0b", 3), std::string_view("a\0b", 3)}};
    // clang-format on
    for (auto const& c : cases) EXPECT_TRUE(Cp1252ToUtf8(c[0]) == c[1] && Utf8ToCp1252(c[1]) == c[0]) << c[0];
    // Missing from the page, cut, overlong, surrogate, past U+10FFFF, stray.
    EXPECT_EQ(Utf8ToCp1252("\u2192|\xE2\x82|\xC0\xAF|\xED\xA0\x80|\xF4\x90\x80\x80|\x80"), "?|??|??|???|????|?");
    char buffer[6];
    EXPECT_EQ(Cp1252ToUtf8("ab\x80", 3, buffer, 5), 5u);
    EXPECT_STREQ(buffer, "ab") << "whole characters only";
}

// The folder holds this very program.
TEST(Paths, ProgramFolder) {
    char folder[1024], path[1024];
    ASSERT_GT(GetProgramFolder(folder, sizeof folder) * GetNativePath(folder, path, sizeof path), 0u);
    EXPECT_TRUE(exists(std::filesystem::path(path) / "test_conveniences") ||
                exists(std::filesystem::path(path) / "test_conveniences.exe"))
        << path;
}

}  // namespace
