// What the window tells a user: which profiles Go! submits, what Save Settings did, what the
// live channels refused, what a run left out, and that every text can be read.
#include "core/Config.h"
#include "core/channels/LiveChannel.h"
#include "core/indexnow/IndexNowSubmission.h"
#include "core/profiles/SubmissionList.h"
#include "core/run/KeptRuns.h"
#include "core/run/RequestRecord.h"
#include "core/run/SubmissionRun.h"
#include "tests/common/PythonHttpServer.h"
#include "tests/common/TempDir.h"
#include "tests/core/support/RunTestSupport.h"
#include "ui/ElidedText.h"
#include "ui/FirstStart.h"
#include "ui/Gauge.h"
#include "ui/MainWindow.h"
#include "ui/ProfileEditorPage.h"
#include "ui/ReportGridWidget.h"
#include "ui/RunButtons.h"
#include "ui/TrackProgressPage.h"
#include "ui/WindowRunHost.h"
#include "ui/channels/IndexNowTab.h"
#include "ui/channels/LiveChannelsDialog.h"
#include "ui/help/HelpWindow.h"
#include "ui/print/PrintOptionsPage.h"
#include "ui/status/EarlierRunsDialog.h"
#include "ui/status/RequestLogWindow.h"

#include <QCheckBox>
#include <QDateTime>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace {

// A live channel that refuses every profile it is offered, as IndexNow does with a 403.
class RefusingChannel : public LiveChannel {
public:
    bool uses(const LiveRun&) const override { return true; }
    void announce(LiveRun& run) override {
        run.refused("IndexNow (api.indexnow.org) refused 1 URL of " + run.profileName() + ": 403 Forbidden");
    }
};

struct Window {
    TempDir dir;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<WindowRun> run;
    std::vector<std::string> boxes;

    explicit Window(const std::vector<std::string>& titles) {
        ProfileFiles store(dir.str());
        for (const std::string& title : titles)
            store.save(completeProfile(title));
        Config config;
        config.helpFile = LARKSPAN_SOURCE_DIR "/help/Larkspan.hlp";
        window = std::make_unique<MainWindow>(dir.str(), "", config);
        window->show();
    }
    // Every live request goes through the proxy; by default nothing listens there.
    void startRuns(const std::string& proxy = "127.0.0.1:9") {
        Config config;
        config.proxy = proxy;
        run = std::make_unique<WindowRun>(*window, config);
        run->host().showInformation = [this](const std::string& m) { boxes.push_back(m); };
    }
    void click(int row, Qt::KeyboardModifiers mods = {}) {
        ReportGridWidget* list = window->submitListWidget();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, mods, list->cellRect(0, row).center());
    }
    IndexNowTab* indexNow() const {
        for (LiveChannelTab* t : window->liveChannels()->tabs())
            if (auto* tab = qobject_cast<IndexNowTab*>(t)) return tab;
        return nullptr;
    }
};

} // namespace

TEST(WindowFeedback, GoSubmitsEveryHighlightedRowAndANewProfileIsListedAtOnce) {
    Window w({"Alpha", "Beta", "Gamma"});
    w.window->pages()->setCurrentIndex(MainWindow::SubmitListPage);
    w.click(1);
    w.click(3, Qt::ControlModifier);
    EXPECT_EQ(SubmissionRun::selectedProfiles(w.window->SubmitListGrid()),
              (std::vector<std::string>{"Alpha", "Gamma"}));

    // A profile saved under a new title is in both lists at once; what was highlighted stays
    // highlighted (Beta now lies between them, and is not), and the editor keeps its text.
    w.window->setFieldText(fSiteTitle, "Beach");
    w.window->setFieldText(fCity, "Oslo");
    w.window->SaveSettingsClick();
    EXPECT_EQ(w.window->StringGrid1().RowCount(), 4);
    EXPECT_EQ(w.window->SubmitListGrid().CellText(0, 2), "Beach");
    EXPECT_EQ(highlightedProfiles(w.window->SubmitListGrid()), (std::vector<std::string>{"Alpha", "Gamma"}));
    EXPECT_EQ(w.window->fieldText(fCity), "Oslo");
    EXPECT_EQ(w.window->statusText(), "Saved profile \"Beach\" to " + w.dir.file("Beach.ini"));

    // In an empty folder, the first profile saved is the one Go! submits.
    Window empty({});
    empty.window->setFieldText(fSiteTitle, "First");
    empty.window->SaveSettingsClick();
    EXPECT_EQ(highlightedProfiles(empty.window->SubmitListGrid()), std::vector<std::string>{"First"});
}

