#include "platform/local_time.h"

#include <time.h>

namespace zelk::os {

void RefreshTimeZone() { ::tzset(); }

void LocalTimeAndDate(char (&timeText)[9], char (&dateText)[9]) {
    time_t const now = ::time(nullptr);
    struct tm local {};
    if (::localtime_r(&now, &local) == nullptr ||
        ::strftime(timeText, sizeof timeText, "%H:%M:%S", &local) != 8 ||
        ::strftime(dateText, sizeof dateText, "%m/%d/%y", &local) != 8) {
        // Texts of the wrong shape: the caller falls back to the current time.
        timeText[0] = '\0';
        dateText[0] = '\0';
    }
}

bool LocalToCalendar(std::tm& broken, long long& calendar) {
    time_t const result = ::mktime(&broken);
    if (result == static_cast<time_t>(-1)) return false;
    calendar = static_cast<long long>(result);
    return true;
}

long long CurrentCalendarTime() { return static_cast<long long>(::time(nullptr)); }

}  // namespace zelk::os
