#include "core/run/KeptRuns.h"

#include "core/run/RequestRecord.h"
#include "platform/StateDirectory.h"
#include "tests/common/TempDir.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace {

using namespace std::chrono;
using Outcome = RequestRecord::Outcome;

// 2026-12-07 11:30:00 UTC.
const system_clock::time_point Start = system_clock::from_time_t(1796643000);

RequestRecord answered() {
    RequestRecord r;
    r.time = recordTime(Start + milliseconds(250));
    r.profile = "Garden";
    r.engine = "Google";
    r.method = "GET";
    r.url = "http://www.google.com/addurl?q=x";
    r.status = 404;
    r.reason = "Not Found";
    r.bytes = 300;
    r.ms = 12;
    return r;
}

unsigned modeOf(const std::filesystem::path& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 0777;
}

TEST(RequestRecords, OneJsonObjectALineWithTheKeysInTheirOrder) {
    EXPECT_EQ(
        recordLine(answered()),
        "{\"time\": \"2026-12-07T11:30:00.250Z\", \"profile\": \"Garden\", \"engine\": \"Google\", "
        "\"method\": \"GET\", \"url\": \"http://www.google.com/addurl?q=x\", \"outcome\": \"answered\", "
        "\"status\": 404, \"reason\": \"Not Found\", \"bytes\": 300, \"ms\": 12}\n");

    // A failure has no status and its message as the reason; whatever bytes a profile holds,
    // the line stays one valid JSON object.
    RequestRecord failed = answered();
    failed.outcome = Outcome::Failed;
    failed.status.reset();
    failed.message = "10061:Connection refused";
    failed.profile = std::string("Caf\xC3\xA9 \"Quote\"\n\tand \xFF\x01 bytes");
    const std::string line = recordLine(failed);
    ASSERT_EQ(line.find('\n'), line.size() - 1);
    QJsonParseError error{};
    const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << line;
    EXPECT_TRUE(o.value("status").isNull());
    EXPECT_EQ(o.value("reason").toString(), "10061:Connection refused");
    EXPECT_EQ(o.value("outcome").toString(), "failed");
    EXPECT_EQ(o.value("profile").toString(),
              QString::fromUtf8("Caf\xC3\xA9 \"Quote\"\n\tand \xEF\xBF\xBD\x01 bytes"));

    // Skipped and stopped requests say nothing in the reason, even with a message left over.
    failed.outcome = Outcome::Stopped;
    EXPECT_NE(recordLine(failed).find("\"outcome\": \"stopped\", \"status\": null, \"reason\": \"\","),
              std::string::npos);

    RequestRecord skipped;
    skipped.outcome = Outcome::Skipped;
    EXPECT_EQ(recordCounts({answered(), failed, skipped}),
              "1 answered (0 with 2xx), 0 failed, 1 skipped, 1 stopped");
    RequestRecord ok = answered();
    ok.status = 204;
    EXPECT_EQ(recordCounts({ok, ok, skipped}), "2 answered (2 with 2xx), 0 failed, 1 skipped");
}

TEST(RequestRecords, ALineReadsBackAsTheRecordThatWroteIt) {
    RequestRecord odd = answered();
    odd.profile = "Caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x8C\xBF";
    const char reason[] = "Not\tFound\r\n\x01\x1F\x7F \"quoted\" back\\slash \0nul";
    odd.reason.assign(reason, sizeof reason - 1);
    odd.url = "http://xn--caf-dma.test/\xC3\xA9?q=\"a\"&b=\\\n\x02";
    odd.bytes = std::int64_t{1} << 40;
    odd.ms = 0;
    RequestRecord failed = odd;
    failed.outcome = Outcome::Failed;
    failed.status.reset();
    failed.reason.clear();
    failed.message = "Connection refused \xE2\x80\x94 \x1B[31m";
    RequestRecord skipped;
    skipped.outcome = Outcome::Skipped;
    skipped.engine = "Alexa (method 2)";
    RequestRecord stopped = failed;
    stopped.outcome = Outcome::Stopped;
    stopped.message.clear();
    for (const RequestRecord& r : {answered(), odd, failed, skipped, stopped}) {
        const std::string line = recordLine(r);
        const std::optional<RequestRecord> back = parseRecordLine(line);
        ASSERT_TRUE(back.has_value()) << line;
        EXPECT_EQ(recordLine(*back), line);
        EXPECT_EQ(back->time, r.time);
        EXPECT_EQ(back->profile, r.profile);
        EXPECT_EQ(back->url, r.url);
        EXPECT_EQ(back->outcome, r.outcome);
        EXPECT_EQ(back->status, r.status);
        EXPECT_EQ(back->reason, r.reason);
        EXPECT_EQ(back->message, r.message);
        EXPECT_EQ(back->bytes, r.bytes);
    }

    // A file's lines: blank ones are passed over, those that hold no record counted.
    const std::string text = recordLine(odd) + "\n  \n" + "not json\n" + "[1, 2]\n" +
                             "{\"engine\": \"Google\", \"outcome\": \"vanished\"}\n" +
                             "{\"outcome\": \"failed\"}\n" + recordLine(failed).substr(0, 40) + "\n" +
                             "{\"engine\": \"Lycos\", \"outcome\": \"answered\", \"status\": \"200\"}\n" +
                             recordLine(skipped);
    const RecordLines read = parseRecordLines(text);
    EXPECT_EQ(read.unreadable, 5);
    ASSERT_EQ(read.records.size(), 3u);
    EXPECT_EQ(recordLine(read.records[0]), recordLine(odd));
    // Keys that are missing or of another type read as empty.
    EXPECT_EQ(read.records[1].engine, "Lycos");
    EXPECT_EQ(read.records[1].status, std::nullopt);
    EXPECT_EQ(read.records[1].time, "");
    EXPECT_EQ(recordLine(read.records[2]), recordLine(skipped));
    // A byte that is no UTF-8 is written as U+FFFD and read back as that character.
    RequestRecord broken = answered();
    broken.reason = "bad \xFF byte";
    EXPECT_EQ(parseRecordLine(recordLine(broken))->reason, "bad \xEF\xBF\xBD byte");
    TempDir dir;
    dir.write("run.jsonl", text);
    EXPECT_EQ(readRecordLines(dir.file("run.jsonl"))->records.size(), 3u);
    EXPECT_FALSE(readRecordLines(dir.file("absent.jsonl")).has_value());
}

