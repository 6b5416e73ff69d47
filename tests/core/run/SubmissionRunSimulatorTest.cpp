// Runs against the engine simulator on 127.0.0.1 through the program's HTTP client, with the
// simulator as the proxy, so every request names the engine's own host.
#include "core/run/SubmissionRun.h"

#include "core/Config.h"
#include "core/catalogue/EngineCatalog.h"
#include "core/run/HttpRunClient.h"
#include "grid/TextExport.h"
#include "platform/Text.h"
#include "tests/common/TempDir.h"
#include "tests/core/support/RunFakes.h"
#include "tests/core/support/RunTestSupport.h"
#include "tools/simulator/EngineSimulator.h"

#include <QElapsedTimer>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace {

class SimulatorRunTest : public ::testing::Test {
protected:
    TempDir dir;
    Config config;
    FakeRunHost host{dir.str()};
    HttpRunClient client;
    std::unique_ptr<EngineSimulator> simulator;
    std::unique_ptr<SubmissionRun> run;

    void start(const std::vector<std::string>& rules = {}) {
        simulator = std::make_unique<EngineSimulator>(rules);
        config.proxy = simulator->address();
        run = std::make_unique<SubmissionRun>(host, client, config);
        run->Start();
    }
    void submitAll() {
        host.listProfiles();
        host.select(1, host.list.RowCount() - 1);
        run->GoButtonClick();
    }
    int requestsTo(const std::string& host) const {
        int n = 0;
        for (const auto& r : simulator->requests())
            n += r.host == host ? 1 : 0;
        return n;
    }
    std::vector<std::string> engineColumn() const {
        std::vector<std::string> names;
        for (int row = 1; row <= run->ResultCount(); ++row)
            names.push_back(host.grid.CellText(0, row));
        return names;
    }
};

TEST_F(SimulatorRunTest, OneCompleteProfileGives32SortedRowsThenTheFooter) {
    start();
    host.store.save(completeProfile("Garden"));
    submitAll();

    ASSERT_EQ(run->ResultCount(), 32);
    std::vector<std::string> names = engineColumn();
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    EXPECT_EQ(names[0], "Alexa");
    EXPECT_EQ(names[1], "Alexa (method 2)");
    EXPECT_EQ(names[2], "AltaVista");
    expectFooter(host.grid, 32, config.footerAddress());
    EXPECT_TRUE(host.log.empty()) << host.log.front();
    EXPECT_EQ(host.messages, std::vector<std::string>{"Done!"});

    // The simulator saw the catalogue's requests in order, each to its engine's host.
    SubmissionFields fields;
    PrepareProfile(fields, completeProfile("Garden"));
    const std::vector<EngineEntry> catalog = engineCatalog(config);
    const auto received = simulator->requests();
    ASSERT_EQ(received.size(), 32u);
    for (std::size_t i = 0; i < catalog.size(); ++i) {
        EngineRequest expected = PrepareRequest(fields, catalog[i]);
        EXPECT_TRUE(received[i].proxy);
        EXPECT_EQ(received[i].host, catalog[i].SubmitHost.substr(0, catalog[i].SubmitHost.find(':')));
        EXPECT_EQ(received[i].method, expected.method == "get" ? "GET" : "POST") << i;
        // The client sends spaces in the request line as %20.
        EXPECT_EQ(received[i].target, replaceAll(expected.url, " ", "%20")) << i;
        EXPECT_EQ(received[i].body, expected.body) << i;
    }
}

TEST_F(SimulatorRunTest, TwoProfilesGive64RowsAndOneFooter) {
    start();
    host.store.save(completeProfile("Alpha"));
    host.store.save(completeProfile("Beta"));
    submitAll();
    ASSERT_EQ(run->ResultCount(), 64);
    std::vector<std::string> names = engineColumn();
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    expectFooter(host.grid, 64, config.footerAddress());
    EXPECT_EQ(simulator->requests().size(), 64u);
}

TEST_F(SimulatorRunTest, AnIncompleteProfileAddsNoRowAndTheNextIsStillSent) {
    start();
    SiteProfile incomplete = completeProfile("Alpha");
    incomplete[fCountry] = "";
    host.store.save(incomplete);
    host.store.save(completeProfile("Beta"));
    submitAll();
    EXPECT_EQ(host.messages, (std::vector<std::string>{"Please complete all fields!", "Done!"}));
    ASSERT_EQ(run->ResultCount(), 32);
    for (int row = 1; row <= 32; ++row)
        EXPECT_EQ(host.grid.CellText(1, row), "Beta");
    EXPECT_EQ(simulator->requests().size(), 32u);
}