TEST(WindowFeedback, RefusalsAndALeftOutCatalogueAreShownOnTrackProgress) {
    Window w({"Alpha", "Beta"});
    // A server that answers every request (404), so that the sites can be read.
    TempDir empty;
    PythonHttpServer answering(empty.str());
    ASSERT_NE(answering.port(), 0);
    w.startRuns("127.0.0.1:" + std::to_string(answering.port()));
    w.window->optionsPage()->CatalogueCheckBox->setChecked(false);
    w.window->SubmitListGrid().SetSelection({0, 1, 0, 2});

    // Nothing is sent: the end says why, not "Done!".
    w.window->runButtons().GoButton->click();
    ASSERT_EQ(w.boxes.size(), 1u);
    EXPECT_EQ(w.boxes[0].rfind("Nothing was sent: the catalogue is switched off", 0), 0u) << w.boxes[0];
    EXPECT_EQ(w.window->progress().notes(), QStringList{"Catalogue off: 0 of 32 entries sent"});
    EXPECT_EQ(w.window->statusText(), w.boxes[0]);

    w.run->run().addChannel(std::make_unique<RefusingChannel>());
    w.window->runButtons().GoButton->click();
    EXPECT_EQ(w.window->progress().notes(),
              (QStringList{"Catalogue off: 0 of 32 entries sent",
                           "IndexNow (api.indexnow.org) refused 1 URL of Alpha: 403 Forbidden",
                           "IndexNow (api.indexnow.org) refused 1 URL of Beta: 403 Forbidden"}));
    EXPECT_EQ(w.window->statusText(), "Done, 2 live channels refused: see below");
    EXPECT_NE(w.window->requestLog()->counts()->text().indexOf("; 2 live channels refused"), -1)
        << w.window->requestLog()->counts()->text().toStdString();
    // The run's own log memo stays hidden and still gets the lines.
    EXPECT_TRUE(w.window->progress().Memo1->isHidden());
    EXPECT_NE(w.window->progress().Memo1->toPlainText().indexOf("403 Forbidden"), -1);

    // Sites that cannot be read are shown as refusals are, and nothing is announced for them.
    w.startRuns();
    w.run->run().addChannel(std::make_unique<RefusingChannel>());
    w.window->runButtons().GoButton->click();
    const QStringList notes = w.window->progress().notes();
    ASSERT_EQ(notes.size(), 2) << notes.join("|").toStdString();
    EXPECT_TRUE(
        notes[0].startsWith("Alpha could not be read: http://www.example.com/ could not be reached ("))
        << notes[0].toStdString();
    EXPECT_TRUE(notes[1].endsWith("; nothing was announced")) << notes[1].toStdString();
    EXPECT_EQ(w.window->statusText(), "Done, 2 sites could not be read: see below");
}

TEST(WindowFeedback, LiveChannelValuesBelongToTheirProfileAndGenerateAsks) {
    Window w({"Alpha"});
    ProfileFiles(w.dir.str())
        .save(completeProfile("Alpha"),
              {{IndexNowKeyKey, "alpha-key-1"}, {SitemapKey, "https://www.example.com/map.xml"}});
    w.window->loadProfileIntoEditor("Alpha");
    IndexNowTab* tab = w.indexNow();
    ASSERT_NE(tab, nullptr);
    ASSERT_EQ(tab->keyEdit()->text(), "alpha-key-1");

    auto* title = w.window->findChild<QLineEdit*>("SiteTitleEdit");
    w.window->pages()->setCurrentIndex(MainWindow::EditorPage);
    QTest::keyClicks(title, " Two");
    EXPECT_EQ(tab->keyEdit()->text(), "");
    EXPECT_EQ(w.window->editor().SitemapEdit->text(), "");
    // What is typed for the new title stays while the title is typed on.
    tab->keyEdit()->setText("new-key-22");
    QTest::keyClicks(title, "x");
    EXPECT_EQ(tab->keyEdit()->text(), "new-key-22");
    // Back to the saved title: its own values again.
    title->selectAll();
    QTest::keyClicks(title, "Alpha");
    EXPECT_EQ(tab->keyEdit()->text(), "alpha-key-1");

    int asked = 0;
    bool agree = false;
    tab->confirmReplace = [&] {
        ++asked;
        return agree;
    };
    tab->GenerateClick();
    EXPECT_EQ(tab->keyEdit()->text(), "alpha-key-1");
    agree = true;
    tab->GenerateClick();
    EXPECT_NE(tab->keyEdit()->text(), "alpha-key-1");
    tab->keyEdit()->clear();
    tab->GenerateClick();
    EXPECT_EQ(asked, 2); // an empty key is not asked about
}

