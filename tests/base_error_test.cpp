// CZelkError: recorded values, copies, fatality and numbering across
// threads, through the exported interface.
#include "layer_thread.h"
#include "test_errors.h"

#include <zelk/error.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using zelk::test::TestError;

std::uint32_t Number(IZelkError const& error) { return error.GetOrdinalNumber().Get(); }

// Everything but the file name, as a reader through the interface sees it.
std::vector<std::string> Fields(IZelkError const& e) {
    return {std::to_string(Number(e)),
            e.GetTypeName(),
            std::to_string(e.GetError()),
            std::to_string(e.GetLine()),
            std::to_string(e.GetTime()),
            std::to_string(e.GetErrorIcon()),
            std::to_string(e.Fatal()),
            std::to_string(e.IsMessageTranslationEnabled()),
            e.GetThreadName()};
}

// The error keeps texts of its own; a copy shares the number and draws none,
// and keeps the flags as they were set; a snapshot reads alike.
TEST(BaseError, RecordsAndCopies) {
    char file[] = "source/module.cpp";
    auto original = std::make_unique<TestError>(file, 314, -7);
    std::strcpy(file, "overwritten......");
    EXPECT_STREQ(original->GetErrorFile(), "source/module.cpp");
    EXPECT_EQ(original->GetErrorIcon(), ZelkErrorIconError);
    EXPECT_EQ(Fields(CErrorClone(*original)), Fields(*original));
    original->SetFatal(0);
    original->EnableMessageTranslation(0);
    TestError const copy(*original);
    EXPECT_EQ(Number(TestError("next.cpp", 1, 1)), Number(*original) + 1);  // the copy drew no number
    EXPECT_EQ(Fields(copy), Fields(*original));
    original.reset();
    EXPECT_STREQ(copy.GetErrorFile(), "source/module.cpp");

    TestError assigned("other.cpp", 2, 2);
    assigned = copy;
    EXPECT_EQ(Fields(assigned), Fields(copy));
    // A null file name stays null, in copies too; a snapshot reads it as "".
    TestError const nameless(nullptr, 3, 0);
    assigned = nameless;
    EXPECT_EQ(assigned.GetErrorFile(), nullptr);
    EXPECT_EQ(TestError(nameless).GetErrorFile(), nullptr);
    CErrorClone const snapshot(nameless);
    EXPECT_STREQ(snapshot.GetErrorFile(), "");
    EXPECT_EQ(Fields(snapshot), Fields(nameless));
    EXPECT_EQ(nameless.GetErrorIcon(), ZelkErrorIconError);  // whatever the code
}

// Code 0 is never fatal; SetFatal returns the new value; a derived class's
// GetError decides.
TEST(BaseError, Fatality) {
    struct RecodedError : TestError {
        RecodedError(int stored, int reported) : TestError("recoded.cpp", 1, stored), m_reported(reported) {}
        int GetError() const override { return m_reported; }
        int m_reported;
    };
    constexpr int kUnset = -99;
    int const rows[][3] = {{5, kUnset, 1}, {0, kUnset, 0}, {5, 0, 0}, {5, 5, 1}, {0, 1, 0}};  // code, SetFatal, Fatal
    for (auto const& row : rows) {
        TestError error("f.cpp", 1, row[0]);
        EXPECT_EQ(row[1] == kUnset ? kUnset : error.SetFatal(row[1]), row[1]);  // the new value, not the old
        EXPECT_EQ(error.Fatal(), row[2]) << row[0] << " set " << row[1];
    }
    EXPECT_EQ(RecodedError(0, 3).Fatal(), 1);
    EXPECT_EQ(RecodedError(3, 0).Fatal(), 0);
}

// Numbers rise by one across all threads: every number drawn once, with no
// gaps, and in each thread in the order its errors were made.  Each error
// names the thread that made it: threads the library did not start are "Main".
TEST(BaseError, NumbersAreUniqueAcrossThreads) {
    constexpr int kThreads = 4, kPerThread = 300;
    std::vector<std::vector<std::uint32_t>> numbers(kThreads);
    std::atomic<int> misnamed{0};
    auto work = [&](int index, char const* name) {
        for (int i = 0; i < kPerThread; ++i) {
            TestError const error("n.cpp", i, 1);
            numbers[index].push_back(Number(error));
            misnamed += std::string(error.GetThreadName()) != name;
        }
        return 0ul;
    };
    std::uint32_t const first = Number(TestError("n.cpp", 0, 1));
    {
        std::vector<std::unique_ptr<zelk::test::LayerThread>> layer;
        std::vector<std::thread> host;
        for (int t = 0; t < kThreads; t += 2) {
            layer.push_back(
                std::make_unique<zelk::test::LayerThread>([&work, t] { return work(t, "layer test thread"); }));
            host.emplace_back(work, t + 1, "Main");
        }
        for (auto& thread : host) thread.join();
    }
    EXPECT_EQ(misnamed.load(), 0);
    std::vector<std::uint32_t> all;
    for (auto const& own : numbers) {
        EXPECT_TRUE(std::is_sorted(own.begin(), own.end()));
        all.insert(all.end(), own.begin(), own.end());
    }
    std::sort(all.begin(), all.end());
    EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end());
    EXPECT_EQ(all.front(), first + 1);
    EXPECT_EQ(all.back(), first + kThreads * kPerThread);
}

}  // namespace