TEST(KeptRuns, TheNewestHundredRunsAreKeptNamedByTheirStart) {
    TempDir dir;
    KeptRuns runs(dir.str());
    dir.write("notes.txt", "not a run\n");
    std::vector<std::string> made;
    for (int i = 0; i < 104; ++i)
        made.push_back(runs.create(Start + seconds(i)).name());
    // Two more in the last second: each gets a file of its own that sorts after the first.
    made.push_back(runs.create(Start + seconds(103) + milliseconds(400)).name());
    made.push_back(runs.create(Start + seconds(103) + milliseconds(800)).name());
    EXPECT_EQ(made.front(), dir.file("2026-12-07T113000Z.jsonl"));
    EXPECT_EQ(made[103], dir.file("2026-12-07T113143Z.jsonl"));
    EXPECT_EQ(made[104], dir.file("2026-12-07T113143Z_2.jsonl"));
    EXPECT_EQ(made[105], dir.file("2026-12-07T113143Z_3.jsonl"));
    EXPECT_EQ(modeOf(made.back()), 0600u);

    const std::vector<std::string> kept = runs.newestFirst();
    ASSERT_EQ(kept.size(), KeptRuns::Limit);
    EXPECT_EQ(kept[0], made[105]);
    EXPECT_EQ(kept[1], made[104]);
    EXPECT_EQ(kept[2], made[103]);
    EXPECT_EQ(kept.back(), made[6]);
    EXPECT_FALSE(std::filesystem::exists(made[5]));
    EXPECT_TRUE(std::filesystem::exists(dir / "notes.txt"));

    // A run whose clock was set back is still kept; the oldest other run makes room.
    const std::string early = runs.create(Start - hours(24)).name();
    EXPECT_TRUE(std::filesystem::exists(early));
    EXPECT_FALSE(std::filesystem::exists(made[6]));
    EXPECT_EQ(runs.newestFirst().size(), KeptRuns::Limit);
}

TEST(KeptRuns, ARunsFileIsMadeWithItsFirstRecordInAPrivateStateDirectory) {
    TempDir home;
    const char* saved = std::getenv("XDG_STATE_HOME");
    const std::string previous = saved ? saved : "";
    ::setenv("XDG_STATE_HOME", (home.str() + "/state").c_str(), 1);
    KeptRun run([] { return KeptRuns::defaultDirectory(DirectoryLookup::Create); }, Start);
    EXPECT_FALSE(std::filesystem::exists(home / "state"));
    EXPECT_EQ(run.write(answered()), std::nullopt);
    EXPECT_EQ(run.write(answered()), std::nullopt);
    const std::string path = home.str() + "/state/larkspan/runs/2026-12-07T113000Z.jsonl";
    EXPECT_EQ(run.path(), path);
    EXPECT_EQ(home.read("state/larkspan/runs/2026-12-07T113000Z.jsonl"),
              recordLine(answered()) + recordLine(answered()));
    for (const char* d : {"state", "state/larkspan", "state/larkspan/runs"})
        EXPECT_EQ(modeOf(home / d), 0700u) << d;

    // A directory that cannot be made is said once; the run goes on without keeping.
    home.write("blocked", "a file where a directory should be");
    ::setenv("XDG_STATE_HOME", (home.str() + "/blocked").c_str(), 1);
    KeptRun blocked([] { return KeptRuns::defaultDirectory(DirectoryLookup::Create); }, Start);
    const auto problem = blocked.write(answered());
    ASSERT_TRUE(problem.has_value());
    EXPECT_NE(problem->find(home.str() + "/blocked"), std::string::npos) << *problem;
    EXPECT_EQ(blocked.write(answered()), std::nullopt);
    EXPECT_EQ(blocked.path(), "");

    if (saved)
        ::setenv("XDG_STATE_HOME", previous.c_str(), 1);
    else
        ::unsetenv("XDG_STATE_HOME");
}

// A disk that fills in the middle of a record (here a file size limit, the same refusal to a
// writer): the record that did not fit is said once, and the file ends with the whole records.
TEST(KeptRuns, ARecordThatDoesNotFitLeavesNoCutLine) {
    TempDir dir;
    RequestRecord big = answered();
    big.url += "&pad=" + std::string(1000, 'x');
    const std::string line = recordLine(big);
    const pid_t child = ::fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{2 * line.size() + line.size() / 2, RLIM_INFINITY};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        KeptRun run([&dir] { return dir.str(); }, Start);
        int told = 0;
        for (int i = 0; i < 5; ++i)
            told += run.write(big).has_value() ? 1 : 0;
        ::_exit(told == 1 ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(dir.read("2026-12-07T113000Z.jsonl"), line + line);
}

} // namespace
