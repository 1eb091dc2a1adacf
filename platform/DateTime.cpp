#include "platform/DateTime.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

constexpr int64_t SecondsPerDay = 86400;

// Days from 1970-01-01 of a civil date (proleptic Gregorian), and back.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int64_t* y, unsigned* m, unsigned* d)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    *d = doy - (153 * mp + 2) / 5 + 1;
    *m = mp < 10 ? mp + 3 : mp - 9;
    *y = static_cast<int64_t>(yoe) + era * 400 + (*m <= 2);
}

const int64_t EpochDay = DaysFromCivil(1899, 12, 30);

// Splits a date-time into its day (from 1899-12-30) and seconds of that day.
void Split(double dateTime, int64_t* day, double* seconds)
{
    const double whole = std::trunc(dateTime);
    *day = static_cast<int64_t>(whole);
    *seconds = std::fabs(dateTime - whole) * SecondsPerDay;
}

struct Civil {
    int64_t year = 0;
    unsigned month = 0;
    unsigned day = 0;
    int64_t seconds = 0;  // of the day
};

// The calendar date and whole seconds of a date-time, after adding `round` seconds
// (which may reach the next midnight).
Civil ToCivil(double dateTime, double round)
{
    int64_t day = 0;
    double seconds = 0;
    Split(dateTime, &day, &seconds);
    Civil c;
    c.seconds = static_cast<int64_t>(std::floor(seconds + round));
    if (c.seconds >= SecondsPerDay) {
        c.seconds -= SecondsPerDay;
        day += 1;
    }
    CivilFromDays(day + EpochDay, &c.year, &c.month, &c.day);
    return c;
}

double Join(int64_t day, double seconds)
{
    const double fraction = seconds / SecondsPerDay;
    return day >= 0 ? day + fraction : day - fraction;
}

}  // namespace

double DateTimeFromUnix(int64_t seconds, int64_t nanoseconds)
{
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local{};
    localtime_r(&t, &local);
    const int64_t day = DaysFromCivil(local.tm_year + 1900LL, static_cast<unsigned>(local.tm_mon + 1),
                                      static_cast<unsigned>(local.tm_mday)) - EpochDay;
    const double secs = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + nanoseconds / 1e9;
    return Join(day, secs);
}

int64_t UnixFromDateTime(double dateTime)
{
    const Civil c = ToCivil(dateTime, 0.5);
    std::tm local{};
    local.tm_year = static_cast<int>(c.year - 1900);
    local.tm_mon = static_cast<int>(c.month - 1);
    local.tm_mday = static_cast<int>(c.day);
    local.tm_hour = static_cast<int>(c.seconds / 3600);
    local.tm_min = static_cast<int>(c.seconds / 60 % 60);
    local.tm_sec = static_cast<int>(c.seconds % 60);
    local.tm_isdst = -1;
    return static_cast<int64_t>(std::mktime(&local));
}

double NowDateTime()
{
    std::timespec now{};
    std::timespec_get(&now, TIME_UTC);
    return DateTimeFromUnix(now.tv_sec, now.tv_nsec);
}

std::string DateTimeText(double dateTime)
{
    DateTimeBuffer buffer;
    return std::string(DateTimeText(dateTime, buffer));
}

std::string_view DateTimeText(double dateTime, DateTimeBuffer& out)
{
    const Civil c = ToCivil(dateTime, 0.0005);  // to the millisecond, which is not shown
    if (c.year >= 0 && c.year <= 9999) {
        std::memcpy(out.text, "0000/00/00 00:00:00", 19);
        const auto put = [&](size_t at, long long value, int digits) {
            for (int k = digits - 1; k >= 0; k--, value /= 10)
                out.text[at + size_t(k)] = char('0' + value % 10);
        };
        put(0, c.year, 4);
        put(5, c.month, 2);
        put(8, c.day, 2);
        put(11, c.seconds / 3600, 2);
        put(14, c.seconds / 60 % 60, 2);
        put(17, c.seconds % 60, 2);
        return {out.text, 19};
    }
    const int n = std::snprintf(out.text, sizeof out.text, "%04lld/%02u/%02u %02lld:%02lld:%02lld",
                                static_cast<long long>(c.year), c.month, c.day, static_cast<long long>(c.seconds / 3600),
                                static_cast<long long>(c.seconds / 60 % 60), static_cast<long long>(c.seconds % 60));
    return {out.text, std::min(size_t(std::max(n, 0)), sizeof out.text - 1)};
}
