#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// Dates as the stored formats and the runtime keep them: a double counting days since
// 1899-12-30 00:00 local time, the fraction being the time of day. Before that day the
// whole part is negative and the fraction still counts forward from midnight
// (-1.25 is 1899-12-29 06:00).

/// Local date-time of a Unix time (seconds and nanoseconds since 1970 UTC).
double DateTimeFromUnix(int64_t seconds, int64_t nanoseconds = 0);

/// Unix time (seconds, rounded) of a local date-time.
int64_t UnixFromDateTime(double dateTime);

/// The local date-time now.
double NowDateTime();

/// "yyyy/mm/dd hh:mm:ss", the form in which dates are shown.
std::string DateTimeText(double dateTime);
/// DateTimeText written into `out`, without an allocation: a search prints a date for each
/// of a million hits. The view points into `out`.
struct DateTimeBuffer {
    char text[48];
};
std::string_view DateTimeText(double dateTime, DateTimeBuffer& out);
