#include "ui/ShellCommands.h"
#include "core/Config.h"
#include "grid/ReportGrid.h"
#include "grid/TextExport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace {

// A results table after a short run, with the footer a run ends with.
TReportGrid resultsTable() {
    TReportGrid grid(2, 2, 1, 1);
    grid.SetCellText(0, 0, "Engine");
    grid.SetCellText(1, 0, "URLs Submitted");
    grid.SetRowCount(5);
    grid.SetCellText(0, 1, "AltaVista");
    grid.SetCellText(1, 1, "Caf\xc3\xa9 Nord");
    grid.SetCellText(0, 2, "Google");
    grid.SetCellText(1, 2, "Caf\xc3\xa9 Nord");
    grid.SetCellText(0, 3, "More Info:");
    grid.SetCellText(1, 3, "This report prepared by Larkspan. Latest version from:");
    grid.SetCellText(1, 4, "http://www.tessaly.com/Larkspan/Default.htm");
    return grid;
}

// A runner that remembers what it was asked to run and answers later, as the real one does.
struct FakeRunner {
    std::vector<std::pair<std::string, std::vector<std::string>>> calls;
    std::function<void(bool)> pending;
    ProgramRunner runner() {
        return [this](const std::string& program, const std::vector<std::string>& args,
                      std::function<void(bool)> finished) {
            calls.emplace_back(program, args);
            pending = std::move(finished);
        };
    }
};

} // namespace

TEST(ShellCommands, HomePagesOpenTheMakersAndTheProductsAddress) {
    Config config;
    std::vector<std::string> opened;
    auto open = [&](const std::string& a) { opened.push_back(a); };
    CorvaneHomePageClick(config, open);
    ProductHomePageClick(config, open);
    config.makerHomePage = "https://maker.example";
    ProductHomePageClick(config, open);
    EXPECT_EQ(opened, (std::vector<std::string>{"http://www.tessaly.com", "http://www.tessaly.com/Larkspan/",
                                                "https://maker.example/Larkspan/"}));
}

TEST(ShellCommands, SendPutsTheTableTextInTheBodyOfANewMessage) {
    TReportGrid grid = resultsTable();
    FakeRunner fake;
    int failures = 0;
    QWidget window;
    Send1Click(grid, &window, {fake.runner(), [&](QWidget*) { ++failures; }});
    ASSERT_EQ(fake.calls.size(), 1u);
    EXPECT_EQ(fake.calls[0].first, "xdg-email");
    const std::vector<std::string>& args = fake.calls[0].second;
    ASSERT_EQ(args.size(), 1u);
    const std::string prefix = "mailto:?body=";
    ASSERT_EQ(args[0].rfind(prefix, 0), 0u) << args[0];
    const std::string body =
        QByteArray::fromPercentEncoding(QByteArray::fromStdString(args[0].substr(prefix.size())))
            .toStdString();
    EXPECT_EQ(body, AsciiText(grid));
    EXPECT_EQ(body.rfind("Engine     URLs Submitted ", 0), 0u);
    EXPECT_NE(body.find("\r\nGoogle     Caf\xc3\xa9 Nord "), std::string::npos);

    fake.pending(true);
    EXPECT_EQ(failures, 0);
}

TEST(ShellCommands, AFailedSendSaysErrorSendingMailUnlessTheWindowHasGone) {
    TReportGrid grid = resultsTable();
    FakeRunner fake;
    std::vector<QWidget*> failedFor;
    auto window = std::make_unique<QWidget>();
    MailHooks hooks{fake.runner(), [&](QWidget* parent) { failedFor.push_back(parent); }};

    Send1Click(grid, window.get(), hooks);
    fake.pending(false);
    EXPECT_EQ(failedFor, (std::vector<QWidget*>{window.get()}));

    // The answer arrives after the window was closed: nobody is left to tell.
    Send1Click(grid, window.get(), hooks);
    window.reset();
    fake.pending(false);
    EXPECT_EQ(failedFor.size(), 1u);

    // Without a window the failure is still said.
    Send1Click(grid, nullptr, hooks);
    fake.pending(false);
    EXPECT_EQ(failedFor.size(), 2u);
    EXPECT_EQ(failedFor.back(), nullptr);
}

