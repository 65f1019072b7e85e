// CZelkError: recorded values, copies, fatality and numbering across
// threads, through the exported interface.
#include "layer_thread.h"
#include "test_errors.h"

#include <zelk/error.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using zelk::test::TestError;

std::uint32_t Number(IZelkError const& error) { return error.GetOrdinalNumber().Get(); }

// The error keeps texts of its own; a copy shares the number and draws none,
// and keeps the flags as they were set.
TEST(BaseError, RecordsAndCopies) {
    char file[] = "source/module.cpp";
    auto original = std::make_unique<TestError>(file, 314, -7);
    std::strcpy(file, "overwritten......");
    EXPECT_STREQ(original->GetErrorFile(), "source/module.cpp");
    EXPECT_EQ(original->IsMessageTranslationEnabled(), 1);
    EXPECT_EQ(original->GetErrorIcon(), ZelkErrorIconError);
    EXPECT_STREQ(original->GetThreadName(), "Main");
    original->SetFatal(0);
    original->EnableMessageTranslation(0);
    TestError const copy(*original);
    EXPECT_EQ(Number(TestError("next.cpp", 1, 1)), Number(*original) + 1);  // the copy drew no number
    EXPECT_EQ(Number(copy), Number(*original));
    EXPECT_EQ(copy.GetTime(), original->GetTime());
    EXPECT_EQ(copy.Fatal(), 0);
    EXPECT_EQ(copy.IsMessageTranslationEnabled(), 0);
    EXPECT_NE(copy.GetErrorFile(), original->GetErrorFile());
    original.reset();
    EXPECT_STREQ(copy.GetErrorFile(), "source/module.cpp");

    TestError assigned("other.cpp", 2, 2);
    assigned = copy;
    EXPECT_EQ(Number(assigned), Number(copy));
    EXPECT_STREQ(assigned.GetErrorFile(), "source/module.cpp");
    EXPECT_EQ(assigned.Fatal(), 0);
    // A null file name stays null, in copies too; a snapshot reads it as "".
    TestError const nameless(nullptr, 3, 3);
    assigned = nameless;
    EXPECT_EQ(assigned.GetErrorFile(), nullptr);
    EXPECT_EQ(TestError(nameless).GetErrorFile(), nullptr);
    EXPECT_STREQ(CErrorClone(nameless).GetErrorFile(), "");
    assigned = assigned;
    EXPECT_EQ(Number(assigned), Number(nameless));
}

// Code 0 is never fatal; SetFatal returns the new value; a derived class's
// GetError decides.
TEST(BaseError, Fatality) {
    struct RecodedError : TestError {
        RecodedError(int stored, int reported) : TestError("recoded.cpp", 1, stored), m_reported(reported) {}
        int GetError() const override { return m_reported; }
        int m_reported;
    };
    struct {
        int code;
        bool setFatal;
        int fatalValue, expected;
    } const rows[] = {{5, false, 0, 1}, {-1, false, 0, 1}, {0, false, 0, 0}, {5, true, 0, 0},
                      {5, true, 5, 1},  {5, true, -3, 1},  {0, true, 1, 0}};
    for (auto const& row : rows) {
        TestError error("f.cpp", 1, row.code);
        if (row.setFatal) {
            EXPECT_EQ(error.SetFatal(row.fatalValue), row.fatalValue);  // the new value, not the old
        }
        EXPECT_EQ(error.Fatal(), row.expected) << row.code << " set " << row.setFatal << " " << row.fatalValue;
    }
    EXPECT_EQ(RecodedError(0, 3).Fatal(), 1);
    EXPECT_EQ(RecodedError(3, 0).Fatal(), 0);
}

// Numbers rise by one across all threads: every number drawn once, with no
// gaps, and in each thread in the order its errors were made.  Each error
// names the thread that made it: threads the library did not start are "Main".
TEST(BaseError, NumbersAreUniqueAcrossThreads) {
    constexpr int kThreads = 8, kPerThread = 400;
    std::vector<std::vector<std::uint32_t>> numbers(kThreads);
    std::vector<std::string> names(kThreads);
    auto work = [&](int index) {
        for (int i = 0; i < kPerThread; ++i) {
            TestError const error("n.cpp", i, 1);
            numbers[index].push_back(Number(error));
            names[index] = error.GetThreadName();
        }
        return 0ul;
    };
    std::uint32_t const first = Number(TestError("n.cpp", 0, 1));
    {
        std::vector<std::unique_ptr<zelk::test::LayerThread>> layer;
        std::vector<std::thread> host;
        for (int t = 0; t < kThreads; t += 2) {
            layer.push_back(std::make_unique<zelk::test::LayerThread>([&work, t] { return work(t); }));
            host.emplace_back([&work, t] { work(t + 1); });
        }
        for (auto& thread : host) thread.join();
    }
    std::vector<std::uint32_t> all;
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(names[t], t % 2 == 0 ? "layer test thread" : "Main") << t;
        EXPECT_TRUE(std::is_sorted(numbers[t].begin(), numbers[t].end()));
        all.insert(all.end(), numbers[t].begin(), numbers[t].end());
    }
    std::sort(all.begin(), all.end());
    ASSERT_EQ(all.size(), std::size_t(kThreads * kPerThread));
    EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end());
    EXPECT_EQ(all.front(), first + 1);
    EXPECT_EQ(all.back(), first + kThreads * kPerThread);
    EXPECT_EQ(Number(TestError("n.cpp", 0, 1)), all.back() + 1);
}

}  // namespace
