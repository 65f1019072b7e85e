// The time stamp of a base error: the local time and date read as text,
// parsed, and converted back to calendar time as local time.
#pragma once

#include <ctime>

namespace zelk {

// The pure step: fills `broken` from a time text "hh:mm:ss" and a date text
// "mm/dd/yy" and returns true, or returns false (leaving `broken` alone) when
// the time text is not exactly 8 characters with ':' at 2 and 5, or the date
// text is shorter than 8 characters or lacks '/' at 2 and 5.  A two-digit
// year below 70 is 20yy, any other 19yy.  Daylight saving time is left for
// the conversion to decide (-1); the fields not named are 0.
bool ParseTimeStampText(char const* timeText, char const* dateText, std::tm& broken);

// The whole algorithm: refresh the time zone, read the texts, parse, convert;
// the current calendar time when the texts have the wrong shape or the
// conversion fails.
long TakeTimeStamp();

}  // namespace zelk
