#include "platform/local_time.h"

#include <time.h>

#include <mutex>

namespace zelk::os {

namespace {

// glibc re-reads the zone and replaces its zone strings inside tzset, and
// mktime and localtime_r call into the same code; it guards that with an
// internal lock that ThreadSanitizer cannot see.  Our own lock around every
// call makes the order visible, and keeps errors made on many threads at
// once from racing even on a C library without that lock.
std::mutex& ZoneLock() {
    static std::mutex lock;
    return lock;
}

}  // namespace

void RefreshTimeZone() {
    std::lock_guard<std::mutex> guard(ZoneLock());
    ::tzset();
}

void LocalTimeAndDate(char (&timeText)[9], char (&dateText)[9]) {
    time_t const now = ::time(nullptr);
    struct tm local {};
    bool converted = false;
    {
        std::lock_guard<std::mutex> guard(ZoneLock());
        converted = ::localtime_r(&now, &local) != nullptr;
    }
    if (!converted || ::strftime(timeText, sizeof timeText, "%H:%M:%S", &local) != 8 ||
        ::strftime(dateText, sizeof dateText, "%m/%d/%y", &local) != 8) {
        // Texts of the wrong shape: the caller falls back to the current time.
        timeText[0] = '\0';
        dateText[0] = '\0';
    }
}

bool LocalToCalendar(std::tm& broken, long long& calendar) {
    time_t result;
    {
        std::lock_guard<std::mutex> guard(ZoneLock());
        result = ::mktime(&broken);
    }
    if (result == static_cast<time_t>(-1)) return false;
    calendar = static_cast<long long>(result);
    return true;
}

long long CurrentCalendarTime() { return static_cast<long long>(::time(nullptr)); }

}  // namespace zelk::os
