// The time stamp's text-to-time step: the shape checks and the year rule
// directly, and the round trip through local time on every day of a year.
#include "tz_setting.h"

#include "errors/time_stamp.h"
#include "platform/local_time.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>

namespace {

struct ParseCase {
    char const* name;
    char const* time;
    char const* date;
    bool ok;
    int hour, minute, second, month, day, year;  // tm fields when ok
};

ParseCase const kParseCases[] = {
    {"ordinary", "13:45:09", "07/04/26", true, 13, 45, 9, 6, 4, 126},
    {"69 is 2069", "00:00:00", "01/01/69", true, 0, 0, 0, 0, 1, 169},
    {"70 is 1970", "23:59:59", "12/31/70", true, 23, 59, 59, 11, 31, 70},
    {"99 is 1999", "12:00:00", "02/28/99", true, 12, 0, 0, 1, 28, 99},
    {"00 is 2000", "12:00:00", "02/29/00", true, 12, 0, 0, 1, 29, 100},
    {"longer date: year read on", "01:02:03", "03/04/2005", true, 1, 2, 3, 2, 4, 2005},
    {"non-digits read as 0", "ab:cd:ef", "xy/zw/qq", true, 0, 0, 0, -1, 0, 100},
    {"time too short", "1:02:03", "01/01/26", false, 0, 0, 0, 0, 0, 0},
    {"time too long", "01:02:034", "01/01/26", false, 0, 0, 0, 0, 0, 0},
    {"time without colon at 2", "01-02:03", "01/01/26", false, 0, 0, 0, 0, 0, 0},
    {"time without colon at 5", "01:02-03", "01/01/26", false, 0, 0, 0, 0, 0, 0},
    {"date too short", "01:02:03", "01/01/2", false, 0, 0, 0, 0, 0, 0},
    {"date without slash at 2", "01:02:03", "01-01/26", false, 0, 0, 0, 0, 0, 0},
    {"date without slash at 5", "01:02:03", "01/01-26", false, 0, 0, 0, 0, 0, 0},
    {"ISO date", "01:02:03", "2026-01-01", false, 0, 0, 0, 0, 0, 0},
    {"empty texts", "", "", false, 0, 0, 0, 0, 0, 0},
};

TEST(TimeStampText, ShapesAndYearRule) {
    for (ParseCase const& c : kParseCases) {
        SCOPED_TRACE(c.name);
        std::tm broken{};
        broken.tm_wday = 5;  // stays unless parsed
        bool const ok = zelk::ParseTimeStampText(c.time, c.date, broken);
        ASSERT_EQ(ok, c.ok);
        if (!ok) {
            EXPECT_EQ(broken.tm_wday, 5);
            continue;
        }
        EXPECT_EQ(broken.tm_hour, c.hour);
        EXPECT_EQ(broken.tm_min, c.minute);
        EXPECT_EQ(broken.tm_sec, c.second);
        EXPECT_EQ(broken.tm_mon, c.month);
        EXPECT_EQ(broken.tm_mday, c.day);
        EXPECT_EQ(broken.tm_year, c.year);
        EXPECT_EQ(broken.tm_isdst, -1);
        EXPECT_EQ(broken.tm_wday, 0);
        EXPECT_EQ(broken.tm_yday, 0);
    }
    std::tm broken{};
    EXPECT_FALSE(zelk::ParseTimeStampText(nullptr, "01/01/26", broken));
    EXPECT_FALSE(zelk::ParseTimeStampText("01:02:03", nullptr, broken));
}

// The local time and date texts of the instant `t`.
void LocalTexts(std::time_t t, char (&timeText)[9], char (&dateText)[9]) {
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &t);
#else
    localtime_r(&t, &local);
#endif
    std::strftime(timeText, sizeof timeText, "%H:%M:%S", &local);
    std::strftime(dateText, sizeof dateText, "%m/%d/%y", &local);
}

std::string LocalText(std::time_t t) {
    char timeText[9];
    char dateText[9];
    LocalTexts(t, timeText, dateText);
    return std::string(dateText) + " " + timeText;
}

// What the stamp would be for the instant `t`: local texts, parsed, converted.
long StampFor(std::time_t t) {
    char timeText[9];
    char dateText[9];
    LocalTexts(t, timeText, dateText);
    std::tm broken{};
    if (!zelk::ParseTimeStampText(timeText, dateText, broken)) return -1;
    long long calendar = 0;
    if (!zelk::os::LocalToCalendar(broken, calendar)) return -1;
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
                                          LocalText(static_cast<std::time_t>(stamp)) == LocalText(t);
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
