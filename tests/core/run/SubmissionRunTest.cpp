#include "core/run/SubmissionRun.h"

#include "core/Config.h"
#include "core/catalogue/EngineCatalog.h"
#include "core/profiles/SubmissionList.h"
#include "support/ScriptedServer.h"
#include "tests/common/TempDir.h"
#include "tests/core/support/RunFakes.h"
#include "tests/core/support/RunTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

class SubmissionRunTest : public ::testing::Test {
protected:
    TempDir dir;
    Config config;
    FakeRunHost host{dir.str()};
    FakeRunClient client;
    SubmissionRun run{host, client, config};

    void SetUp() override { run.Start(); }

    void save(const SiteProfile& p) { host.store.save(p); }
    // Lists the directory and highlights the named rows, which must be adjacent.
    void selectProfiles(const std::vector<std::string>& names) {
        host.listProfiles();
        int first = host.list.RowCount(), last = -1;
        for (int row = 1; row < host.list.RowCount(); ++row)
            if (std::find(names.begin(), names.end(), host.list.CellText(0, row)) != names.end()) {
                first = std::min(first, row);
                last = std::max(last, row);
            }
        ASSERT_EQ(last - first + 1, static_cast<int>(names.size()));
        host.select(first, last);
    }
    std::vector<std::string> engineColumn() const {
        std::vector<std::string> names;
        for (int row = 1; row <= run.ResultCount(); ++row)
            names.push_back(host.grid.CellText(0, row));
        return names;
    }
};

TEST_F(SubmissionRunTest, StartWritesTheHeaderIdlesTheWindowAndBoundsTheClient) {
    EXPECT_EQ(host.grid.CellText(0, 0), "Engine");
    EXPECT_EQ(host.grid.CellText(1, 0), "URLs Submitted");
    EXPECT_EQ(host.bar, RunHost::RunBar::Idle);
    EXPECT_EQ(host.shownFrame, -1);
    EXPECT_EQ(run.AnimationFrame(), SubmissionRun::IdleFrame);
    EXPECT_EQ(run.ResultCount(), 0);
    EXPECT_EQ(client.maxBodySize, 8u << 20);
    EXPECT_EQ(client.deadline, 60000);
    EXPECT_EQ(client.proxyHost, "");

    Config proxied;
    proxied.proxy = "127.0.0.1:3128";
    proxied.maxBodySize = 1000;
    proxied.requestDeadlineSeconds = 3;
    FakeRunClient other;
    SubmissionRun second(host, other, proxied);
    second.Start();
    EXPECT_EQ(other.proxyHost, "127.0.0.1");
    EXPECT_EQ(other.proxyPort, 3128);
    EXPECT_EQ(other.maxBodySize, 1000u);
    EXPECT_EQ(other.deadline, 3000);
}

