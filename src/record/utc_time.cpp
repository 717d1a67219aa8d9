// UTC calendar time from the system clock, computed here rather than through gmtime, whose
// result lives in a buffer that every thread of the process shares.
#include "record/utc_time.h"

#include <cstdint>
#include <cstdio>

std::string UtcTimestamp(std::chrono::system_clock::time_point when) {
    const int64_t seconds =
        std::chrono::duration_cast<std::chrono::seconds>(when.time_since_epoch()).count();
    int64_t days = seconds / 86400;
    int64_t clock = seconds % 86400;
    if (clock < 0) {
        clock += 86400;
        --days;
    }
    // Days since 1970-01-01 to a proleptic Gregorian date, by 400-year eras that start on
    // March 1st, so that the leap day ends a year.
    const int64_t shifted = days + 719468;
    const int64_t era = (shifted >= 0 ? shifted : shifted - 146096) / 146097;
    const int64_t dayOfEra = shifted - era * 146097;
    const int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
    const int64_t day = dayOfYear - (153 * monthFromMarch + 2) / 5 + 1;
    const int64_t month = monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9;
    const int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    char text[96];
    std::snprintf(text, sizeof text, "%04lld-%02d-%02dT%02d:%02d:%02dZ",
                  static_cast<long long>(year), static_cast<int>(month), static_cast<int>(day),
                  static_cast<int>(clock / 3600), static_cast<int>(clock / 60 % 60),
                  static_cast<int>(clock % 60));
    return text;
}
