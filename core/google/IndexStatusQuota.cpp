#include "core/google/IndexStatusQuota.h"

#include "platform/Text.h"
#include "platform/Time.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace {

using namespace std::chrono;

constexpr std::int64_t Day = 86400;
constexpr std::int64_t StandardOffset = -8 * 3600;
constexpr std::int64_t DaylightOffset = -7 * 3600;
constexpr milliseconds Minute{60'000};

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    return a / b - (a % b != 0 && (a < 0) != (b < 0));
}

std::int64_t secondsOf(const year_month_day& date) {
    return sys_days(date).time_since_epoch().count() * Day;
}

// Daylight saving time begins at 2:00 standard time (10:00 UTC) and ends at 2:00 daylight time
// (9:00 UTC). Neither is near the turn of the year, so the UTC year is the Pacific one here.
bool daylightSaving(std::int64_t utcSeconds) {
    const auto date = year_month_day(sys_days(days(floorDiv(utcSeconds, Day))));
    const year y = date.year();
    const std::int64_t begins = secondsOf(year_month_day(y / March / Sunday[2])) + 10 * 3600;
    const std::int64_t ends = secondsOf(year_month_day(y / November / Sunday[1])) + 9 * 3600;
    return utcSeconds >= begins && utcSeconds < ends;
}

InspectionQuota::Decision stop(std::string reason) {
    return {InspectionQuota::Decision::Kind::Stop, {}, std::move(reason)};
}

} // namespace

std::int64_t pacificOffset(std::int64_t utcSeconds) {
    return daylightSaving(utcSeconds) ? DaylightOffset : StandardOffset;
}

std::int64_t pacificDay(std::int64_t utcSeconds) {
    return floorDiv(utcSeconds + pacificOffset(utcSeconds), Day);
}

std::int64_t pacificDayStart(std::int64_t day) {
    // Midnight is 7:00 UTC in daylight saving time and 8:00 UTC otherwise; the changes happen at
    // 2:00, so whatever holds at 7:00 UTC holds at that day's midnight.
    const std::int64_t daylightMidnight = day * Day - DaylightOffset;
    return daylightSaving(daylightMidnight) ? daylightMidnight : day * Day - StandardOffset;
}

std::string pacificDayText(std::int64_t day) {
    const auto date = year_month_day(sys_days(days(day)));
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
    return text;
}

int MemoryQuotaCounts::used(const std::string& property, std::int64_t day) const {
    const auto it = used_.find({property, day});
    return it == used_.end() ? 0 : it->second;
}

void MemoryQuotaCounts::add(const std::string& property, std::int64_t day) {
    ++used_[{property, day}];
}

std::optional<std::int64_t> MemoryQuotaCounts::latestDay(const std::string& property) const {
    std::optional<std::int64_t> latest;
    for (const auto& [key, count] : used_)
        if (key.first == property && count > 0) latest = std::max(latest.value_or(key.second), key.second);
    return latest;
}

std::int64_t MemoryQuotaCounts::pausedUntil(const std::string& property) const {
    const auto it = paused_.find(property);
    return it == paused_.end() ? 0 : it->second;
}

void MemoryQuotaCounts::pause(const std::string& property, std::int64_t until) {
    paused_[property] = until;
}

std::int64_t SystemQuotaClock::wallSeconds() const {
    return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

milliseconds SystemQuotaClock::monotonic() const {
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch());
}

InspectionQuota::InspectionQuota(QuotaCounts& counts, const QuotaClock& clock, int perRun)
    : counts_(counts), clock_(clock), perRun_(std::clamp(perRun, 0, PerDay)) {}

std::int64_t InspectionQuota::now() {
    latestSeen_ = std::max(latestSeen_, clock_.wallSeconds());
    return latestSeen_;
}

std::int64_t InspectionQuota::today(const std::string& property) {
    const std::int64_t day = pacificDay(now());
    // The clock went back over a midnight: the latest counted day is still the one Google is in.
    if (const auto latest = counts_.latestDay(property); latest && *latest == day + 1) return *latest;
    return day;
}

int InspectionQuota::usedToday(const std::string& property) {
    return counts_.used(property, today(property));
}

int InspectionQuota::madeThisRun(const std::string& property) const {
    const auto it = madeThisRun_.find(property);
    return it == madeThisRun_.end() ? 0 : it->second;
}

std::int64_t InspectionQuota::dayEnd(const std::string& property) {
    return pacificDayStart(today(property) + 1);
}

InspectionQuota::Decision InspectionQuota::next(const std::string& property) {
    using Kind = Decision::Kind;
    if (perRun_ == 0) return stop("inspection is off ([Google] InspectPerRun=0)");
    const std::int64_t time = now();
    std::int64_t until = counts_.pausedUntil(property);
    // A pause set by a clock that ran ahead would last beyond what any Retry-After may ask for:
    // it is cut to a day from now, once, so that it does end.
    if (until > time + Day) {
        until = time + Day;
        counts_.pause(property, until);
    }
    if (time < until)
        return stop("Google asked for no more inspections of " + property + " before " + formatUtc(until));
    if (madeThisRun(property) >= perRun_)
        return stop("this run made the " + withThousands(static_cast<std::uint64_t>(perRun_)) +
                    " inspections of " + property + " it may ([Google] InspectPerRun)");
    if (usedToday(property) >= PerDay)
        return stop("the " + withThousands(PerDay) + " inspections of " + property +
                    " that Google allows a day are made; its next day begins at " +
                    formatUtc(dayEnd(property)));
    auto& recent = recent_[property];
    const milliseconds moment = clock_.monotonic();
    while (!recent.empty() && moment - recent.front() >= Minute)
        recent.pop_front();
    if (recent.size() >= static_cast<std::size_t>(PerMinute))
        return {Kind::Wait, std::min(recent.front() + Minute - moment, Minute), {}};
    return {};
}

void InspectionQuota::sent(const std::string& property) {
    counts_.add(property, today(property));
    ++madeThisRun_[property];
    recent_[property].push_back(clock_.monotonic());
}

void InspectionQuota::pauseUntil(const std::string& property, std::int64_t until) {
    const std::int64_t time = now();
    counts_.pause(property, std::clamp(until, time, time + Day));
}