TEST_F(SubmissionRunTest, OneProfileSendsEveryEntryInCatalogueOrderAndEndsWithTheFooter) {
    save(completeProfile("Garden"));
    selectProfiles({"Garden"});
    run.GoButtonClick();

    // The requests are the catalogue's, as built from the prepared profile, with 5 s waits.
    SubmissionFields fields;
    PrepareProfile(fields, completeProfile("Garden"));
    const std::vector<EngineEntry> catalog = engineCatalog(config);
    ASSERT_EQ(client.calls.size(), catalog.size());
    for (std::size_t i = 0; i < catalog.size(); ++i) {
        EngineRequest expected = PrepareRequest(fields, catalog[i]);
        EXPECT_EQ(client.calls[i].method, expected.method) << i;
        EXPECT_EQ(client.calls[i].url, expected.url) << i;
        EXPECT_EQ(client.calls[i].body, expected.body) << i;
        EXPECT_EQ(client.calls[i].timeOut, 5000);
    }

    // 32 rows sorted by engine name, each with the site title, then the two footer rows.
    ASSERT_EQ(run.ResultCount(), 32);
    ASSERT_EQ(host.grid.RowCount(), 32 + 3);
    std::vector<std::string> names = engineColumn();
    EXPECT_EQ(names[0], "Alexa");
    EXPECT_EQ(names[1], "Alexa (method 2)");
    EXPECT_EQ(names[2], "AltaVista");
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    for (int row = 1; row <= 32; ++row)
        EXPECT_EQ(host.grid.CellText(1, row), "Garden");
    expectFooter(host.grid, 32, config.footerAddress());

    // The editor shows the cleaned phone and fax; the run's record keeps the fax as typed.
    EXPECT_EQ(host.editor[fPhone], "5551234567");
    EXPECT_EQ(host.editor[fFax], "5557654321");
    EXPECT_EQ(run.Fields().Fax, "555-765-4321");
    EXPECT_EQ(host.currentSelection, "Garden");
    EXPECT_EQ(host.events.front(), "status:Current Selection: Garden");

    // Label, status and the end of the run.
    EXPECT_EQ(host.countEvents("label:Submitting http://www.example.com/ to "), 32);
    EXPECT_EQ(host.statusesAfterLabel("Submitting http://www.example.com/ to Lycos"),
              std::vector<std::string>{"Processing Lycos"});
    EXPECT_EQ(host.messages, std::vector<std::string>{"Done!"});
    EXPECT_EQ(host.messageKinds.back(), RunHost::Message::RunEnded);
    EXPECT_EQ(host.statusAtMessage, "");
    EXPECT_EQ(host.barAtMessage, RunHost::RunBar::Running);
    EXPECT_EQ(host.label, "Finished!");
    EXPECT_EQ(host.bar, RunHost::RunBar::Idle);
    EXPECT_FALSE(host.gaugeVisible);
    EXPECT_EQ(run.AnimationFrame(), SubmissionRun::IdleFrame);
    EXPECT_FALSE(run.running());
    EXPECT_TRUE(host.log.empty());
}

TEST_F(SubmissionRunTest, TwoProfilesInOneRunGiveOneSortedListAndOneFooter) {
    save(completeProfile("Beta"));
    save(completeProfile("Alpha"));
    selectProfiles({"Alpha", "Beta"});
    run.GoButtonClick();
    EXPECT_EQ(host.loaded, (std::vector<std::string>{"Alpha", "Beta"}));
    ASSERT_EQ(run.ResultCount(), 64);
    expectFooter(host.grid, 64, config.footerAddress());
    // Each engine twice, next to each other, its two titles in order; the footer only once.
    for (int row = 1; row <= 64; row += 2) {
        EXPECT_EQ(host.grid.CellText(0, row), host.grid.CellText(0, row + 1)) << row;
        EXPECT_EQ(host.grid.CellText(1, row), "Alpha") << row;
        EXPECT_EQ(host.grid.CellText(1, row + 1), "Beta") << row;
    }
    std::vector<std::string> names = engineColumn();
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    EXPECT_EQ(names.front(), "Alexa");
    int footers = 0;
    for (int row = 0; row < host.grid.RowCount(); ++row)
        footers += host.grid.CellText(0, row) == "More Info:" ? 1 : 0;
    EXPECT_EQ(footers, 1);
    EXPECT_EQ(host.messages, std::vector<std::string>{"Done!"});
}

TEST_F(SubmissionRunTest, WithoutAnySelectedRowOnlyTheFooterAndDoneAppear) {
    save(completeProfile("Garden"));
    host.listProfiles();
    host.select(5, 6); // below the last row: nothing highlighted
    host.setStatusText("something");
    run.GoButtonClick();
    EXPECT_TRUE(client.calls.empty());
    EXPECT_EQ(run.ResultCount(), 0);
    EXPECT_EQ(host.grid.RowCount(), 3);
    expectFooter(host.grid, 0, config.footerAddress());
    EXPECT_EQ(host.status, "");
    EXPECT_EQ(host.messages, std::vector<std::string>{"Done!"});
}

