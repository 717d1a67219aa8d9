// The UTC timestamps of the record across the calendar's edges: leap days, centuries, the epoch.
#include "record/utc_time.h"

#include <gtest/gtest.h>

namespace {

TEST(UtcTimestamp, WritesTheCalendarDateAndTimeInUtc) {
    const struct {
        long long seconds;
        const char* text;
    } kCases[] = {
        {0, "1970-01-01T00:00:00Z"},
        {-1, "1969-12-31T23:59:59Z"},
        {951782400, "2000-02-29T00:00:00Z"},
        {951868799, "2000-02-29T23:59:59Z"},
        {1772812904, "2026-03-06T16:01:44Z"},
        // 2100 is no leap year.
        {4107542400, "2100-03-01T00:00:00Z"},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(
            c.text,
            UtcTimestamp(std::chrono::system_clock::time_point(std::chrono::seconds(c.seconds))))
            << c.seconds;
    }
}

}  // namespace
