// The request records of 'larkspan submit' (--log and the kept runs) and 'larkspan log', as the
// built program, against the engine simulator on loopback.
#include "core/catalogue/EngineCatalog.h"
#include "core/profiles/SiteProfile.h"
#include "tests/common/RunProgram.h"
#include "tests/common/TempDir.h"
#include "tests/core/support/RunTestSupport.h"
#include "tools/simulator/EngineSimulator.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace {

class RequestLogCommandTest : public ::testing::Test {
protected:
    TempDir profiles;
    TempDir work;
    TempDir state; // XDG_STATE_HOME
    std::unique_ptr<EngineSimulator> simulator;

    void SetUp() override {
        ProfileFiles(profiles.str()).save(completeProfile("Alpha", "http://alpha.example/"));
    }
    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_STATE_HOME", QString::fromStdString(state.str()));
        env.insert("XDG_CONFIG_HOME", QString::fromStdString(work.str()));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        return env;
    }
    ProgramResult larkspan(const std::vector<std::string>& args) {
        RunOptions options;
        options.environment = environment();
        options.workingDirectory = QString::fromStdString(work.str());
        return runLarkspan(args, options);
    }
    std::vector<std::string> submit(std::vector<std::string> extra) {
        std::vector<std::string> args{"submit", "--dir", profiles.str(), "--proxy", simulator->address()};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }
    std::filesystem::path runs() const { return state / "larkspan/runs"; }
    std::vector<std::filesystem::path> keptFiles() const {
        std::vector<std::filesystem::path> files;
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(runs(), ec))
            files.push_back(e.path());
        std::sort(files.begin(), files.end());
        return files;
    }
};

// The lines of a records file, each checked to be complete and one JSON object (the form of the
// line itself is the unit tests' business).
std::vector<QJsonObject> records(const std::string& text) {
    std::vector<QJsonObject> result;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        EXPECT_NE(end, std::string::npos) << "an unfinished line: " << text.substr(start);
        if (end == std::string::npos) break;
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
        EXPECT_TRUE(error.error == QJsonParseError::NoError && doc.isObject()) << line;
        result.push_back(doc.object());
    }
    return result;
}

TEST_F(RequestLogCommandTest, SubmitWritesTheRecordsAndLogPrintsTheKeptRuns) {
    simulator = std::make_unique<EngineSimulator>(std::vector<std::string>{"www.google.com=status:404"});
    ProgramResult o = larkspan({"log"});
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_EQ(o.err, "larkspan: no kept run in " + runs().string() + "\n");

    o = larkspan(submit({"--log", work.file("first.jsonl"), "Alpha"}));
    ASSERT_EQ(o.exitCode, 0) << o.err;
    const std::string first = work.read("first.jsonl");
    const std::vector<QJsonObject> written = records(first);
    ASSERT_EQ(written.size(), 32u);
    const std::vector<EngineEntry> catalog = engineCatalog();
    for (std::size_t i = 0; i < catalog.size(); ++i)
        EXPECT_EQ(written[i].value("engine").toString().toStdString(), catalog[i].DisplayName);
    EXPECT_EQ(written[11].value("status").toInt(), 404);
    ASSERT_EQ(keptFiles().size(), 1u);
    EXPECT_EQ(readFile(keptFiles()[0]), first);

    // "-" makes standard output the records' alone; what people read goes to standard error.
    o = larkspan(submit({"--log", "-", "--save", "txt", "Alpha"}));
    ASSERT_EQ(o.exitCode, 0) << o.err;
    const std::string objects = o.out;
    EXPECT_EQ(records(objects).size(), 32u);
    EXPECT_NE(o.err.find("\nGoogle                          Alpha\n"), std::string::npos) << o.err;
    EXPECT_TRUE(o.err.ends_with("\nDone!\n" + work.file("Larkspan.txt") + "\n")) << o.err;
    ASSERT_EQ(keptFiles().size(), 2u);

    o = larkspan({"log"});
    EXPECT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(o.out, objects);
    o = larkspan({"log", "--run", "2"});
    EXPECT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(o.out, first);
    // A line that holds no record (a disk that filled up, an editor) is left out and counted.
    writeFile(keptFiles()[0], first + "{\"time\": \"2026-12-07T\n\n" + first.substr(0, first.find('\n') + 1));
    o = larkspan({"log", "--run", "2"});
    EXPECT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(o.out, first + first.substr(0, first.find('\n') + 1));
    EXPECT_EQ(o.err, "larkspan: 1 line of " + keptFiles()[0].string() + " is not a record\n");
    o = larkspan({"log", "--run", "3"});
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_EQ(o.err, "larkspan: --run 3: only 2 kept runs in " + runs().string() + "\n");
    EXPECT_EQ(larkspan({"log", "--run", "0"}).exitCode, 2);

    // A records file that cannot be made stops the command before anything is sent.
    const std::size_t sent = simulator->requests().size();
    o = larkspan(submit({"--log", work.file("no/such/dir/x.jsonl"), "Alpha"}));
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_NE(o.err.find("Cannot create " + work.file("no/such/dir/x.jsonl")), std::string::npos) << o.err;
    EXPECT_EQ(simulator->requests().size(), sent);
}

TEST_F(RequestLogCommandTest, AKilledRunLeavesOnlyCompleteRecords) {
    // Each request takes a while, so the run is surely in the middle of one when it is killed.
    simulator = std::make_unique<EngineSimulator>(std::vector<std::string>{"*=delay:150"});
    QProcess p;
    p.setProcessEnvironment(environment());
    p.setWorkingDirectory(QString::fromStdString(work.str()));
    QStringList args;
    for (const std::string& a : submit({"Alpha"}))
        args << QString::fromStdString(a);
    p.start(LARKSPAN_BINARY_DIR "/app/larkspan", args);
    ASSERT_TRUE(p.waitForStarted(10000));
    std::string seen;
    for (int i = 0; i < 1000 && std::count(seen.begin(), seen.end(), '\n') < 6; ++i) {
        QThread::msleep(20);
        if (!keptFiles().empty()) seen = readFile(keptFiles()[0]);
    }
    p.kill();
    ASSERT_TRUE(p.waitForFinished(10000));
    ASSERT_EQ(p.exitStatus(), QProcess::CrashExit);

    ASSERT_EQ(keptFiles().size(), 1u);
    const std::string kept = readFile(keptFiles()[0]);
    const std::vector<QJsonObject> lines = records(kept);
    EXPECT_GE(lines.size(), 6u);
    EXPECT_LT(lines.size(), 32u);
    const std::vector<EngineEntry> catalog = engineCatalog();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].value("engine").toString().toStdString(), catalog[i].DisplayName);
        EXPECT_EQ(lines[i].value("outcome").toString(), "answered");
        EXPECT_GE(lines[i].value("ms").toInt(), 140);
    }
}

} // namespace