TEST_F(SubmissionRunTest, AnIncompleteProfileIsReportedAndTheNextProfileIsStillSent) {
    SiteProfile noCountry = completeProfile("Alpha");
    noCountry[fCountry] = "";
    save(noCountry);
    save(completeProfile("Beta"));
    selectProfiles({"Alpha", "Beta"});
    std::vector<int> framesAtMessage;
    host.onMessage = [&](const std::string&) { framesAtMessage.push_back(run.AnimationFrame()); };
    run.GoButtonClick();

    EXPECT_EQ(host.messages, (std::vector<std::string>{"Please complete all fields!", "Done!"}));
    EXPECT_EQ(host.loaded, (std::vector<std::string>{"Alpha", "Beta"}));
    ASSERT_EQ(client.calls.size(), 32u);
    EXPECT_EQ(run.ResultCount(), 32);
    for (int row = 1; row <= 32; ++row)
        EXPECT_EQ(host.grid.CellText(1, row), "Beta");
    // The animation starts only with a profile that passed its check.
    EXPECT_EQ(framesAtMessage.front(), SubmissionRun::IdleFrame);

    // A profile that fails its check after one that passed keeps the animation going.
    client.calls.clear();
    host.messages.clear();
    save(completeProfile("Aardvark"));
    SiteProfile noEmail = completeProfile("Zulu");
    noEmail[fEMail] = "";
    save(noEmail);
    host.listProfiles();
    host.select(1, host.list.RowCount() - 1);
    framesAtMessage.clear();
    run.GoButtonClick();
    EXPECT_EQ(host.messages.size(), 3u); // Alpha, Zulu, Done!
    EXPECT_LT(framesAtMessage[1], 10);
    EXPECT_EQ(client.calls.size(), 64u); // Aardvark and Beta
}

TEST_F(SubmissionRunTest, AFailedSharedTargetSkipsTheLaterSharedEntriesAndTakesOutTheirRows) {
    save(completeProfile("Garden"));
    selectProfiles({"Garden"});
    client.behaviour = [](const FakeRunClient::Call& call) {
        if (call.url.find("/submit") != std::string::npos) throw std::runtime_error("Accepting Canceled");
    };
    run.GoButtonClick();

    // Only "Alexa (method 2)" went to the shared service; 17 requests in all.
    int shared = 0;
    for (const auto& call : client.calls)
        shared += call.url.find("/submit") != std::string::npos ? 1 : 0;
    EXPECT_EQ(shared, 1);
    EXPECT_EQ(client.calls.size(), 17u + 1u); // the engines' own endpoints and the one try
    EXPECT_EQ(run.ResultCount(), 17);         // the fifteen shared entries were not answered
    EXPECT_EQ(host.log, std::vector<std::string>{"Failed to contact Alexa (method 2). Site might be down."});
    EXPECT_EQ(host.statusesAfterLabel("Submitting http://www.example.com/ to Alexa (method 2)"),
              std::vector<std::string>{"Failed to connect to Alexa (method 2). Site may be down."});
    // A skipped entry shows its label but leaves the status line alone.
    for (const char* skipped : {"AltaVista (method 2)", "Lycos (method 2)", "DirectHit"})
        EXPECT_TRUE(
            host.statusesAfterLabel(std::string("Submitting http://www.example.com/ to ") + skipped).empty())
            << skipped;
    // After the last entry only the end of the run clears the status line.
    EXPECT_EQ(host.statusesAfterLabel("Submitting http://www.example.com/ to WhatUSeek"),
              std::vector<std::string>{""});
    ASSERT_EQ(run.FailedURLs().size(), 1u);

    // The next run skips the shared service from the start; its own engines are sent again.
    client.calls.clear();
    run.GoButtonClick();
    EXPECT_EQ(client.calls.size(), 17u);
    EXPECT_EQ(run.ResultCount(), 34);
    EXPECT_EQ(host.log.size(), 1u);
}