TEST(WindowFeedback, TheLiveChannelsDialogShowsItsTextsAndKeepsItsSize) {
    TempDir config;
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config.str()));
    Window w({"Alpha"});
    LiveChannelsDialog* dialog = w.window->liveChannels();
    w.window->editor().LiveChannelsButton->click();
    ASSERT_TRUE(dialog->isVisible());
    // The sentence after "Save Key File..." names the file and the address to upload it to.
    IndexNowTab* tab = w.indexNow();
    tab->keyEdit()->setText("0123456789abcdef0123456789abcdef");
    tab->chooseFolder = [&] { return QString::fromStdString(config.str()); };
    tab->SaveKeyFileClick();
    QTest::qWait(0);
    // The longest word of every explanation fits on a line: no text is cut mid-word.
    for (QLabel* label : dialog->findChildren<QLabel*>()) {
        if (!label->wordWrap() || !label->isVisible()) continue;
        int longest = 0;
        for (const QString& word : label->text().split(' '))
            longest = std::max(longest, label->fontMetrics().horizontalAdvance(word));
        EXPECT_GE(label->contentsRect().width(), longest) << label->text().toStdString();
    }
    dialog->resize(dialog->width() + 50, dialog->height() + 40);
    const QSize chosen = dialog->size();
    dialog->askUnsaved = [] { return QMessageBox::Discard; };
    dialog->reject();

    Window again({"Alpha"});
    again.window->editor().LiveChannelsButton->click();
    EXPECT_EQ(again.window->liveChannels()->size(), chosen);
    qunsetenv("XDG_CONFIG_HOME");
}

// A key made in the dialog is never dropped without a word: closing the dialog or the window
// with values that are not saved asks, and the answer saves them with the profile, puts them
// back as saved, or keeps them and the dialog.
TEST(WindowFeedback, UnsavedLiveChannelValuesAreSavedOrDroppedOnlyWhenTheUserSaysSo) {
    struct Case {
        const char* name;
        bool closeWindow; // else the dialog's Close
        QMessageBox::StandardButton answer;
        std::string typedKey;
        bool closed;
        std::string savedKey; // in the profile's file afterwards
        std::string shownKey;
    };
    const std::string made = "0123456789abcdef0123456789abcdef";
    const Case cases[] = {
        {"save", false, QMessageBox::Save, made, true, made, made},
        {"discard", false, QMessageBox::Discard, made, true, "alpha-key-1", "alpha-key-1"},
        {"cancel", false, QMessageBox::Cancel, made, false, "alpha-key-1", made},
        {"a key that cannot be saved", false, QMessageBox::Save, "no", false, "alpha-key-1", "no"},
        {"quit, save", true, QMessageBox::Save, made, true, made, made},
        {"quit, cancel", true, QMessageBox::Cancel, made, false, "alpha-key-1", made},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Window w({"Alpha"});
        ProfileFiles store(w.dir.str());
        store.save(completeProfile("Alpha"), {{IndexNowKeyKey, "alpha-key-1"}});
        w.window->loadProfileIntoEditor("Alpha");
        std::vector<std::string> errors;
        w.window->showError = [&](const std::string& m) { errors.push_back(m); };
        LiveChannelsDialog* dialog = w.window->liveChannels();
        int asked = 0;
        dialog->askUnsaved = [&] {
            ++asked;
            return c.answer;
        };
        w.window->editor().LiveChannelsButton->click();
        // Closing without a change asks nothing.
        dialog->reject();
        EXPECT_FALSE(dialog->isVisible());
        w.window->editor().LiveChannelsButton->click();
        w.indexNow()->keyEdit()->setText(QString::fromStdString(c.typedKey));
        if (c.closeWindow)
            w.window->close();
        else
            dialog->reject();
        EXPECT_EQ(asked, 1);
        EXPECT_EQ(c.closeWindow ? !w.window->isVisible() : !dialog->isVisible(), c.closed);
        EXPECT_EQ(errors.size(), c.typedKey == "no" ? 1u : 0u);
        EXPECT_EQ(store.loadExtra("Alpha", IndexNowKeyKey), c.savedKey);
        EXPECT_EQ(w.indexNow()->keyEdit()->text().toStdString(), c.shownKey);
    }
}