TEST_F(SimulatorRunTest, WithTheSharedServiceFailingOnlyItsFirstEntryIsSent) {
    start({"/submit=refuse"});
    host.store.save(completeProfile("Garden"));
    submitAll();

    EXPECT_EQ(host.log, std::vector<std::string>{"Failed to contact Alexa (method 2). Site might be down."});
    EXPECT_EQ(host.statusesAfterLabel("Submitting http://www.example.com/ to Alexa (method 2)"),
              std::vector<std::string>{"Failed to connect to Alexa (method 2). Site may be down."});
    EXPECT_EQ(requestsTo("www.submit-it.com"), 1);
    EXPECT_EQ(simulator->requests().size(), 17u + 1u); // the own endpoints and the one try
    // The fourteen later shared entries sent nothing and left the status line alone; neither
    // they nor the one that failed keep a row.
    ASSERT_EQ(run->ResultCount(), 17);
    int sharedRows = 0;
    for (const EngineEntry& e : engineCatalog(config)) {
        if (e.Host != HostSlot::Shared || e.DisplayName == "Alexa (method 2)") continue;
        ++sharedRows;
        // The last entry's status is cleared by the end of the run, and by nothing else.
        const auto statuses =
            host.statusesAfterLabel("Submitting http://www.example.com/ to " + e.DisplayName);
        EXPECT_EQ(statuses,
                  e.DisplayName == "WhatUSeek" ? std::vector<std::string>{""} : std::vector<std::string>{})
            << e.DisplayName;
        std::vector<std::string> names = engineColumn();
        EXPECT_EQ(std::count(names.begin(), names.end(), e.DisplayName), 0) << e.DisplayName;
    }
    EXPECT_EQ(sharedRows, 14);
}

TEST_F(SimulatorRunTest, WithoutAnnouncedLengthTheProgressCountsAgainstTheCatalogueSize) {
    start({"www.lycos.com=nolength", "/submit=nolength"});
    host.store.save(completeProfile("Garden"));
    submitAll();
    auto endsWith = [](const std::string& text, const std::string& end) {
        return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
    };
    auto statuses = host.statusesAfterLabel("Submitting http://www.example.com/ to Lycos");
    ASSERT_GE(statuses.size(), 2u);
    for (std::size_t i = 0; i + 1 < statuses.size(); ++i)
        EXPECT_TRUE(endsWith(statuses[i], " of 8065 bytes retrieved")) << statuses[i];
    EXPECT_EQ(statuses[statuses.size() - 2], "8065 of 8065 bytes retrieved");
    EXPECT_EQ(statuses.back(), "Processing Lycos");

    statuses = host.statusesAfterLabel("Submitting http://www.example.com/ to Lycos (method 2)");
    ASSERT_GE(statuses.size(), 2u);
    EXPECT_EQ(statuses[statuses.size() - 2], "9000 of 9000 bytes retrieved");

    // An announced length counts instead: AltaVista's page is 7421 bytes.
    statuses = host.statusesAfterLabel("Submitting http://www.example.com/ to AltaVista");
    ASSERT_GE(statuses.size(), 2u);
    EXPECT_EQ(statuses[statuses.size() - 2], "7421 of 7421 bytes retrieved");
    EXPECT_TRUE(host.log.empty());
}

TEST_F(SimulatorRunTest, PauseHoldsTheNextRequestWhileTheEventLoopRuns) {
    start();
    host.store.save(completeProfile("Garden"));
    std::size_t requestsAtPause = 0;
    std::size_t requestsAtResume = 0;
    int ticksWhilePaused = 0;
    QElapsedTimer paused;
    host.onLabel = [&](const std::string& label) {
        if (label != "Submitting http://www.example.com/ to Google") return;
        run->PauseButtonClick();
        paused.start();
        // The user comes back 400 ms later; meanwhile the run only pumps events.
        QTimer::singleShot(400, [&] {
            requestsAtResume = simulator->requests().size();
            run->PauseButtonClick();
        });
    };
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ticksWhilePaused += run->Paused() ? 1 : 0; });
    ticker.start(50);
    host.onWait = [&] {
        if (requestsAtPause == 0) requestsAtPause = simulator->requests().size();
        EventLoop::instance().pump(EventLoop::PumpMode::WaitForEvents);
    };
    submitAll();
    EXPECT_GE(paused.elapsed(), 350);
    EXPECT_EQ(requestsAtPause, 12u); // Google itself was already on its way
    EXPECT_EQ(requestsAtResume, 12u);
    EXPECT_GE(ticksWhilePaused, 4);
    EXPECT_EQ(simulator->requests().size(), 32u);
    EXPECT_EQ(run->ResultCount(), 32);
    EXPECT_EQ(host.pause, "Pause");
}

