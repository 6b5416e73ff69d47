#include "platform/Mail.h"
#include "tests/common/TempDir.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QStandardPaths>
#include <QTimer>
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

namespace {

// Runs the event loop until finished has been called (and a little longer, to catch a
// second call), or gives up after ten seconds.
struct Outcome {
    int calls = 0;
    bool succeeded = false;
};

std::function<void(bool)> recorder(Outcome& outcome) {
    return [&outcome](bool ok) {
        ++outcome.calls;
        outcome.succeeded = ok;
    };
}

void waitFor(const Outcome& outcome) {
    QElapsedTimer clock;
    clock.start();
    while (outcome.calls == 0 && clock.elapsed() < 10000)
        QEventLoop().processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    const qint64 settled = clock.elapsed() + 200;
    while (clock.elapsed() < settled)
        QEventLoop().processEvents(QEventLoop::AllEvents, 20);
}

// Puts a directory in front of PATH (or instead of it) for the life of the object.
class PathPrefix {
public:
    PathPrefix(const std::string& dir, bool only = false) : old_(qgetenv("PATH")) {
        qputenv("PATH", only ? QByteArray::fromStdString(dir) : QByteArray::fromStdString(dir) + ":" + old_);
    }
    ~PathPrefix() { qputenv("PATH", old_); }

private:
    QByteArray old_;
};

void writeScript(const TempDir& dir, const std::string& name, const std::string& body) {
    dir.write(name, "#!/bin/sh\n" + body);
    std::filesystem::permissions(dir / name, std::filesystem::perms::owner_all);
}

// A table text with what a mail address and a shell could misread: "&", "%", "?", quotes,
// backslash sequences, non-ASCII text and CR LF line ends.
const std::string Table = "Engine     URLs Submitted \r\n"
                          "AltaVista  Caf\xc3\xa9 & \"Nord\" 100% ?x=1 \r\n"
                          "Lycos      C:\\new\\tab \\c end \r\n"
                          "           \r\n";

// The body of a "mailto:?body=" address.
std::optional<std::string> bodyOf(const std::string& address) {
    const std::string prefix = "mailto:?body=";
    if (address.rfind(prefix, 0) != 0) return std::nullopt;
    return QByteArray::fromPercentEncoding(QByteArray::fromStdString(address.substr(prefix.size())))
        .toStdString();
}

} // namespace

TEST(Mail, ArgumentsAreOneMailtoAddressHoldingTheBodyByteForByte) {
    const std::vector<std::string> args = mailArguments(Table);
    ASSERT_EQ(args.size(), 1u);
    EXPECT_EQ(bodyOf(args[0]), Table);
    // Nothing in the address that a shell or the mail program could take for syntax.
    const std::string encoded = args[0].substr(13);
    EXPECT_EQ(
        encoded.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~%"),
        std::string::npos)
        << encoded;
    EXPECT_NE(encoded.find("%0D%0A"), std::string::npos);
    EXPECT_EQ(mailArguments(""), (std::vector<std::string>{"mailto:"}));
}

TEST(Mail, RunnerReportsExitStatusOnceAndAProgramThatCannotStartAsFailure) {
    struct Case {
        std::string program;
        std::vector<std::string> args;
        bool expected;
    };
    const std::vector<Case> cases = {
        {"true", {}, true},
        {"false", {}, false},
        {"sh", {"-c", "exit 4"}, false},
        {"sh", {"-c", "kill -SEGV $$"}, false},
        {"/nonexistent/program", {}, false},
        {"larkspan-no-such-program", {}, false},
    };
    for (const Case& c : cases) {
        Outcome outcome;
        runProgram(c.program, c.args, recorder(outcome));
        waitFor(outcome);
        EXPECT_EQ(outcome.calls, 1) << c.program;
        EXPECT_EQ(outcome.succeeded, c.expected) << c.program;
    }
}

TEST(Mail, TheMailProgramGetsTheBodyAndItsFailureIsAFailedSend) {
    TempDir bin;
    writeScript(bin, "xdg-email",
                "for a in \"$@\"; do printf '%s\\0' \"$a\"; done > \"$0.args\"\nexit ${MAIL_EXIT:-0}\n");
    PathPrefix path(bin.str());

    Outcome sent;
    sendMail(Table, recorder(sent));
    waitFor(sent);
    EXPECT_EQ(sent.calls, 1);
    EXPECT_TRUE(sent.succeeded);
    std::string recorded = bin.read("xdg-email.args");
    std::string expected;
    for (const std::string& a : mailArguments(Table))
        expected += a + '\0';
    EXPECT_EQ(recorded, expected);

    // xdg-email's "the action failed", as when the user abandons the message.
    qputenv("MAIL_EXIT", "4");
    Outcome failed;
    sendMail(Table, recorder(failed));
    waitFor(failed);
    qunsetenv("MAIL_EXIT");
    EXPECT_EQ(failed.calls, 1);
    EXPECT_FALSE(failed.succeeded);
}

TEST(Mail, NoMailProgramOnThePathIsAFailedSend) {
    TempDir empty;
    PathPrefix path(empty.str(), true);
    Outcome outcome;
    sendMail(Table, recorder(outcome));
    waitFor(outcome);
    EXPECT_EQ(outcome.calls, 1);
    EXPECT_FALSE(outcome.succeeded);
}

// The real xdg-email, stopped just before it would start a mail program: it hands the
// message to an "xdg-email-hook.sh" on the PATH when there is one.
TEST(Mail, XdgEmailComposesAMailtoAddressWithTheBodyAndNoRecipients) {
    if (QStandardPaths::findExecutable("xdg-email").isEmpty()) GTEST_SKIP() << "xdg-email is not installed";
    TempDir bin;
    writeScript(bin, "xdg-email-hook.sh", "printf '%s' \"$1\" > \"$0.uri\"\n");
    PathPrefix path(bin.str());

    Outcome outcome;
    sendMail(Table, recorder(outcome));
    waitFor(outcome);
    ASSERT_TRUE(outcome.succeeded);
    const std::string uri = bin.read("xdg-email-hook.sh.uri");
    // No recipient, no subject, and the body whole, backslashes included.
    EXPECT_EQ(uri.find('&'), std::string::npos) << uri;
    EXPECT_EQ(bodyOf(uri), Table) << uri;
}
