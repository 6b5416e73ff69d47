// Retry-After is honoured for a day at most, and a date in the past asks for no wait.
#include "http/RetryAfter.h"

#include <gtest/gtest.h>

#include <optional>

TEST(RetryAfter, SecondsAndDatesWaitADayAtMostAndNeverIntoThePast) {
    const std::int64_t now = 784111777;
    const struct {
        const char* value;
        std::optional<std::int64_t> until;
    } waits[] = {
        {" 120 ", now + 120},
        {"86400", now + 86400},
        {"315360000", now + 86400}, // ten years
        {"Sun, 06 Nov 1994 08:49:37 GMT", now},
        {"Sun, 06 Nov 1994 09:49:37 GMT", now + 3600},
        {"Fri, 31 Dec 9999 23:59:59 GMT", now + 86400},
        {"Sat, 06 Nov 1993 08:49:37 GMT", now},
        {"-5", std::nullopt},
        {"soon", std::nullopt},
        {"12a", std::nullopt},
        {"", std::nullopt},
        {"Sun, 06 Foo 1994 08:49:37 GMT", std::nullopt},
        // The two obsolete forms of an HTTP date, which a recipient must read too.
        {"Sunday, 06-Nov-94 09:49:37 GMT", now + 3600},
        {"Sun Nov  6 09:49:37 1994", now + 3600},
        {"Sun Nov 16 09:49:37 1994", now + 86400},
        {"Saturday, 05-Nov-94 08:49:37 GMT", now},
        {"Sun Nov 6 09:49:37 1994", std::nullopt},
        {"Sun, 06-Nov-94 09:49:37 GMT", std::nullopt},
        {"99999999999999999999999", now + 86400},
        {"-1", std::nullopt},
        {"Sun, 06 Nov 1994 25:49:37 GMT", std::nullopt},
    };
    for (const auto& w : waits)
        EXPECT_EQ(parseRetryAfter(w.value, now), w.until) << w.value;
}

// A two-digit year that would lie more than 50 years ahead is of the century before.
TEST(RetryAfter, TwoDigitYearsStayWithinFiftyYearsOfNow) {
    const std::int64_t now = 1780000000; // Thursday, 28 May 2026 20:26:40
    EXPECT_EQ(parseRetryAfter("Thursday, 28-May-26 21:26:40 GMT", now), now + 3600);
    EXPECT_EQ(parseRetryAfter("Friday, 01-Jan-75 00:00:00 GMT", now), now + 86400); // 2075
    EXPECT_EQ(parseRetryAfter("Saturday, 01-Jan-77 00:00:00 GMT", now), now);       // 1977
}