TEST_F(SubmissionRunTest, EachFailedTargetIsRememberedOnItsOwn) {
    save(completeProfile("Garden"));
    host.listProfiles();
    client.behaviour = [](const FakeRunClient::Call&) { throw std::runtime_error("Connection Failed"); };
    // Two targets fail; together, one after the other, they contain a URL that neither does.
    run.Site("First", "http://one.test/a?next=http://two", "get", "");
    run.Site("Second", ".test/b", "get", "");
    ASSERT_EQ(run.FailedURLs(), (std::vector<std::string>{"http://one.test/a?next=http://two", ".test/b"}));
    client.behaviour = nullptr;
    client.calls.clear();
    run.Site("Third", "http://two.test/b", "get", "");
    ASSERT_EQ(client.calls.size(), 1u) << "a URL spanning two remembered targets must still be sent";

    // A URL within one remembered target is skipped, exactly or as a part of it.
    client.calls.clear();
    run.Site("Again", "http://one.test/a?next=http://two", "get", "");
    run.Site("Part", "http://one.test/a", "get", "");
    EXPECT_TRUE(client.calls.empty());
    EXPECT_TRUE(run.failedBefore(".test/b"));
    EXPECT_FALSE(run.failedBefore("http://two.test/b"));
    // Only the request that was answered keeps its row.
    EXPECT_EQ(run.ResultCount(), 1);
    EXPECT_EQ(host.grid.CellText(0, 1), "Third");
}

TEST_F(SubmissionRunTest, ARowTakenOutLeavesTheTableAsIfItHadNeverBeenAdded) {
    client.behaviour = [](const FakeRunClient::Call& call) {
        if (call.url.find("down") != std::string::npos) throw std::runtime_error("Connection Failed");
    };
    // The failing engines have the widest names and are sorted in among the others.
    for (int i = 0; i < 20; ++i) {
        const bool down = i % 3 == 0;
        run.Site((down ? "M, an engine with a long name " : "Engine ") + std::to_string(i),
                 (down ? "http://down.test/" : "http://up.test/") + std::to_string(i), "get", "");
        ASSERT_EQ(host.grid.RowCount(), run.ResultCount() + 2);
        expectSortedAndFitted(host.grid, run.ResultCount(), host.measure);
        if (::testing::Test::HasFailure()) return;
    }
    EXPECT_EQ(run.ResultCount(), 13);
}

TEST_F(SubmissionRunTest, ProgressCountsAgainstTheAnnouncedLengthElseTheCatalogueSize) {
    save(completeProfile("Garden"));
    selectProfiles({"Garden"});
    struct Seen {
        std::string status;
        int gauge;
        bool visible;
    };
    std::vector<std::pair<std::string, Seen>> seen; // engine -> display after the packet
    client.behaviour = [&](const FakeRunClient::Call&) {
        const std::string engine = run.Fields().CurrentEngine;
        if (engine == "Lycos" || engine == "Lycos (method 2)" || engine == "Corvane") {
            client.packet(0, 1460);
            seen.push_back({engine, {host.status, host.gauge, host.gaugeVisible}});
        } else if (engine == "Google") {
            client.packet(4000, 1000);
            seen.push_back({engine, {host.status, host.gauge, host.gaugeVisible}});
            client.packet(4000, 4001); // more than announced: the gauge holds at 100
            seen.push_back({engine, {host.status, host.gauge, host.gaugeVisible}});
        }
    };
    run.GoButtonClick();
    ASSERT_EQ(seen.size(), 5u);
    EXPECT_EQ(seen[0].first, "Corvane");
    EXPECT_EQ(seen[0].second.status, "1460 of 509 bytes retrieved");
    EXPECT_EQ(seen[0].second.gauge, 100);
    EXPECT_TRUE(seen[0].second.visible);
    EXPECT_EQ(seen[1].second.status, "1000 of 4000 bytes retrieved");
    EXPECT_EQ(seen[1].second.gauge, 25);
    EXPECT_EQ(seen[2].second.status, "4001 of 4000 bytes retrieved");
    EXPECT_EQ(seen[2].second.gauge, 100);
    EXPECT_EQ(seen[3].first, "Lycos");
    EXPECT_EQ(seen[3].second.status, "1460 of 8065 bytes retrieved");
    EXPECT_EQ(seen[3].second.gauge, 18); // 18.1 rounds down
    EXPECT_EQ(seen[4].first, "Lycos (method 2)");
    EXPECT_EQ(seen[4].second.status, "1460 of 9000 bytes retrieved");
    EXPECT_EQ(seen[4].second.gauge, 16); // 16.2

    // The end of the run hides the gauge.
    EXPECT_FALSE(host.gaugeVisible);
    // Rounding goes to the nearest: 1000 of 1480 is 67.6 %.
    client.packet(1480, 1000);
    EXPECT_EQ(host.gauge, 68);
    EXPECT_EQ(host.status, "1000 of 1480 bytes retrieved");
}

