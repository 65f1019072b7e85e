// The time stamp: the text-to-time step (shape checks and the year rule),
// the round trip through local time on every day of a year, and the stamp a
// new error takes, in zones with daylight saving time.
#include "test_errors.h"
#include "tz_setting.h"

#include "errors/time_stamp.h"
#include "platform/local_time.h"

#include <gtest/gtest.h>

#include <ctime>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace {

TEST(TimeStampText, ShapesAndYearRule) {
    struct {
        char const *time, *date;
        std::vector<int> fields;  // hour, minute, second, month, day, year, isdst
    } const good[] = {
        {"13:45:09", "07/04/26", {13, 45, 9, 6, 4, 126, -1}},
        {"00:00:00", "01/01/69", {0, 0, 0, 0, 1, 169, -1}},  // 69 is 2069
        {"23:59:59", "12/31/70", {23, 59, 59, 11, 31, 70, -1}},  // 70 is 1970
        {"01:02:03", "03/04/2005", {1, 2, 3, 2, 4, 2005, -1}},  // a longer date: the year is read on
        {"ab:cd:ef", "xy/zw/qq", {0, 0, 0, -1, 0, 100, -1}},  // non-digits read as 0
    };
    for (auto const& c : good) {
        std::tm broken{};
        ASSERT_TRUE(zelk::ParseTimeStampText(c.time, c.date, broken)) << c.time << " " << c.date;
        EXPECT_EQ((std::vector<int>{broken.tm_hour, broken.tm_min, broken.tm_sec, broken.tm_mon, broken.tm_mday,
                                    broken.tm_year, broken.tm_isdst}),
                  c.fields)
            << c.time << " " << c.date;
    }
    char const* const bad[][2] = {{"1:02:03", "01/01/26"},  {"01-02:03", "01/01/26"}, {"01:02:03", "01/01/2"},
                                  {"01:02:03", "01-01/26"}, {nullptr, "01/01/26"},    {"01:02:03", nullptr}};
    for (auto const& texts : bad) {
        std::tm broken{};
        broken.tm_wday = 5;  // stays unless parsed
        EXPECT_FALSE(zelk::ParseTimeStampText(texts[0], texts[1], broken)) << (texts[0] ? texts[0] : "null");
        EXPECT_EQ(broken.tm_wday, 5);
    }
}

// The local date and time texts of the instant `t`, as the stamp reads them.
std::pair<std::string, std::string> LocalTexts(std::time_t t) {
    std::tm const local = *std::localtime(&t);  // the tests run it on one thread
    char timeText[9], dateText[9];
    std::strftime(timeText, sizeof timeText, "%H:%M:%S", &local);
    std::strftime(dateText, sizeof dateText, "%m/%d/%y", &local);
    return {dateText, timeText};
}

// The stamp is the instant `t`, or an hour off where local time repeats that
// hour (the end of daylight saving time names two instants alike).
bool SameLocalTime(long stamp, std::time_t t) {
    return stamp == static_cast<long>(t) ||
           ((stamp == t - 3600 || stamp == t + 3600) && LocalTexts(static_cast<std::time_t>(stamp)) == LocalTexts(t));
}

// Every day of the year, at hours around the usual switches of daylight
// saving time: local texts, parsed and converted, give the instant back.  A
// new error's stamp is the calendar time at construction, to the second.
TEST(TimeStampText, RoundTripOnEveryDayOfTheYearAndNewErrors) {
    std::vector<char const*> zones(std::begin(zelk::test::kTimeZones), std::end(zelk::test::kTimeZones));
    zones.push_back(nullptr);
    for (char const* zone : zones) {
        SCOPED_TRACE(zone ? zone : "unset");
        zelk::test::ScopedTimeZone const setting(zone);
        std::time_t const before = std::time(nullptr);
        zelk::test::TestError const error("t.cpp", 1, 1);  // the error itself must see the new zone
        std::time_t const after = std::time(nullptr);
        zelk::os::RefreshTimeZone();
        bool matched = false;
        for (std::time_t t = before; t <= after; ++t) matched = matched || SameLocalTime(error.GetTime(), t);
        EXPECT_TRUE(matched) << error.GetTime() << " not in [" << before << ", " << after << "]";
        int mismatches = 0;
        for (int day = 0; day < 366; ++day) {
            for (int seconds : {3600 + 1800, 2 * 3600 + 1, 2 * 3600 + 1799, 12 * 3600}) {
                std::time_t const t = before - before % 86400 + std::time_t(day) * 86400 + seconds;
                auto const [date, time] = LocalTexts(t);
                std::tm broken{};
                long long calendar = -1;
                if (!zelk::ParseTimeStampText(time.c_str(), date.c_str(), broken) ||
                    !zelk::os::LocalToCalendar(broken, calendar) || !SameLocalTime(static_cast<long>(calendar), t)) {
                    if (++mismatches < 5) ADD_FAILURE() << "t=" << t << " stamp=" << calendar;
                }
            }
        }
        EXPECT_EQ(mismatches, 0);
    }
    zelk::os::RefreshTimeZone();
}

}  // namespace
