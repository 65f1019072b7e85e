// CZelkError: recorded values, copies, fatality, numbering across threads
// and the time stamp, through the exported interface.
#include "base_errors.h"
#include "layer_thread.h"
#include "tz_setting.h"

#include <zelk/error.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using zelk::test::RecodedError;
using zelk::test::TestError;

std::uint32_t Number(IZelkError const& error) { return error.GetOrdinalNumber().Get(); }

TEST(BaseError, RecordsWhatItWasMadeWith) {
    char file[] = "source/module.cpp";
    TestError const error(file, 314, -7);
    std::strcpy(file, "overwritten......");  // the error holds a copy of its own
    EXPECT_STREQ(error.GetErrorFile(), "source/module.cpp");
    EXPECT_EQ(error.GetLine(), 314);
    EXPECT_EQ(error.GetError(), -7);
    EXPECT_STREQ(error.GetTypeName(), "TestError");
    EXPECT_EQ(error.IsMessageTranslationEnabled(), 1);
    EXPECT_STREQ(error.GetThreadName(), "Main");
    EXPECT_NE(Number(error), 0u);
    // A null file name stays null, in copies too; a snapshot reads it as "".
    TestError const nameless(nullptr, 1, 1);
    EXPECT_EQ(TestError(nameless).GetErrorFile(), nullptr);
    EXPECT_STREQ(CErrorClone(nameless).GetErrorFile(), "");
    for (int code : {0, -1, 0x7FFFFFFF}) EXPECT_EQ(TestError("f.cpp", 1, code).GetErrorIcon(), 2) << code;
}

TEST(BaseError, Fatality) {
    struct Row {
        int code;
        bool setFatal;
        int fatalValue;
        int expected;
    } const rows[] = {
        {5, false, 0, 1}, {-1, false, 0, 1}, {0, false, 0, 0},  // code 0 is never fatal
        {5, true, 0, 0},  {5, true, 5, 1},   {5, true, -3, 1}, {0, true, 1, 0},
    };
    for (Row const& row : rows) {
        TestError error("f.cpp", 1, row.code);
        if (row.setFatal) {
            EXPECT_EQ(error.SetFatal(row.fatalValue), row.fatalValue);  // the new value, not the old
        }
        EXPECT_EQ(error.Fatal(), row.expected) << row.code << " set " << row.setFatal << " " << row.fatalValue;
    }
    // A derived class's GetError decides.
    EXPECT_EQ(RecodedError(0, 3).Fatal(), 1);
    EXPECT_EQ(RecodedError(3, 0).Fatal(), 0);
}

TEST(BaseError, CopiesShareTheNumberAndDrawNone) {
    auto original = std::make_unique<TestError>("copied.cpp", 9, 11);
    original->SetFatal(0);
    original->EnableMessageTranslation(0);
    TestError const copy(*original);
    TestError const next("next.cpp", 1, 1);
    EXPECT_EQ(Number(next), Number(*original) + 1);  // the copy drew no number

    EXPECT_EQ(Number(copy), Number(*original));
    EXPECT_EQ(copy.GetTime(), original->GetTime());
    EXPECT_EQ(copy.GetLine(), 9);
    EXPECT_EQ(copy.GetError(), 11);
    EXPECT_EQ(copy.Fatal(), 0);
    EXPECT_EQ(copy.IsMessageTranslationEnabled(), 0);
    EXPECT_NE(copy.GetErrorFile(), original->GetErrorFile());  // texts of its own
    original.reset();
    EXPECT_STREQ(copy.GetErrorFile(), "copied.cpp");
    EXPECT_STREQ(copy.GetThreadName(), "Main");

    TestError assigned("other.cpp", 2, 2);
    assigned = copy;
    EXPECT_EQ(Number(assigned), Number(copy));
    EXPECT_STREQ(assigned.GetErrorFile(), "copied.cpp");
    EXPECT_EQ(assigned.Fatal(), 0);
    TestError const withNull(nullptr, 3, 3);
    assigned = withNull;
    EXPECT_EQ(assigned.GetErrorFile(), nullptr);
    assigned = assigned;  // self-assignment keeps everything
    EXPECT_EQ(Number(assigned), Number(withNull));
}

// Numbers rise by one across all threads: every number drawn once, with no
// gaps, and in each thread in the order its errors were made.  Each error
// names the thread that made it: threads the library did not start are "Main".
TEST(BaseError, NumbersAreUniqueAcrossThreads) {
    constexpr int kThreads = 8;
    constexpr int kPerThread = 400;
    std::vector<std::vector<std::uint32_t>> numbers(kThreads);
    std::vector<std::string> names(kThreads);
    auto work = [&](int index) {
        for (int i = 0; i < kPerThread; ++i) {
            TestError const error("n.cpp", i, 1);
            numbers[index].push_back(Number(error));
            if (i == 0) names[index] = error.GetThreadName();
        }
        return 0ul;
    };
    std::uint32_t const first = Number(TestError("n.cpp", 0, 1));
    {
        std::vector<std::unique_ptr<zelk::test::LayerThread>> layer;
        std::vector<std::thread> host;
        for (int t = 0; t < kThreads; ++t) {
            if (t % 2 == 0) {
                layer.push_back(std::make_unique<zelk::test::LayerThread>([&work, t] { return work(t); }));
            } else {
                host.emplace_back([&work, t] { work(t); });
            }
        }
        for (auto& thread : host) thread.join();
    }
    std::uint32_t const last = Number(TestError("n.cpp", 0, 1));
    std::vector<std::uint32_t> all;
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(names[t], t % 2 == 0 ? "layer test thread" : "Main") << t;
    for (auto const& mine : numbers) {
        ASSERT_EQ(mine.size(), std::size_t(kPerThread));
        EXPECT_TRUE(std::is_sorted(mine.begin(), mine.end()));
        all.insert(all.end(), mine.begin(), mine.end());
    }
    std::sort(all.begin(), all.end());
    EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end());
    EXPECT_EQ(all.front(), first + 1);
    EXPECT_EQ(all.back(), first + kThreads * kPerThread);
    EXPECT_EQ(last, all.back() + 1);
}

// The stamp is the calendar time at construction, to the second.  In the
// hour that the end of daylight saving time repeats, local time names two
// instants an hour apart, and either reading is right.
bool StampMatches(long stamp, std::time_t before, std::time_t after) {
    auto const local = [](long t) {
        std::time_t const instant = t;
        std::tm const parts = *std::localtime(&instant);
        return parts.tm_mday * 10000 + parts.tm_hour * 100 + parts.tm_min;
    };
    for (long shift : {0L, -3600L, 3600L}) {
        long const candidate = stamp + shift;
        if (candidate >= static_cast<long>(before) && candidate <= static_cast<long>(after))
            return shift == 0 || local(stamp) == local(candidate);
    }
    return false;
}

TEST(BaseError, TimeStampIsNow) {
    std::vector<char const*> zones(std::begin(zelk::test::kTimeZones), std::end(zelk::test::kTimeZones));
    zones.push_back(nullptr);  // and with TZ unset
    for (char const* zone : zones) {
        SCOPED_TRACE(zone ? zone : "unset");
        zelk::test::ScopedTimeZone const setting(zone);
        std::time_t const before = std::time(nullptr);
        TestError const error("t.cpp", 1, 1);
        std::time_t const after = std::time(nullptr);
        EXPECT_TRUE(StampMatches(error.GetTime(), before, after))
            << error.GetTime() << " not in [" << before << ", " << after << "]";
    }
}

}  // namespace
