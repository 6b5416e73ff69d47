// The records of a run through the program's HTTP client against the engine simulator, with
// the simulator as the proxy: one of each outcome, in the order of the requests.
#include "core/run/SubmissionRun.h"

#include "core/run/RequestRecorder.h"

#include "core/Config.h"
#include "core/catalogue/EngineCatalog.h"
#include "core/run/HttpRunClient.h"
#include "tests/common/TempDir.h"
#include "tests/core/support/RunFakes.h"
#include "tests/core/support/RunTestSupport.h"
#include "tools/simulator/EngineSimulator.h"

#include <QTimer>
#include <gtest/gtest.h>
#include <tuple>

namespace {

using Outcome = RequestRecord::Outcome;

TEST(RunRecords, EveryRequestIsRecordedInOrderWithWhatBecameOfIt) {
    TempDir dir;
    Config config;
    config.requestDeadlineSeconds = 1;
    // Google answers 404; Lycos refuses; AltaVista trickles its page past the one-second
    // deadline; the shared service breaks off its answer, so its later entries are skipped;
    // WebCrawler, the last entry that is still sent, is stopped while it waits. Switchboard
    // sends its page without a status line: an answer without a status.
    EngineSimulator simulator({"www.google.com=status:404", "www.lycos.com=refuse",
                               "add-url.altavista.com=size:10240,slow:200", "/submit=close",
                               "www.webcrawler.com=delay:3000", "www.switchboard.com=noheader"});
    config.proxy = simulator.address();
    FakeRunHost host(dir.str());
    HttpRunClient client;
    SubmissionRun run(host, client, config);
    run.Start();
    host.store.save(completeProfile("Garden"));
    host.onLabel = [&](const std::string& label) {
        if (label == "Submitting http://www.example.com/ to WebCrawler")
            QTimer::singleShot(300, [&] { run.StopButtonClick(); });
    };
    host.listProfiles();
    host.select(1, 1);
    run.GoButtonClick();

    // The run ended at WebCrawler: its two shared entries after it were never reached.
    SubmissionFields fields;
    PrepareProfile(fields, completeProfile("Garden"));
    const std::vector<EngineEntry> catalog = engineCatalog(config);
    ASSERT_EQ(host.records.size(), 30u);
    // YYYY-MM-DDThh:mm:ss.mmmZ: digits everywhere but at the separators.
    auto utcMillis = [](const std::string& t) {
        const std::string shape = "dddd-dd-ddTdd:dd:dd.dddZ";
        if (t.size() != shape.size()) return false;
        for (std::size_t i = 0; i < t.size(); ++i)
            if (shape[i] == 'd' ? (t[i] < '0' || t[i] > '9') : t[i] != shape[i]) return false;
        return true;
    };
    for (std::size_t i = 0; i < host.records.size(); ++i) {
        const RequestRecord& r = host.records[i];
        const EngineEntry& entry = catalog[i];
        const EngineRequest request = PrepareRequest(fields, entry);
        SCOPED_TRACE(entry.DisplayName);
        EXPECT_EQ(r.engine, entry.DisplayName);
        EXPECT_EQ(r.profile, "Garden");
        EXPECT_EQ(r.method, entry.Method == "get" ? "GET" : "POST");
        EXPECT_EQ(r.url, request.url);
        EXPECT_TRUE(utcMillis(r.time)) << r.time;
        if (i > 0) {
            EXPECT_GE(r.time, host.records[i - 1].time);
        }

        const bool shared = entry.Host == HostSlot::Shared;
        if (entry.DisplayName == "Google") {
            EXPECT_EQ(r.outcome, Outcome::Answered);
            EXPECT_EQ(r.status, 404);
            EXPECT_EQ(r.reason, "Not Found");
            EXPECT_GT(r.bytes, 0);
        } else if (entry.DisplayName == "Lycos" || entry.DisplayName == "AltaVista" ||
                   entry.DisplayName == "Alexa (method 2)") {
            EXPECT_EQ(r.outcome, Outcome::Failed);
            EXPECT_EQ(r.status, std::nullopt);
            EXPECT_FALSE(r.message.empty());
            if (entry.DisplayName == "AltaVista") {
                EXPECT_GE(r.ms, 900);
                EXPECT_GT(r.bytes, 0); // what arrived before the deadline
                EXPECT_LT(r.bytes, 10240);
            }
        } else if (entry.DisplayName == "Switchboard") {
            EXPECT_EQ(r.outcome, Outcome::Answered);
            EXPECT_EQ(r.status, std::nullopt);
            EXPECT_EQ(r.reason, "");
            EXPECT_GT(r.bytes, 0);
        } else if (shared) {
            EXPECT_EQ(r.outcome, Outcome::Skipped);
            EXPECT_EQ(r.status, std::nullopt);
            EXPECT_EQ(r.bytes, 0);
            EXPECT_EQ(r.ms, 0);
        } else if (entry.DisplayName == "WebCrawler") {
            EXPECT_EQ(r.outcome, Outcome::Stopped);
            EXPECT_EQ(r.status, std::nullopt);
            EXPECT_GE(r.ms, 250);
            EXPECT_LT(r.ms, 2500);
        } else {
            EXPECT_EQ(r.outcome, Outcome::Answered);
            EXPECT_EQ(r.status, 200);
            EXPECT_EQ(r.reason, "OK");
            // The simulator's pages have the sizes that the catalogue names.
            EXPECT_GT(r.bytes, 0);
            if (entry.ExpectedSize != DefaultExpectedSize) {
                EXPECT_EQ(r.bytes, entry.ExpectedSize);
            }
        }
    }
    EXPECT_EQ(recordCounts(host.records), "14 answered (12 with 2xx), 3 failed, 12 skipped, 1 stopped");
    // The run's own texts are what they were without the records.
    EXPECT_EQ(host.log, (std::vector<std::string>{"Failed to contact Alexa (method 2). Site might be down.",
                                                  "Failed to contact AltaVista. Site might be down.",
                                                  "Failed to contact Lycos. Site might be down."}));
    EXPECT_EQ(host.messages, std::vector<std::string>{"Done!"});
    // Only the answered requests keep their rows, error statuses included.
    EXPECT_EQ(run.ResultCount(), 14);
}

} // namespace