TEST(WindowFeedback, TheRequestLogLeadsWithEngineAndAddressAndListsKeptRunsByDate) {
    RequestLogWindow log;
    RequestLogModel& model = log.model();
    EXPECT_EQ(model.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), "Engine");
    EXPECT_EQ(model.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), "URL");
    RequestRecord failed;
    failed.time = "2026-12-07T11:30:00.250Z";
    failed.profile = "Garden";
    failed.engine = "Lycos";
    failed.method = "GET";
    failed.url =
        "http://www.lycos.com/cgi-bin/add?url=http%3A%2F%2Fwww.example.com%2F&email=jane%40example.com";
    failed.outcome = RequestRecord::Outcome::Failed;
    failed.message = "Connection timed out while waiting for the server's answer";
    log.beginRun();
    log.add(failed);
    EXPECT_EQ(model.data(model.index(0, RequestLogModel::Url), Qt::ToolTipRole).toString().toStdString(),
              failed.url);
    EXPECT_EQ(model.data(model.index(0, RequestLogModel::Reason), Qt::ToolTipRole).toString().toStdString(),
              failed.message);

    for (QKeySequence keys : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
        log.present();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&log));
        QTest::keySequence(&log, keys);
        EXPECT_FALSE(log.isVisible()) << keys.toString().toStdString();
    }

    TempDir runs;
    RequestRecord answered = failed;
    answered.outcome = RequestRecord::Outcome::Answered;
    answered.status = 200;
    runs.write("2026-12-07T113000Z.jsonl", recordLine(answered) + recordLine(failed));
    answered.profile = "Kayaks";
    runs.write("2026-12-08T090000Z.jsonl", recordLine(answered));
    EarlierRunsDialog dialog(QString::fromStdString(runs.str()));
    QTreeWidget* list = dialog.runs();
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(list->topLevelItem(0)->text(EarlierRunsDialog::Profiles), "Kayaks");
    EXPECT_EQ(list->topLevelItem(1)->text(EarlierRunsDialog::Profiles), "Garden");
    EXPECT_EQ(list->topLevelItem(1)->text(EarlierRunsDialog::Requests).toStdString(),
              "1 answered (1 with 2xx), 1 failed, 0 skipped");
    EXPECT_EQ(
        list->topLevelItem(1)->text(EarlierRunsDialog::Started),
        QDateTime(QDate(2026, 12, 7), QTime(11, 30), Qt::UTC).toLocalTime().toString("yyyy-MM-dd HH:mm:ss"));
}

