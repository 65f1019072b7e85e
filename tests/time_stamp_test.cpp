// The time stamp's text-to-time step: the shape checks and the year rule
// directly, and the round trip through local time on every day of a year.
#include "tz_setting.h"

#include "errors/time_stamp.h"
#include "platform/local_time.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <utility>
#include <vector>

namespace {

struct ParseCase {
    char const* time;
    char const* date;
    int hour, minute, second, month, day, year;  // the tm fields it gives
};

TEST(TimeStampText, ShapesAndYearRule) {
    ParseCase const good[] = {
        {"13:45:09", "07/04/26", 13, 45, 9, 6, 4, 126},
        {"00:00:00", "01/01/69", 0, 0, 0, 0, 1, 169},  // 69 is 2069
        {"23:59:59", "12/31/70", 23, 59, 59, 11, 31, 70},  // 70 is 1970
        {"12:00:00", "02/28/99", 12, 0, 0, 1, 28, 99},
        {"12:00:00", "02/29/00", 12, 0, 0, 1, 29, 100},
        {"01:02:03", "03/04/2005", 1, 2, 3, 2, 4, 2005},  // a longer date: the year is read on
        {"ab:cd:ef", "xy/zw/qq", 0, 0, 0, -1, 0, 100},  // non-digits read as 0
    };
    for (ParseCase const& c : good) {
        SCOPED_TRACE(std::string(c.time) + " " + c.date);
        std::tm broken{};
        broken.tm_wday = 5;
        ASSERT_TRUE(zelk::ParseTimeStampText(c.time, c.date, broken));
        EXPECT_EQ((std::vector<int>{broken.tm_hour, broken.tm_min, broken.tm_sec, broken.tm_mon, broken.tm_mday,
                                    broken.tm_year, broken.tm_isdst, broken.tm_wday, broken.tm_yday}),
                  (std::vector<int>{c.hour, c.minute, c.second, c.month, c.day, c.year, -1, 0, 0}));
    }
    char const* const bad[][2] = {
        {"1:02:03", "01/01/26"},  {"01:02:034", "01/01/26"}, {"01-02:03", "01/01/26"}, {"01:02-03", "01/01/26"},
        {"01:02:03", "01/01/2"},  {"01:02:03", "01-01/26"},  {"01:02:03", "01/01-26"}, {"01:02:03", "2026-01-01"},
        {"", ""},                 {nullptr, "01/01/26"},     {"01:02:03", nullptr},
    };
    for (auto const& texts : bad) {
        std::tm broken{};
        broken.tm_wday = 5;  // stays unless parsed
        EXPECT_FALSE(zelk::ParseTimeStampText(texts[0], texts[1], broken)) << (texts[0] ? texts[0] : "null");
        EXPECT_EQ(broken.tm_wday, 5);
    }
}

// The local date and time texts of the instant `t`, as the stamp reads them.
std::pair<std::string, std::string> LocalTexts(std::time_t t) {
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &t);
#else
    localtime_r(&t, &local);
#endif
    char timeText[9];
    char dateText[9];
    std::strftime(timeText, sizeof timeText, "%H:%M:%S", &local);
    std::strftime(dateText, sizeof dateText, "%m/%d/%y", &local);
    return {dateText, timeText};
}

// What the stamp would be for the instant `t`: local texts, parsed, converted.
long StampFor(std::time_t t) {
    auto const [date, time] = LocalTexts(t);
    std::tm broken{};
    long long calendar = 0;
    if (!zelk::ParseTimeStampText(time.c_str(), date.c_str(), broken) || !zelk::os::LocalToCalendar(broken, calendar))
        return -1;
    return static_cast<long>(calendar);
}

// Every day of the year, at hours around the usual switches of daylight
// saving time, in zones with and without it: the stamp is the instant, or
// an hour off only where local time repeats that hour.
TEST(TimeStampText, RoundTripOnEveryDayOfTheYear) {
    std::time_t const start = std::time(nullptr);
    for (char const* zone : zelk::test::kTimeZones) {
        SCOPED_TRACE(zone);
        zelk::test::ScopedTimeZone const setting(zone);
        zelk::os::RefreshTimeZone();
        int mismatches = 0;
        for (int day = 0; day < 366; ++day) {
            for (int seconds : {0, 3600 + 1800, 2 * 3600 + 1, 2 * 3600 + 1799, 12 * 3600, 23 * 3600 + 3599}) {
                std::time_t const t = start - start % 86400 + std::time_t(day) * 86400 + seconds;
                long const stamp = StampFor(t);
                if (stamp == static_cast<long>(t)) continue;
                bool const repeatedHour = (stamp == t - 3600 || stamp == t + 3600) &&
                                          LocalTexts(static_cast<std::time_t>(stamp)) == LocalTexts(t);
                if (!repeatedHour && ++mismatches < 5) ADD_FAILURE() << "t=" << t << " stamp=" << stamp;
            }
        }
        EXPECT_EQ(mismatches, 0);
    }
    zelk::os::RefreshTimeZone();
}

TEST(TimeStampText, TakeTimeStampIsNow) {
    std::time_t const before = std::time(nullptr);
    long const stamp = zelk::TakeTimeStamp();
    std::time_t const after = std::time(nullptr);
    EXPECT_GE(stamp, static_cast<long>(before) - 3600);
    EXPECT_LE(stamp, static_cast<long>(after) + 3600);
    EXPECT_EQ(StampFor(static_cast<std::time_t>(stamp)), stamp);  // a stamp names a local time exactly
}

}  // namespace
