// Google's inspection quota on this side (the Pacific day, the pace, the day's and the run's
// counts, pauses, clocks that go back) and the order in which a site's URLs are inspected.
#include "core/google/IndexStatusQuota.h"
#include "core/google/IndexStatusOrder.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using Kind = InspectionQuota::Decision::Kind;

constexpr const char* Site = "sc-domain:example.com";
constexpr const char* Other = "https://shop.example.com/";

class TestClock final : public QuotaClock {
public:
    std::int64_t wall = 0;
    std::chrono::milliseconds steady{5'000'000};
    std::int64_t wallSeconds() const override { return wall; }
    std::chrono::milliseconds monotonic() const override { return steady; }
    void advance(std::chrono::milliseconds by) {
        steady += by;
        wall += by.count() / 1000;
    }
};

// Inspects the property as long as the quota lets it, following each wait; how many it made.
int inspectAll(InspectionQuota& quota, TestClock& clock, const std::string& property,
               std::string* reason = nullptr) {
    int made = 0;
    for (;;) {
        const InspectionQuota::Decision d = quota.next(property);
        if (d.kind == Kind::Stop) {
            if (reason) *reason = d.reason;
            return made;
        }
        if (d.kind == Kind::Wait) {
            clock.advance(d.wait);
            continue;
        }
        quota.sent(property);
        ++made;
    }
}