// A live request is one record per hop, timed by the client; how the last hop ended decides
// the record's outcome.
TEST(RunRecords, ALiveRequestIsOneRecordPerHop) {
    using Ending = RequestRecorder::Ending;
    struct Case {
        const char* name;
        LiveAnswer answer;
        Ending ending;
        // Per record: method, url, status (0 for none), outcome, message.
        std::vector<std::tuple<std::string, std::string, int, Outcome, std::string>> records;
    };
    const std::string a = "https://site.test/a", b = "https://site.test/b";
    auto answer = [](std::vector<LiveHop> hops, std::string error) {
        LiveAnswer result;
        result.hops = std::move(hops);
        result.error = std::move(error);
        return result;
    };
    const std::vector<Case> cases = {
        {"a 303 turns the next hop into a GET",
         answer({{a, 303, "See Other", 0, 5}, {b, 200, "OK", 10, 7}}, ""),
         Ending::Ran,
         {{"POST", a, 303, Outcome::Answered, ""}, {"GET", b, 200, Outcome::Answered, ""}}},
        {"a 307 keeps the method; the next hop got no answer",
         answer({{a, 307, "Temporary Redirect", 0, 5}, {b, 0, "", 0, 0}}, "connection refused"),
         Ending::Ran,
         {{"POST", a, 307, Outcome::Answered, ""}, {"POST", b, 0, Outcome::Failed, "connection refused"}}},
        {"no server reached",
         answer({}, "no answer within 60 s"),
         Ending::Ran,
         {{"POST", a, 0, Outcome::Failed, "no answer within 60 s"}}},
        {"stopped on its way",
         answer({}, "stopped"),
         Ending::Stopped,
         {{"POST", a, 0, Outcome::Stopped, ""}}},
        {"an answer past a bound",
         answer({{a, 200, "OK", 9000000, 30}}, "the answer exceeded 8 MiB"),
         Ending::Ran,
         {{"POST", a, 200, Outcome::Failed, "the answer exceeded 8 MiB"}}},
    };
    for (const Case& c : cases) {
        TempDir dir;
        FakeRunHost host(dir.str());
        RequestRecorder::recordHops(host, {"Garden", "IndexNow", "POST", a}, c.answer,
                                    std::chrono::system_clock::now(), c.ending);
        ASSERT_EQ(host.records.size(), c.records.size()) << c.name;
        for (std::size_t i = 0; i < c.records.size(); ++i) {
            const RequestRecord& r = host.records[i];
            const auto& [method, url, status, outcome, message] = c.records[i];
            EXPECT_EQ(r.method, method) << c.name;
            EXPECT_EQ(r.url, url) << c.name;
            EXPECT_EQ(r.status.value_or(0), status) << c.name;
            EXPECT_EQ(r.outcome, outcome) << c.name;
            EXPECT_EQ(r.message, message) << c.name;
            EXPECT_EQ(r.profile, "Garden") << c.name;
        }
    }
}