TEST_F(SubmissionRunTest, TheAnimationShowsFramesZeroToEightWhileRunningAndNothingWhenIdle) {
    for (int i = 0; i < 3; ++i) {
        run.Timer1Timer();
        EXPECT_EQ(host.shownFrame, -1);
    }
    save(completeProfile("Garden"));
    selectProfiles({"Garden"});
    std::vector<int> shown;
    client.behaviour = [&](const FakeRunClient::Call&) {
        if (client.calls.size() == 1)
            for (int tick = 0; tick < 20; ++tick) {
                run.Timer1Timer();
                shown.push_back(host.shownFrame);
            }
    };
    run.GoButtonClick();
    const std::vector<int> expected{0, 1, 2, 3, 4, 5, 6, 7, 8, 0, 1, 2, 3, 4, 5, 6, 7, 8, 0, 1};
    EXPECT_EQ(shown, expected);
    run.Timer1Timer();
    EXPECT_EQ(host.shownFrame, -1);
}

TEST_F(SubmissionRunTest, PauseWaitsBeforeTheNextRequestUntilResumed) {
    run.PauseButtonClick();
    EXPECT_EQ(host.pause, "Resume");
    EXPECT_TRUE(run.Paused());
    run.PauseButtonClick();
    EXPECT_EQ(host.pause, "Pause");
    EXPECT_FALSE(run.Paused());

    save(completeProfile("Garden"));
    selectProfiles({"Garden"});
    std::size_t callsWhenPaused = 0;
    std::size_t callsDuringWait = 0;
    client.behaviour = [&](const FakeRunClient::Call&) {
        if (client.calls.size() == 5) {
            run.PauseButtonClick(); // pressed while the fifth request is in flight
            callsWhenPaused = client.calls.size();
        }
    };
    host.onWait = [&] {
        callsDuringWait = std::max(callsDuringWait, client.calls.size());
        if (host.waits == 4) run.PauseButtonClick();
    };
    run.GoButtonClick();
    EXPECT_EQ(callsWhenPaused, 5u);
    EXPECT_EQ(callsDuringWait, 5u) << "nothing is sent while paused";
    EXPECT_EQ(host.waits, 4);
    EXPECT_EQ(client.calls.size(), 32u);
    EXPECT_EQ(run.ResultCount(), 32);
    EXPECT_EQ(host.pause, "Pause");
}

