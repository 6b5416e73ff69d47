// 'larkspan submit' as the built program, against the engine simulator on loopback.
#include "core/Config.h"
#include "core/profiles/SiteProfile.h"
#include "support/TestCertificates.h"
#include "tests/common/RunProgram.h"
#include "tests/common/TempDir.h"
#include "tests/core/support/RunTestSupport.h"
#include "tools/simulator/EngineSimulator.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

class SubmitCommandTest : public ::testing::Test {
protected:
    TempDir profiles;
    TempDir work; // the working directory, where reports land
    TempDir configHome;
    std::unique_ptr<EngineSimulator> simulator;

    void SetUp() override {
        ProfileFiles store(profiles.str());
        store.save(completeProfile("Alpha", "http://alpha.example/"));
        store.save(completeProfile("Zeta", "http://zeta.example/"));
        SiteProfile incomplete = completeProfile("Draft");
        incomplete[fEMail] = "";
        store.save(incomplete);
    }

    // Runs larkspan with the arguments in the working directory, without any user
    // configuration; interruptAfterMs sends SIGINT that long after the start.
    ProgramResult larkspan(const std::vector<std::string>& args, int interruptAfterMs = -1) {
        RunOptions options;
        options.environment.insert("XDG_CONFIG_HOME", QString::fromStdString(configHome.str()));
        options.environment.insert("QT_QPA_PLATFORM", "offscreen");
        options.workingDirectory = QString::fromStdString(work.str());
        options.interruptAfterMs = interruptAfterMs;
        return runLarkspan(args, options);
    }
    std::vector<std::string> submit(std::vector<std::string> extra) {
        std::vector<std::string> args{"submit", "--dir", profiles.str(), "--proxy", simulator->address()};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }
    static std::vector<std::string> lines(const std::string& text) {
        std::vector<std::string> result;
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find('\n', start);
            result.push_back(text.substr(start, end - start));
            if (end == std::string::npos) break;
            start = end + 1;
        }
        return result;
    }
};

TEST_F(SubmitCommandTest, RunsTheProfilesInListOrderAndPrintsLogTableAndDone) {
    simulator = std::make_unique<EngineSimulator>(std::vector<std::string>{"/submit=refuse"});
    ProgramResult o = larkspan(submit({"Zeta", "Draft", "Alpha"}));
    // The others are submitted; the incomplete one is named with what it lacks.
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_EQ(o.err, "larkspan: \"Draft\" was not submitted: fill in EMail\n");
    std::vector<std::string> out = lines(o.out);
    // The list's order is Alpha, Draft, Zeta: Alpha's failure comes first, then Draft's check.
    ASSERT_GE(out.size(), 3u);
    EXPECT_EQ(out[0], "Failed to contact Alexa (method 2). Site might be down.");
    EXPECT_EQ(out[1], "Please complete all fields!");
    // Only the engines that answered: the shared service's entries are not listed, so the
    // widest name is now "Northern Light".
    EXPECT_EQ(out[2], "Engine         URLs Submitted");
    EXPECT_EQ(out[3], "Alexa          Alpha");
    EXPECT_EQ(out[4], "Alexa          Zeta");
    // Header, 2 x 17 rows, the footer's two rows, "Done!".
    ASSERT_EQ(out.size(), 2u + 1u + 34u + 2u + 1u);
    EXPECT_EQ(out[out.size() - 3], "More Info:     This report prepared by Larkspan. Latest version from:");
    EXPECT_EQ(out[out.size() - 2], "               http://www.tessaly.com/Larkspan/Default.htm");
    EXPECT_EQ(out.back(), "Done!");

    const auto received = simulator->requests();
    ASSERT_EQ(received.size(), 2u * 17u + 1u);
    EXPECT_NE(received.front().body.find("alpha%2Eexample"), std::string::npos);
    EXPECT_NE(received.back().body.find("http://zeta.example/"), std::string::npos);
}

TEST_F(SubmitCommandTest, SavesTheReportsInTheGivenOrderInTheWorkingDirectory) {
    simulator = std::make_unique<EngineSimulator>();
    ProgramResult o = larkspan(submit({"--save", "asc,htm,txt,csv,master,pdf", "Alpha"}));
    ASSERT_EQ(o.exitCode, 0) << o.err;
    std::vector<std::string> out = lines(o.out);
    const std::vector<std::string> names{"Larkspan.asc", "Larkspan.htm",        "Larkspan.txt",
                                         "Larkspan.csv", "Larkspan Master.csv", "Larkspan.pdf"};
    ASSERT_GE(out.size(), names.size() + 1);
    EXPECT_EQ(out[out.size() - names.size() - 1], "Done!");
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(out[out.size() - names.size() + i], work.str() + "/" + names[i]);
        EXPECT_TRUE(std::filesystem::exists(work / names[i])) << names[i];
    }
    // The column text holds every cell; the CSV leaves out the fixed header row and engine
    // column.
    const std::string asc = work.read("Larkspan.asc");
    EXPECT_NE(asc.find("Alexa (method 2)"), std::string::npos);
    EXPECT_NE(asc.find("Engine"), std::string::npos);
    const std::string csv = work.read("Larkspan.csv");
    EXPECT_EQ(csv.find("Engine"), std::string::npos);
    EXPECT_NE(csv.find("Alpha"), std::string::npos);
    EXPECT_EQ(work.read("Larkspan.pdf").substr(0, 5), "%PDF-");
}