TEST(InspectionQuotaTest, ThePacificDayFollowsBothDaylightSavingChanges) {
    struct Case {
        std::int64_t utc;
        const char* day;
        std::int64_t offsetHours;
    };
    const Case cases[] = {
        {1'772'956'799, "2026-03-07", -8}, // 2026-03-08T07:59:59Z, a second before midnight
        {1'772'956'800, "2026-03-08", -8}, // midnight of the day daylight saving begins
        {1'772'963'999, "2026-03-08", -8}, // 01:59:59 standard time
        {1'772'964'000, "2026-03-08", -7}, // 03:00 daylight time
        {1'773'039'600, "2026-03-09", -7}, // the first midnight in daylight time
        {1'793'516'399, "2026-10-31", -7}, // 2026-11-01T06:59:59Z
        {1'793'516'400, "2026-11-01", -7}, // midnight of the day daylight saving ends
        {1'793'523'599, "2026-11-01", -7}, // 01:59:59 daylight time
        {1'793'523'600, "2026-11-01", -8}, // 01:00 standard time again
        {1'793'606'400, "2026-11-02", -8},
        {1'825'578'000, "2027-11-07", -8}, // 2027-11-07T09:00:00Z, another year
        {1'798'761'599, "2026-12-31", -8}, // 2027-01-01T07:59:59Z, the turn of the year in UTC
    };
    for (const Case& c : cases) {
        EXPECT_EQ(pacificDayText(pacificDay(c.utc)), c.day) << c.utc;
        EXPECT_EQ(pacificOffset(c.utc), c.offsetHours * 3600) << c.utc;
        // A day begins at its midnight, and the second before belongs to the day before.
        const std::int64_t start = pacificDayStart(pacificDay(c.utc));
        EXPECT_LE(start, c.utc);
        EXPECT_EQ(pacificDay(start), pacificDay(c.utc));
        EXPECT_EQ(pacificDay(start - 1), pacificDay(c.utc) - 1);
    }
    // The two change days are 23 and 25 hours long.
    const std::int64_t march8 = pacificDay(1'772'956'800), november1 = pacificDay(1'793'516'400);
    EXPECT_EQ(pacificDayStart(march8 + 1) - pacificDayStart(march8), 23 * 3600);
    EXPECT_EQ(pacificDayStart(november1 + 1) - pacificDayStart(november1), 25 * 3600);
}

TEST(InspectionQuotaTest, ThePaceIsAtMost600InAnyMinuteAndWaitsNoLonger) {
    TestClock clock;
    clock.wall = 1'796'091'200;
    MemoryQuotaCounts counts;
    InspectionQuota quota(counts, clock, 2000);
    std::vector<std::chrono::milliseconds> times;
    while (times.size() < 1500) {
        const InspectionQuota::Decision d = quota.next(Site);
        ASSERT_NE(d.kind, Kind::Stop) << d.reason;
        if (d.kind == Kind::Wait) {
            ASSERT_GT(d.wait, 0ms);
            // Half the wait is not enough.
            clock.advance(d.wait / 2);
            ASSERT_EQ(quota.next(Site).kind, Kind::Wait);
            clock.advance(d.wait - d.wait / 2);
            continue;
        }
        // Each request takes 7 ms: 600 go out in 4.2 s, then the minute must end.
        quota.sent(Site);
        times.push_back(clock.steady);
        if (times.size() == 600) {
            EXPECT_EQ(quota.next(Other).kind, Kind::Go) << "another property need not wait";
        }
        clock.advance(7ms);
    }
    for (std::size_t i = 0; i + 600 < times.size(); ++i)
        ASSERT_GE(times[i + 600] - times[i], 60'000ms) << i;
    EXPECT_EQ(times[600] - times[0], 60'000ms);
    EXPECT_EQ(times[1200] - times[0], 120'000ms);
}

TEST(InspectionQuotaTest, TheDayAllows2000AcrossRunsAndStartsAgainAtPacificMidnight) {
    // Each case: a run starts this long before a Pacific midnight (a plain one and both change days).
    struct Case {
        std::int64_t midnight;
        const char* day;
    };
    const Case cases[] = {{1'796'112'000, "2026-12-01"},
                          {1'772'956'800, "2026-03-08"},
                          {1'773'039'600, "2026-03-09"},
                          {1'793'516'400, "2026-11-01"},
                          {1'793'606'400, "2026-11-02"}};
    for (const Case& c : cases) {
        TestClock clock;
        clock.wall = c.midnight - 3 * 3600;
        MemoryQuotaCounts counts;
        std::string reason;
        for (int run = 0; run < 10; ++run) {
            InspectionQuota quota(counts, clock, 200);
            EXPECT_EQ(inspectAll(quota, clock, Site, &reason), 200) << c.day << " run " << run;
            EXPECT_EQ(reason, "this run made the 200 inspections of sc-domain:example.com it may ([Google] "
                              "InspectPerRun)");
            clock.advance(10min);
        }
        InspectionQuota full(counts, clock, 200);
        EXPECT_EQ(inspectAll(full, clock, Site, &reason), 0) << c.day;
        EXPECT_EQ(reason,
                  "the 2,000 inspections of sc-domain:example.com that Google allows a day are made; its "
                  "next day begins at " +
                      std::string(c.day) + "T0" + std::to_string(-pacificOffset(c.midnight) / 3600) +
                      ":00:00Z");
        EXPECT_EQ(inspectAll(full, clock, Other), 200) << "another property has its own quota";
        clock.wall = c.midnight - 1;
        EXPECT_EQ(inspectAll(full, clock, Site), 0) << c.day;
        clock.wall = c.midnight;
        EXPECT_EQ(inspectAll(full, clock, Site), 200) << "the same run goes on after midnight";
        InspectionQuota nextRun(counts, clock, 200);
        EXPECT_EQ(inspectAll(nextRun, clock, Site), 200) << c.day;
        EXPECT_EQ(counts.used(Site, pacificDay(c.midnight)), 400);
        EXPECT_EQ(counts.used(Site, pacificDay(c.midnight) - 1), 2000);
    }
    TestClock clock;
    MemoryQuotaCounts counts;
    InspectionQuota off(counts, clock, 0);
    std::string reason;
    EXPECT_EQ(inspectAll(off, clock, Site, &reason), 0);
    EXPECT_EQ(reason, "inspection is off ([Google] InspectPerRun=0)");
}

TEST(InspectionQuotaTest, A429PausesThatPropertyForAtMostADay) {
    constexpr std::int64_t Now = 1'796'091'200; // 2026-12-01T02:13:20Z
    // Asked for 2 minutes, 3 days, a time past; a pause written by a clock that ran ten days ahead.
    for (const auto& [asked, paused, until] :
         {std::tuple{120, 120, "2026-12-01T02:15:20Z"}, std::tuple{3 * 86400, 86400, "2026-12-02T02:13:20Z"},
          std::tuple{-50, 0, ""}, std::tuple{10 * 86400, 86400, ""}}) {
        TestClock clock;
        clock.wall = Now;
        MemoryQuotaCounts counts;
        InspectionQuota quota(counts, clock, 200);
        if (asked == 10 * 86400)
            counts.pause(Site, Now + asked);
        else
            quota.pauseUntil(Site, Now + asked);
        std::string reason;
        if (paused > 0) {
            EXPECT_EQ(inspectAll(quota, clock, Site, &reason), 0) << asked;
            clock.wall += paused - 1;
            EXPECT_EQ(inspectAll(quota, clock, Site, &reason), 0) << asked;
            if (*until) {
                EXPECT_EQ(reason, "Google asked for no more inspections of sc-domain:example.com before " +
                                      std::string(until));
            }
            clock.wall += 1;
        }
        EXPECT_EQ(inspectAll(quota, clock, Site), 200) << asked;
    }
}

TEST(InspectionQuotaTest, AClockThatJumpsBackGivesNoInspectionsBack) {
    const std::int64_t midnight = 1'796'112'000;
    // The day's quota is spent just after midnight; then the clock goes back an hour (into the
    // day before), or two days (a clock that ran ahead, put right: a new run may go on).
    for (const auto& [jump, madeInANewRun] : {std::pair{3600, 0}, std::pair{2 * 86400, 200}}) {
        TestClock clock;
        clock.wall = midnight + 600;
        MemoryQuotaCounts counts;
        for (int i = 0; i < 1990; ++i)
            counts.add(Site, pacificDay(clock.wall));
        InspectionQuota quota(counts, clock, 200);
        EXPECT_EQ(inspectAll(quota, clock, Site), 10) << jump;
        clock.wall -= jump;
        EXPECT_EQ(inspectAll(quota, clock, Site), 0) << jump;
        InspectionQuota next(counts, clock, 200);
        EXPECT_EQ(inspectAll(next, clock, Site), madeInANewRun) << jump;
        EXPECT_EQ(counts.used(Site, pacificDay(midnight)), 2000) << jump;
    }
    // Within a run, inspections after the jump count on the day already reached.
    TestClock clock;
    clock.wall = midnight + 600;
    MemoryQuotaCounts counts;
    InspectionQuota quota(counts, clock, 10);
    EXPECT_EQ(inspectAll(quota, clock, Site), 10);
    clock.wall -= 3600;
    quota.sent(Site);
    EXPECT_EQ(counts.used(Site, pacificDay(midnight)), 11);
    EXPECT_EQ(counts.used(Site, pacificDay(midnight) - 1), 0);
}

TEST(InspectionOrderTest, AnnouncedAndNotIndexedFirstThenNeverInspectedThenTheLongestAgo) {
    constexpr std::int64_t Now = 1'796'091'200, H = 3600, D = 86400;
    const CheckResult ok = CheckResult::Ok;
    // Named by announcement (a), inspection (i) and verdict, in days ago.
    const std::vector<std::pair<std::string, InspectionCandidate>> urls = {
        {"never", {{}, {}, "", ok}},
        {"a3", {Now - 3 * D, {}, "", ok}},
        {"a5 i2 not indexed", {Now - 5 * D, Now - 2 * D, "NEUTRAL", ok}},
        {"a20 i10 indexed", {Now - 20 * D, Now - 10 * D, "PASS", ok}},
        {"i4", {{}, Now - 4 * D, "NEUTRAL", ok}},
        {"i30", {{}, Now - 30 * D, "PASS", ok}},
        {"a2 after i6 indexed", {Now - 2 * D, Now - 6 * D, "PASS", ok}},
        {"a9 check failed", {Now - 9 * D, {}, "", CheckResult::NotOk}},
        {"a9 inspected an hour ago", {Now - 9 * D, Now - H, "NEUTRAL", ok}},
        {"inspected in 5 hours", {{}, Now + 5 * H, "FAIL", ok}},
        {"never too", {{}, {}, "", ok}},
        {"i30 too", {{}, Now - 30 * D, "FAIL", ok}},
        {"a3 i3 indexed", {Now - 3 * D, Now - 3 * D, "PASS", ok}},
    };
    std::vector<InspectionCandidate> candidates;
    for (const auto& [name, c] : urls)
        candidates.push_back(c);
    auto names = [&](std::size_t limit) {
        std::vector<std::string> out;
        for (std::size_t i : inspectionOrder(candidates, Now, limit))
            out.push_back(urls[i].first);
        return out;
    };
    const std::vector<std::string> all = {
        "a5 i2 not indexed", "a3", "a2 after i6 indexed", "never", "never too", "i30", "i30 too",
        "a20 i10 indexed",   "i4", "a3 i3 indexed"};
    EXPECT_EQ(names(100), all);
    EXPECT_EQ(names(4), std::vector<std::string>(all.begin(), all.begin() + 4));
    EXPECT_TRUE(names(0).empty());
}

} // namespace