TEST_F(SimulatorRunTest, StopAbortsTheWaitingRequestAndALaterRunSendsItAgain) {
    start({"www.google.com=delay:1500"});
    host.store.save(completeProfile("Garden"));
    QElapsedTimer elapsed;
    host.onLabel = [&](const std::string& label) {
        if (label == "Submitting http://www.example.com/ to Google" && !elapsed.isValid()) {
            elapsed.start();
            QTimer::singleShot(200, [&] { run->StopButtonClick(); });
        }
    };
    submitAll();
    EXPECT_LT(elapsed.elapsed(), 1200) << "Stop must not wait for the answer";
    EXPECT_EQ(run->ResultCount(), 11); // Google was not answered
    expectFooter(host.grid, 11, config.footerAddress());
    EXPECT_EQ(host.messages, std::vector<std::string>{"Done!"});
    EXPECT_TRUE(host.log.empty());
    EXPECT_TRUE(run->FailedURLs().empty());
    EXPECT_EQ(simulator->requests().size(), 12u);

    // The next run continues below the eleven rows and sends Google again, to the end.
    host.onLabel = nullptr;
    run->GoButtonClick();
    EXPECT_EQ(requestsTo("www.google.com"), 2);
    EXPECT_EQ(simulator->requests().size(), 12u + 32u);
    EXPECT_EQ(run->ResultCount(), 43);
    expectFooter(host.grid, 43, config.footerAddress());
    EXPECT_TRUE(host.log.empty());
}

TEST_F(SimulatorRunTest, TheBodyBoundAndTheDeadlineEndRequestsThatWouldHoldTheRun) {
    config.maxBodySize = 10000;
    config.requestDeadlineSeconds = 1;
    // Lycos sends far more than the bound; Google trickles 10 KiB over 2 s, each piece well
    // within the 5 s wait, so only the deadline stops it.
    start({"www.lycos.com=size:200000", "www.google.com=size:10240,slow:200"});
    host.store.save(completeProfile("Garden"));
    QElapsedTimer elapsed;
    elapsed.start();
    submitAll();
    EXPECT_LT(elapsed.elapsed(), 4000);
    EXPECT_EQ(host.log, (std::vector<std::string>{"Failed to contact Google. Site might be down.",
                                                  "Failed to contact Lycos. Site might be down."}));
    EXPECT_EQ(run->ResultCount(), 30);
    EXPECT_EQ(simulator->requests().size(), 32u);
}

// Only engines that answered are listed: a request that failed and the entries skipped after
// their target failed take their rows out again, in the table, its count and its exports. An
// error page is an answer.
TEST(SimulatorRunRows, OnlyAnsweredRequestsKeepTheirResultRows) {
    struct Case {
        const char* name;
        std::vector<std::string> rules;
        // The entries whose requests failed, and whether the shared service's were left out.
        std::vector<std::string> failed;
        bool sharedDown;
    };
    const std::vector<Case> cases = {
        {"one engine down", {"www.switchboard.com=refuse"}, {"Switchboard"}, false},
        {"shared service down", {"/submit=refuse"}, {"Alexa (method 2)"}, true},
        {"both, and an error page",
         {"www.switchboard.com=refuse", "/submit=refuse", "www.lycos.com=status:500"},
         {"Alexa (method 2)", "Switchboard"},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        Config config;
        EngineSimulator simulator(c.rules);
        config.proxy = simulator.address();
        FakeRunHost host(dir.str());
        HttpRunClient client;
        SubmissionRun run(host, client, config);
        run.Start();
        host.store.save(completeProfile("Garden"));
        host.listProfiles();
        host.select(1, 1);
        run.GoButtonClick();

        std::vector<std::string> answered;
        std::vector<std::string> logged;
        for (const EngineEntry& e : engineCatalog(config)) {
            const bool failed = std::find(c.failed.begin(), c.failed.end(), e.DisplayName) != c.failed.end();
            if (failed) logged.push_back("Failed to contact " + e.DisplayName + ". Site might be down.");
            if (!failed && !(c.sharedDown && e.Host == HostSlot::Shared)) answered.push_back(e.DisplayName);
        }
        std::sort(answered.begin(), answered.end());
        EXPECT_EQ(host.log, logged);
        ASSERT_EQ(run.ResultCount(), static_cast<int>(answered.size()));
        std::vector<std::string> names;
        for (int row = 1; row <= run.ResultCount(); ++row)
            names.push_back(host.grid.CellText(0, row));
        EXPECT_EQ(names, answered);
        expectFooter(host.grid, run.ResultCount(), config.footerAddress());

        std::string csv = "Engine,URLs Submitted\r\n";
        for (const std::string& name : answered)
            csv += (name.find(',') == std::string::npos ? name : '"' + name + '"') + ",Garden\r\n";
        csv += "More Info:,This report prepared by Larkspan. Latest version from:\r\n";
        csv += "\"\"," + config.footerAddress() + "\r\n";
        ExportCsv(host.grid, dir.str() + "/results.csv");
        EXPECT_EQ(dir.read("results.csv"), csv);
    }
}

} // namespace