TEST(WindowFeedback, GaugeStatusLineAndEditorStayReadable) {
    // The percentage shows in a dark colour over the empty, half-filled and full gauge.
    Gauge gauge;
    gauge.resize(409, 17);
    for (int percent : {0, 50, 100}) {
        gauge.setProgress(percent);
        QImage image(gauge.size(), QImage::Format_RGB32);
        gauge.render(&image);
        const QRect text = gauge.fontMetrics().boundingRect(gauge.percentText()).translated(0, 0);
        int dark = 0;
        const QRect middle(gauge.width() / 2 - text.width() / 2, 2, text.width(), gauge.height() - 4);
        for (int y = middle.top(); y <= middle.bottom(); ++y)
            for (int x = middle.left(); x <= middle.right(); ++x)
                if (qGray(image.pixel(x, y)) < 100) ++dark;
        EXPECT_GT(dark, 5) << percent << "%";
    }

    Window w({"Alpha"});
    const std::string longText = "Saved profile \"Alpha\" to " + std::string(200, 'x') + "/Alpha.ini";
    w.window->setStatusText(longText);
    auto* bar = qobject_cast<ElidingStatusBar*>(w.window->statusBar());
    ASSERT_NE(bar, nullptr);
    // Qt ends an elided text with "…", or with "..." in a font without that character.
    const QString shown = bar->shownMessage();
    EXPECT_TRUE(shown.endsWith(QChar(0x2026)) || shown.endsWith("...")) << shown.toStdString();
    EXPECT_GT(shown.size(), 20);
    EXPECT_LT(shown.size(), static_cast<qsizetype>(longText.size()));
    EXPECT_EQ(w.window->statusText(), longText);

    // At the window's smallest size every tab is in view, the editor's short fields show a
    // whole e-mail address and phone number, and no control lies over another.
    w.window->pages()->setCurrentIndex(MainWindow::EditorPage);
    w.window->resize(w.window->minimumSize());
    QTest::qWait(0);
    QTabBar* tabs = w.window->pages()->tabBar();
    EXPECT_LE(tabs->tabRect(tabs->count() - 1).right(), tabs->width()) << w.window->minimumWidth();
    for (const char* name : {"EMailEdit", "PhoneEdit", "FaxEdit", "ZipEdit"}) {
        auto* edit = w.window->findChild<QLineEdit*>(name);
        EXPECT_GE(edit->width(), edit->fontMetrics().horizontalAdvance(edit->text()) + 8) << name;
    }
    QWidget* page = w.window->pages()->currentWidget();
    std::vector<QWidget*> controls;
    for (QWidget* c : page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (c->isVisible()) controls.push_back(c);
    for (std::size_t i = 0; i < controls.size(); ++i)
        for (std::size_t j = i + 1; j < controls.size(); ++j)
            EXPECT_FALSE(controls[i]->geometry().intersects(controls[j]->geometry()))
                << controls[i]->objectName().toStdString() << " " << controls[i]->metaObject()->className()
                << " and " << controls[j]->objectName().toStdString() << " "
                << controls[j]->metaObject()->className();
    EXPECT_LE(w.window->minimumWidth(), 579);
    EXPECT_LE(w.window->minimumHeight(), 510);
}

TEST(WindowFeedback, F1OpensTheHelpTopicOfEachPage) {
    Window w({"Alpha"});
    w.window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.window.get()));
    for (int page = 0; page < w.window->pages()->count(); ++page) {
        w.window->pages()->setCurrentIndex(page);
        QTest::keyClick(w.window->pages()->currentWidget(), Qt::Key_F1);
        EXPECT_EQ(w.window->helpWindow()->currentTopic(),
                  MainWindow::pageHelpTopic(static_cast<MainWindow::Page>(page)));
    }
    // The pages about today's services are in the file, with nothing in it out of place.
    const auto help = HelpDocument::load(LARKSPAN_SOURCE_DIR "/help/Larkspan.hlp");
    ASSERT_TRUE(help);
    for (const char* topic :
         {"live-channels", "request-log", "sitemaps", "store", "page-checks", "headless", "schedule"})
        EXPECT_NE(help->topic(topic), nullptr) << topic;
    EXPECT_EQ(help->problems(), std::vector<std::string>{});
}

TEST(WindowFeedback, TheFirstStartAsksOnceAndKeepsTheAnswer) {
    TempDir home;
    FirstStart first{home.file("config/larkspan/larkspan.ini"), false, home.file("runs")};
    int asked = 0;
    auto answer = CatalogueAnswer::LiveChannelsOnly;
    auto ask = [&] {
        ++asked;
        return answer;
    };
    Config config;
    EXPECT_EQ(first.settle(config, ask), std::nullopt);
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(config.catalogue);
    std::vector<std::string> warnings;
    EXPECT_FALSE(Config::load(first.configFile, warnings).catalogue);
    // Asked once: the next start takes the answer from the file.
    Config next;
    first.settle(next, ask);
    EXPECT_EQ(asked, 1);

    // A named configuration, or a run kept from before, is an existing user's: nobody is asked.
    TempDir other;
    FirstStart named{other.file("mine.ini"), true, other.file("runs")};
    FirstStart ranBefore{other.file("larkspan.ini"), false, other.file("runs")};
    other.write("runs/" + KeptRuns::fileName(std::chrono::system_clock::now()), "");
    Config unchanged;
    named.settle(unchanged, ask);
    ranBefore.settle(unchanged, ask);
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(unchanged.catalogue);

    // Closed without an answer: this session sends to the live channels only, and the next
    // start asks again.
    FirstStart fresh{other.file("fresh.ini"), false, other.file("none")};
    answer = CatalogueAnswer::NoAnswer;
    Config session;
    fresh.settle(session, ask);
    EXPECT_FALSE(session.catalogue);
    EXPECT_TRUE(fresh.asks());
    answer = CatalogueAnswer::CatalogueToo;
    fresh.settle(session, ask);
    EXPECT_TRUE(session.catalogue);
    EXPECT_TRUE(Config::setsCatalogue(fresh.configFile));
    EXPECT_EQ(asked, 3);
}
