#include "platform/local_time.h"

#include "platform/win32/win32.h"

#include <time.h>

namespace zelk::os {

void RefreshTimeZone() { ::_tzset(); }

void LocalTimeAndDate(char (&timeText)[9], char (&dateText)[9]) {
    __time64_t const now = ::_time64(nullptr);
    struct tm local {};
    if (::_localtime64_s(&local, &now) != 0 || ::strftime(timeText, sizeof timeText, "%H:%M:%S", &local) != 8 ||
        ::strftime(dateText, sizeof dateText, "%m/%d/%y", &local) != 8) {
        // Texts of the wrong shape: the caller falls back to the current time.
        timeText[0] = '\0';
        dateText[0] = '\0';
    }
}

bool LocalToCalendar(std::tm& broken, long long& calendar) {
    __time64_t const result = ::_mktime64(&broken);
    if (result == static_cast<__time64_t>(-1)) return false;
    calendar = static_cast<long long>(result);
    return true;
}

long long CurrentCalendarTime() { return static_cast<long long>(::_time64(nullptr)); }

}  // namespace zelk::os
