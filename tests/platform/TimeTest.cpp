// The times the program reads and writes: W3C Datetimes (sitemaps, Google's answers) and UTC.
#include "platform/Time.h"

#include <gtest/gtest.h>

namespace {

std::int64_t utc(const char* text) {
    return *parseW3cDatetime(text);
}

TEST(Time, EveryW3cFormIsReadAsAUtcInstant) {
    EXPECT_EQ(utc("1970-01-01T00:00:00Z"), 0);
    EXPECT_EQ(utc("2024"), utc("2024-01-01T00:00Z"));
    EXPECT_EQ(utc("2024-03"), utc("2024-03-01T00:00:00Z"));
    EXPECT_EQ(utc("2024-02-29"), 1709164800);
    EXPECT_EQ(utc("2024-02-29T10:30+02:00"), 1709164800 + 8 * 3600 + 30 * 60);
    EXPECT_EQ(utc("2024-02-29T10:30:15-05:30"), 1709164800 + 16 * 3600 + 15);
    EXPECT_EQ(utc("2024-02-29T10:30:15.123456Z"), 1709164800 + 10 * 3600 + 30 * 60 + 15);
    EXPECT_EQ(utc("1999-12-31T23:59:60Z"), utc("2000-01-01T00:00:00Z"));
    for (const char* bad :
         {"", "24", "2023-02-29", "2024-13", "2024-01-01T10:00", "2024-01-01 10:00Z", "2024-01-01T25:00Z",
          "2024-01-01T10:00:00+0200", "2024-01-01T10:00:00.Z", "2024-01-01Z", "yesterday"})
        EXPECT_FALSE(parseW3cDatetime(bad)) << bad;
    EXPECT_EQ(formatUtc(1709164800 + 8 * 3600 + 30 * 60 + 7), "2024-02-29T08:30:07Z");
    EXPECT_EQ(formatUtc(utc("1969-12-31T23:59:59Z")), "1969-12-31T23:59:59Z");
}

} // namespace
