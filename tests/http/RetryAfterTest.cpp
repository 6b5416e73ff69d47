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
    };
    for (const auto& w : waits)
        EXPECT_EQ(parseRetryAfter(w.value, now), w.until) << w.value;
}