TEST(ShellCommands, TheFailureBoxIsAnErrorBoxWithOK) {
    auto text = std::make_shared<QString>();
    QTimer::singleShot(0, [text] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        *text = box->windowTitle() + "|" + box->text();
        EXPECT_EQ(box->icon(), QMessageBox::Critical);
        EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
        box->accept();
    });
    ShowMailError(nullptr);
    EXPECT_EQ(*text, "Error|Error sending mail");

    // The default hooks show that box when the runner fails.
    TReportGrid grid = resultsTable();
    FakeRunner fake;
    QWidget window;
    MailHooks hooks;
    hooks.run = fake.runner();
    Send1Click(grid, &window, hooks);
    auto shown = std::make_shared<QString>();
    QTimer::singleShot(0, [shown] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            *shown = box->text();
            box->accept();
        }
    });
    fake.pending(false);
    EXPECT_EQ(*shown, "Error sending mail");
}

TEST(ShellCommands, ALongTableSendsTheRowsThatFitAndSaysHowManyAreLeftOut) {
    // Eighteen profiles' worth of rows and more, with text that encodes to three bytes a byte.
    TReportGrid grid = resultsTable();
    grid.SetRowCount(2001);
    for (int r = 1; r < grid.RowCount(); ++r) {
        grid.SetCellText(0, r, "Engine " + std::to_string(r));
        grid.SetCellText(1, r, "Caf\xc3\xa9 & Bar \xe2\x80\x94 site number " + std::to_string(r));
    }
    const std::string whole = AsciiText(grid);
    ASSERT_GT(mailArguments(whole)[0].size(), 131072u); // more than one argument can carry

    FakeRunner fake;
    Send1Click(grid, nullptr, {fake.runner(), [](QWidget*) {}});
    ASSERT_EQ(fake.calls.size(), 1u);
    const std::string argument = fake.calls[0].second.at(0);
    EXPECT_LE(argument.size(), MaxMailArgumentBytes);
    EXPECT_LT(MaxMailArgumentBytes, 131072u);
    const std::string body =
        QByteArray::fromPercentEncoding(QByteArray::fromStdString(argument.substr(13))).toStdString();

    // Whole rows from the top, then the line that says what is missing, and nothing else.
    const std::size_t lastLine = body.rfind("\r\n", body.size() - 3) + 2;
    const std::string rows = body.substr(0, lastLine);
    ASSERT_EQ(whole.rfind(rows, 0), 0u);
    const int shown = static_cast<int>(std::count(rows.begin(), rows.end(), '\n'));
    const int left = grid.RowCount() - shown;
    const auto leftOut = [](int count) {
        return std::to_string(count) +
               " more rows did not fit into this message; the File menu saves them all.\r\n";
    };
    EXPECT_EQ(body.substr(lastLine), leftOut(left));
    // The message holds as many rows as fit: one more would not have.
    const std::size_t nextRow = whole.find("\r\n", rows.size()) + 2;
    EXPECT_GT(mailArguments(whole.substr(0, nextRow) + leftOut(left - 1))[0].size(), MaxMailArgumentBytes);

    // The program really starts with that argument.
    bool finished = false, started = false;
    runProgram("true", {argument}, [&](bool ok) {
        finished = true;
        started = ok;
    });
    QElapsedTimer clock;
    clock.start();
    while (!finished && clock.elapsed() < 10000)
        QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    EXPECT_TRUE(started);

    // A table that fits goes whole.
    TReportGrid small = resultsTable();
    Send1Click(small, nullptr, {fake.runner(), [](QWidget*) {}});
    EXPECT_EQ(fake.calls.back().second, mailArguments(AsciiText(small)));
}