TEST_F(SubmissionRunTest, StopAbortsTheRequestInFlightAndEndsTheRunNormally) {
    save(completeProfile("Alpha"));
    save(completeProfile("Beta"));
    selectProfiles({"Alpha", "Beta"});
    client.behaviour = [&](const FakeRunClient::Call&) {
        if (client.calls.size() == 12) run.StopButtonClick(); // "Google", in flight
    };
    run.GoButtonClick();
    EXPECT_EQ(client.aborts, 1);
    EXPECT_EQ(client.calls.size(), 12u);
    EXPECT_EQ(host.loaded, std::vector<std::string>{"Alpha"});
    // Google was not answered: its row went again.
    EXPECT_EQ(run.ResultCount(), 11);
    expectFooter(host.grid, 11, config.footerAddress());
    const std::vector<std::string> names = engineColumn();
    EXPECT_EQ(std::count(names.begin(), names.end(), "Google"), 0);
    EXPECT_EQ(host.messages, std::vector<std::string>{"Done!"});
    EXPECT_EQ(host.bar, RunHost::RunBar::Idle);
    EXPECT_EQ(host.label, "Finished!");
    // The stopped request did not fail: nothing logged, nothing remembered.
    EXPECT_TRUE(host.log.empty());
    EXPECT_TRUE(run.FailedURLs().empty());
    // Only the end of the run touched the status line after Google's label.
    EXPECT_EQ(host.statusesAfterLabel("Submitting http://www.example.com/ to Google"),
              std::vector<std::string>{""});

    // The next run sends Google again and continues below the eleven rows.
    client.behaviour = nullptr;
    client.calls.clear();
    run.GoButtonClick();
    EXPECT_EQ(client.calls.size(), 64u);
    EXPECT_EQ(run.ResultCount(), 11 + 64);
    expectFooter(host.grid, 75, config.footerAddress());

    // Stop outside a run does nothing.
    run.StopButtonClick();
    EXPECT_EQ(client.aborts, 1);
    EXPECT_FALSE(run.stopRequested());
}

TEST_F(SubmissionRunTest, StopWhilePausedEndsTheRunWithoutSendingMore) {
    save(completeProfile("Garden"));
    selectProfiles({"Garden"});
    client.behaviour = [&](const FakeRunClient::Call&) {
        if (client.calls.size() == 3) run.PauseButtonClick();
    };
    host.onWait = [&] {
        if (host.waits == 2) run.StopButtonClick();
    };
    run.GoButtonClick();
    EXPECT_EQ(client.calls.size(), 3u);
    EXPECT_EQ(client.aborts, 0); // nothing was in flight
    EXPECT_EQ(run.ResultCount(), 3);
    EXPECT_EQ(host.messages, std::vector<std::string>{"Done!"});
    // The caption is not reset by the end of a run.
    EXPECT_EQ(host.pause, "Resume");
}

TEST_F(SubmissionRunTest, ALaterRunKeepsTheEarlierResultsAndReplacesTheFooter) {
    save(completeProfile("Alpha"));
    save(completeProfile("Beta"));
    selectProfiles({"Alpha"});
    run.GoButtonClick();
    expectFooter(host.grid, 32, config.footerAddress());
    selectProfiles({"Beta"});
    run.GoButtonClick();
    ASSERT_EQ(run.ResultCount(), 64);
    ASSERT_EQ(host.grid.RowCount(), 64 + 3);
    expectFooter(host.grid, 64, config.footerAddress());
    int footerTexts = 0;
    for (int row = 0; row < host.grid.RowCount(); ++row)
        footerTexts += host.grid.CellText(0, row) == "More Info:" ? 1 : 0;
    EXPECT_EQ(footerTexts, 1);
    std::vector<std::string> names = engineColumn();
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    // Both titles for each engine, Alpha's row before Beta's.
    EXPECT_EQ(host.grid.CellText(0, 1), "Alexa");
    EXPECT_EQ(host.grid.CellText(1, 1), "Alpha");
    EXPECT_EQ(host.grid.CellText(0, 2), "Alexa");
    EXPECT_EQ(host.grid.CellText(1, 2), "Beta");
}

