// The run time's local clock and calendar, as error time stamps use them.
#pragma once

#include <ctime>

namespace zelk::os {

// Brings the run time's time-zone settings up to date from the environment
// (TZ), so a change of zone made while the process runs counts.
void RefreshTimeZone();

// The local time of day as "hh:mm:ss" (hours 00 to 23) and the local date as
// "mm/dd/yy", both of one and the same instant, so an error made at midnight
// never pairs one day's date with the other day's time.
void LocalTimeAndDate(char (&timeText)[9], char (&dateText)[9]);

// Converts a broken-down local time to seconds since 1970-01-01 00:00:00 UTC
// (the run time's mktime); false when the run time cannot represent it.
bool LocalToCalendar(std::tm& broken, long long& calendar);

// The current calendar time in seconds.
long long CurrentCalendarTime();

}  // namespace zelk::os
