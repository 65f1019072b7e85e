#include "errors/time_stamp.h"

#include "platform/local_time.h"

#include <cstring>

namespace zelk {

namespace {

// The decimal number at the start of text[begin, end), as atoi reads one:
// digits up to the first other character; none give 0.
int Decimal(char const* text, std::size_t begin, std::size_t end) {
    int value = 0;
    for (std::size_t i = begin; i < end && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value > 100000) break;  // a run of digits longer than any field: stop before overflow
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

}  // namespace

bool ParseTimeStampText(char const* timeText, char const* dateText, std::tm& broken) {
    if (timeText == nullptr || dateText == nullptr) return false;
    std::size_t const dateLength = std::strlen(dateText);
    if (std::strlen(timeText) != 8 || timeText[2] != ':' || timeText[5] != ':') return false;
    if (dateLength < 8 || dateText[2] != '/' || dateText[5] != '/') return false;

    int const year = Decimal(dateText, 6, dateLength);
    std::tm parsed{};
    parsed.tm_hour = Decimal(timeText, 0, 2);
    parsed.tm_min = Decimal(timeText, 3, 5);
    parsed.tm_sec = Decimal(timeText, 6, 8);
    parsed.tm_mon = Decimal(dateText, 0, 2) - 1;
    parsed.tm_mday = Decimal(dateText, 3, 5);
    parsed.tm_year = year < 70 ? year + 100 : year;
    parsed.tm_isdst = -1;
    broken = parsed;
    return true;
}

long TakeTimeStamp() {
    os::RefreshTimeZone();
    char timeText[9];
    char dateText[9];
    os::LocalTimeAndDate(timeText, dateText);
    std::tm broken{};
    long long calendar = 0;
    if (!ParseTimeStampText(timeText, dateText, broken) || !os::LocalToCalendar(broken, calendar)) {
        calendar = os::CurrentCalendarTime();
    }
    // `long` is 32 bits on Windows, where the stamp has always been a 32-bit
    // count; 64-bit POSIX keeps the whole value.
    return static_cast<long>(calendar);
}

}  // namespace zelk