TEST_F(SubmissionRunTest, TheTableIsSortedAndFittedAfterEveryRowAsAFullSortAndFitWouldLeaveIt) {
    const std::vector<EngineEntry> catalog = engineCatalog(config);
    for (int i = 0; i < 200; ++i) {
        const EngineEntry& e = catalog[static_cast<std::size_t>((i * 7) % 32)];
        run.DoGrid(e.DisplayName,
                   "Site " + std::to_string(i % 13) + std::string(static_cast<std::size_t>(i % 5), 'x'));
        ASSERT_EQ(host.grid.RowCount(), i + 3);
        EXPECT_TRUE(host.grid.CellText(0, i + 2).empty());
        expectSortedAndFitted(host.grid, i + 1, host.measure);
        if (::testing::Test::HasFailure()) return;
    }
}

TEST_F(SubmissionRunTest, AFatalErrorMessageIsShownTwiceAndClosesTheWindow) {
    run.ErrorTrap("Please complete all fields!");
    EXPECT_EQ(host.messages, std::vector<std::string>{"Please complete all fields!"});
    EXPECT_EQ(host.closed, 0);
    run.ErrorTrap("Fatal Error: no sockets");
    EXPECT_EQ(host.messages.back(),
              "Fatal Error: no sockets This is a fatal error. Click OK to close Larkspan.");
    EXPECT_EQ(host.closed, 1);

    // Inside a run it also ends the run before anything more is sent.
    save(completeProfile("Garden"));
    selectProfiles({"Garden"});
    client.behaviour = [&](const FakeRunClient::Call&) {
        if (client.calls.size() == 2) run.ErrorTrap("Fatal Error");
    };
    run.GoButtonClick();
    EXPECT_EQ(client.calls.size(), 2u);
    EXPECT_EQ(host.closed, 2);
    EXPECT_FALSE(run.running());
}

TEST_F(SubmissionRunTest, AnErrorThatEscapesTheRunLeavesTheWindowIdle) {
    save(completeProfile("Garden"));
    selectProfiles({"Garden"});
    host.onLoad = [](const std::string&) { throw std::runtime_error("disk gone"); };
    EXPECT_THROW(run.GoButtonClick(), std::runtime_error);
    EXPECT_FALSE(run.running());
    EXPECT_EQ(host.bar, RunHost::RunBar::Idle);
    host.onLoad = nullptr;
    run.GoButtonClick();
    EXPECT_EQ(client.calls.size(), 32u);
}

// A channel for profiles with the key "Ping": one POST to the key's address; a 2xx answer is
// accepted, any other refused.
class PingChannel final : public LiveChannel {
public:
    bool uses(const LiveRun& run) const override { return !run.profileValue("Ping").empty(); }
    void announce(LiveRun& run) override {
        LiveRequest ping;
        ping.method = Method::Post;
        ping.url = run.profileValue("Ping");
        ping.headers = {{"Content-Type", "text/plain"}};
        ping.body = "hi";
        LiveAnswer answer = run.send("Ping", std::move(ping));
        if (answer.status / 100 == 2)
            run.accepted("Ping");
        else
            run.refused("Ping refused: " + std::to_string(answer.status));
    }
};

