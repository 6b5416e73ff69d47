#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>

// Google's quota of URL inspections, kept on this side so that it is never run into: 2,000 a
// day and 600 a minute per Search Console property, the day being Google's, which is the
// calendar day in California.

// Pacific time (America/Los_Angeles) by the United States' rules since 2007: standard time
// (UTC-8) but for daylight saving time (UTC-7) from the second Sunday of March at 2:00 to the
// first Sunday of November at 2:00. Computed here, not read from the machine's time zone
// database, so that a machine set to any zone, or with no database, counts the same days.
// The offset from UTC at the moment, in seconds: -28800 or -25200.
std::int64_t pacificOffset(std::int64_t utcSeconds);
// The Pacific calendar day of the moment, as days since 1970-01-01.
std::int64_t pacificDay(std::int64_t utcSeconds);
// The moment that Pacific day begins (its local midnight), in seconds since 1970 UTC.
std::int64_t pacificDayStart(std::int64_t day);
// The day as "YYYY-MM-DD".
std::string pacificDayText(std::int64_t day);

// Where the counts live between runs: the site store in the program, memory in tests.
class QuotaCounts {
public:
    virtual ~QuotaCounts() = default;
    // Inspections of the property counted on the Pacific day.
    virtual int used(const std::string& property, std::int64_t day) const = 0;
    // Counts one inspection of the property on the day.
    virtual void add(const std::string& property, std::int64_t day) = 0;
    // The latest day with a count for the property; nothing when it has none.
    virtual std::optional<std::int64_t> latestDay(const std::string& property) const = 0;
    // Until when Google asked for no more inspections of the property (seconds since 1970);
    // 0 when it did not.
    virtual std::int64_t pausedUntil(const std::string& property) const = 0;
    virtual void pause(const std::string& property, std::int64_t until) = 0;
};

// QuotaCounts in memory, for tests and for a run without a store.
class MemoryQuotaCounts final : public QuotaCounts {
public:
    int used(const std::string& property, std::int64_t day) const override;
    void add(const std::string& property, std::int64_t day) override;
    std::optional<std::int64_t> latestDay(const std::string& property) const override;
    std::int64_t pausedUntil(const std::string& property) const override;
    void pause(const std::string& property, std::int64_t until) override;

private:
    std::map<std::pair<std::string, std::int64_t>, int> used_;
    std::map<std::string, std::int64_t> paused_;
};

// The two clocks the quota reads: the calendar, for Google's day and Retry-After times, and a
// clock that never goes back, for the pace. Tests move both by hand.
class QuotaClock {
public:
    virtual ~QuotaClock() = default;
    virtual std::int64_t wallSeconds() const = 0;            // seconds since 1970 UTC
    virtual std::chrono::milliseconds monotonic() const = 0; // from any fixed start
};
class SystemQuotaClock final : public QuotaClock {
public:
    std::int64_t wallSeconds() const override;
    std::chrono::milliseconds monotonic() const override;
};

// Whether the next inspection of a property may go now, and if not, why. One object serves one
// run: it keeps the run's counts and the pace in memory, and the day's counts and pauses in the
// QuotaCounts.
//
// A clock that jumps back does not give inspections back: within a run the quota never sees
// time earlier than it has seen, and between runs the day stays the latest counted one when the
// clock now names the day before. A gap of more than a day is taken as a clock that ran ahead
// and has been put right, so the counts of that far day are not held against the true one.
class InspectionQuota {
public:
    static constexpr int PerDay = 2000;
    static constexpr int PerMinute = 600;

    // perRun: the most inspections of one property in this run ([Google] InspectPerRun).
    InspectionQuota(QuotaCounts& counts, const QuotaClock& clock, int perRun);

    struct Decision {
        enum class Kind { Go, Wait, Stop };
        Kind kind = Kind::Go;
        // Wait: how long until the pace allows the next one.
        std::chrono::milliseconds wait{0};
        // Stop: why no more inspections of the property are made in this run, as a sentence.
        std::string reason;
    };
    Decision next(const std::string& property);
    // Counts an inspection of the property, called just before its request goes out: a request
    // that got no answer may still have been counted by Google.
    void sent(const std::string& property);
    // Google answered 429: no inspections of the property before the time (held to 24 hours).
    void pauseUntil(const std::string& property, std::int64_t until);

    // Inspections of the property counted on Google's current day, and in this run.
    int usedToday(const std::string& property);
    int madeThisRun(const std::string& property) const;
    // When the current quota day of the property ends: for a 429 without Retry-After.
    std::int64_t dayEnd(const std::string& property);

private:
    // The calendar time, never earlier than any seen before in this run.
    std::int64_t now();
    std::int64_t today(const std::string& property);

    QuotaCounts& counts_;
    const QuotaClock& clock_;
    int perRun_ = 0;
    std::int64_t latestSeen_ = 0;
    std::map<std::string, int> madeThisRun_;
    // Per property, the monotonic times of the latest sends within the last minute.
    std::map<std::string, std::deque<std::chrono::milliseconds>> recent_;
};