TEST_F(SubmitCommandTest, RefusesBadRequestsBeforeSendingAnything) {
    simulator = std::make_unique<EngineSimulator>();
    ProgramResult o = larkspan(submit({"--save", "txt,pdq", "Alpha"}));
    EXPECT_EQ(o.exitCode, 2);
    EXPECT_NE(o.err.find("pdq"), std::string::npos) << o.err;
    o = larkspan(submit({"--save", "txt,,csv", "Alpha"}));
    EXPECT_EQ(o.exitCode, 2);
    o = larkspan(submit({"Alpha", "Nowhere"}));
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_NE(o.err.find("no profile named \"Nowhere\""), std::string::npos) << o.err;
    o = larkspan(submit({}));
    EXPECT_EQ(o.exitCode, 2);
    o = larkspan({"submit", "--dir", profiles.str(), "--proxy", "127.0.0.1:99999", "Alpha"});
    EXPECT_EQ(o.exitCode, 2);
    EXPECT_NE(o.err.find("--proxy"), std::string::npos) << o.err;
    EXPECT_TRUE(simulator->requests().empty());
    EXPECT_TRUE(std::filesystem::is_empty(work.path()));
}

TEST_F(SubmitCommandTest, TakesTheProxyFromTheConfigurationFile) {
    simulator = std::make_unique<EngineSimulator>();
    configHome.write("run.ini", "[Run]\nProxy=" + simulator->address() + "\n");
    ProgramResult o =
        larkspan({"submit", "--dir", profiles.str(), "--config", (configHome / "run.ini").string(), "Zeta"});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(simulator->requests().size(), 32u);
    EXPECT_EQ(lines(o.out).back(), "Done!");
}

TEST_F(SubmitCommandTest, HttpsHostsGetTheBytesOfPlainHttpAndABadCertificateGetsNone) {
    const TestCertificates& certs = TestCertificates::get();
    ASSERT_EQ(certs.error(), "");
    auto configure = [&](const char* name, const char* scheme) {
        std::string ini = "[Run]\nCAFile=" + certs.ca() + "\n[Hosts]\n";
        for (std::size_t i = 0; i < HostSlotCount; ++i)
            ini += Config().hostKey(static_cast<HostSlot>(i)) + "=" + scheme + simulator->address() + "\n";
        configHome.write(name, ini);
        return (configHome / name).string();
    };
    auto run = [&](const std::string& config) {
        return larkspan({"submit", "--dir", profiles.str(), "--config", config, "Zeta"});
    };
    simulator =
        std::make_unique<EngineSimulator>(std::vector<std::string>{}, EngineSimulator::defaultScript(),
                                          EngineSimulator::Tls{certs.path("server.pem"), certs.key()});
    ASSERT_EQ(run(configure("plain.ini", "")).exitCode, 0);
    ProgramResult secure = run(configure("secure.ini", "https://"));
    ASSERT_EQ(secure.exitCode, 0) << secure.err;
    EXPECT_EQ(secure.out.find("Failed"), std::string::npos) << secure.out;
    const auto received = simulator->requests();
    ASSERT_EQ(received.size(), 64u);
    for (std::size_t i = 0; i < 32; ++i) {
        EXPECT_FALSE(received[i].tls);
        EXPECT_TRUE(received[32 + i].tls);
        EXPECT_EQ(received[32 + i].raw, received[i].raw);
    }

    simulator =
        std::make_unique<EngineSimulator>(std::vector<std::string>{}, EngineSimulator::defaultScript(),
                                          EngineSimulator::Tls{certs.path("expired.pem"), certs.key()});
    ProgramResult expired = run(configure("expired.ini", "https://"));
    ASSERT_EQ(expired.exitCode, 0) << expired.err;
    EXPECT_NE(expired.out.find("Failed to contact Alexa. Site might be down."), std::string::npos)
        << expired.out;
    EXPECT_EQ(lines(expired.out).back(), "Done!");
    EXPECT_TRUE(simulator->requests().empty());
}

TEST_F(SubmitCommandTest, CtrlCStopsTheRunAndPrintsWhatWasDone) {
    simulator = std::make_unique<EngineSimulator>(std::vector<std::string>{"www.google.com=delay:5000"});
    ProgramResult o = larkspan(submit({"Alpha"}), 1000);
    EXPECT_EQ(o.exitCode, 130) << o.err;
    EXPECT_LT(o.milliseconds, 4000);
    std::vector<std::string> out = lines(o.out);
    // Eleven answered rows; Google, stopped, has none.
    ASSERT_EQ(out.size(), 1u + 11u + 2u + 1u) << o.out;
    EXPECT_EQ(out.back(), "Done!");
    EXPECT_EQ(simulator->requests().size(), 12u);
}

} // namespace