TEST_F(SubmissionRunTest, LiveChannelsFollowTheCatalogueOrStandAloneAndReportLikeIt) {
    // The site answers the probe of the profile URL, and has neither robots.txt nor a sitemap;
    // the ping target answers 200, then 403, then not before Stop.
    using S = ScriptedServer;
    const auto site = [](ScriptedServer::Script ping) {
        return std::vector<ScriptedServer::Script>{{S::send("HTTP/1.0 200 OK\r\n\r\nsite")},
                                                   {S::send("HTTP/1.0 404 Not Found\r\n\r\n")},
                                                   {S::send("HTTP/1.0 404 Not Found\r\n\r\n")},
                                                   std::move(ping)};
    };
    std::vector<ScriptedServer::Script> scripts;
    for (ScriptedServer::Script ping :
         {ScriptedServer::Script{S::send("HTTP/1.0 200 OK\r\n\r\n")},
          ScriptedServer::Script{S::send("HTTP/1.0 403 Forbidden\r\n\r\n")},
          ScriptedServer::Script{S::holdOpen(std::chrono::milliseconds(10000))}})
        for (ScriptedServer::Script& script : site(std::move(ping)))
            scripts.push_back(std::move(script));
    ScriptedServer server(std::move(scripts));
    const std::string base = "http://127.0.0.1:" + std::to_string(server.port());
    run.addChannel(std::make_unique<PingChannel>());
    run.setProfileDirectory(dir.str());
    host.store.save(completeProfile("Alpha", base + "/"), {{"Ping", base + "/in"}});
    save(completeProfile("Beta"));
    selectProfiles({"Alpha", "Beta"});
    run.GoButtonClick();
    // Alpha's 32 entries, the reading of its site (probe, robots.txt, sitemap) and its ping,
    // then Beta's 32 entries; Beta has no key.
    ASSERT_EQ(client.calls.size(), 64u);
    EXPECT_EQ(run.ResultCount(), 65);
    const std::vector<std::string> engines = engineColumn();
    EXPECT_EQ(std::count(engines.begin(), engines.end(), "Ping"), 1);
    ASSERT_EQ(host.records.size(), 68u);
    EXPECT_EQ(host.records[32].engine, "Site");
    EXPECT_EQ(host.records[33].url, base + "/robots.txt");
    EXPECT_EQ(host.records[34].url, base + "/sitemap.xml");
    EXPECT_EQ(host.records[35].engine, "Ping");
    EXPECT_EQ(host.records[35].method, "POST");
    EXPECT_EQ(host.records[35].url, base + "/in");
    EXPECT_EQ(host.records[35].status, std::optional<int>(200));
    EXPECT_FALSE(run.liveRefused());

    // Without the catalogue only the channel sends; a refusal is a log line, not a row.
    run.setCatalogueEnabled(false);
    client.calls.clear();
    run.GoButtonClick();
    EXPECT_TRUE(client.calls.empty());
    EXPECT_EQ(run.ResultCount(), 65);
    EXPECT_EQ(host.log.back(), "Ping refused: 403");
    EXPECT_TRUE(run.liveRefused());

    // Stop during the channel's request ends the run as Stop does for the catalogue.
    host.onLabel = [&](const std::string& label) {
        if (label.find("to Ping") == std::string::npos) return;
        EventLoop::instance().startTimer(std::chrono::milliseconds(100), EventLoop::TimerMode::SingleShot,
                                         [&] { run.StopButtonClick(); });
    };
    const auto started = std::chrono::steady_clock::now();
    const std::size_t lines = host.log.size();
    run.GoButtonClick();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    EXPECT_EQ(host.records.back().outcome, RequestRecord::Outcome::Stopped);
    // Only the reading of the site said something (its sitemap is missing); nothing refused.
    for (std::size_t i = lines; i < host.log.size(); ++i)
        EXPECT_EQ(host.log[i].rfind("sitemap of Alpha: ", 0), 0u) << host.log[i];
    EXPECT_FALSE(run.liveRefused());
    EXPECT_EQ(host.messages.back(), "Done!");
}

TEST(SubmissionRunSelection, TheMarkedRowsCountWhenAnyIsMarkedElseTheRectangleBelowTheHeader) {
    TReportGrid list(1, 2, 0, 1);
    fillSubmissionList(list, {"d", "b", "a", "c"});
    list.SetSelection({0, 0, 0, 2});
    EXPECT_EQ(SubmissionRun::selectedProfiles(list), (std::vector<std::string>{"a", "b"}));
    // Rows highlighted apart with Ctrl are marked: then the marks are what is submitted, in
    // list order, whatever the rectangle holds.
    list.SetRowMarked(4, true);
    list.SetRowMarked(1, true);
    list.SetSelection({0, 2, 0, 3});
    EXPECT_EQ(SubmissionRun::selectedProfiles(list), (std::vector<std::string>{"a", "d"}));
}

} // namespace
