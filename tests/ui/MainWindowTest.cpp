#include "ui/MainWindow.h"
#include "tests/common/TempDir.h"
#include "ui/help/AboutBox.h"
#include "ui/ErrorDisplay.h"
#include "ui/ProfileEditorPage.h"
#include "ui/ProfileListPages.h"
#include "ui/ReportGridWidget.h"
#include "ui/RunButtons.h"
#include "ui/TrackProgressPage.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>

namespace {

std::string profileFile(const std::string& title, const std::string& country = "Norway") {
    return "[Settings]\nName=Owner of " + title + "\nURL=http://" + title + ".example/\nSite Title=" + title +
           "\nCountry=" + country + "\n";
}

} // namespace

TEST(MainWindow, StartsOnTheSubmissionListWithEmptyEditorWhenThereAreNoProfiles) {
    TempDir dir;
    MainWindow w(dir.str(), "");
    EXPECT_EQ(w.windowTitle(), "Larkspan");
    EXPECT_EQ(w.pages()->tabText(w.pages()->currentIndex()), "Prepare Submission List");
    QStringList tabs;
    for (int i = 0; i < w.pages()->count(); ++i)
        tabs << w.pages()->tabText(i);
    EXPECT_EQ(tabs, QStringList({"Select URL to Edit", "Create/Edit URL Information",
                                 "Prepare Submission List", "Track Progress", "Options"}));
    EXPECT_EQ(w.StringGrid1().RowCount(), 0);
    EXPECT_EQ(w.SubmitListGrid().RowCount(), 1);
    EXPECT_EQ(w.fieldText(fURL), ""); // the initial "http://www." is replaced by the empty profile
    EXPECT_EQ(w.Grid().CellText(0, 0), "Engine");
    EXPECT_EQ(w.Grid().CellText(1, 0), "URLs Submitted");
    w.show();
    EXPECT_TRUE(w.runButtons().GoButton->isVisible());
    EXPECT_FALSE(w.runButtons().PauseButton->isVisible());
    EXPECT_FALSE(w.runButtons().StopButton->isVisible());
    EXPECT_EQ(w.findChild<QLineEdit*>("URLEdit")->toolTip(), "Enter the URL to submit to the search engines");
    // Hovering shows the long part on the status line; a hint without "|" is both parts.
    w.pages()->setCurrentIndex(1);
    QLineEdit* url = w.findChild<QLineEdit*>("URLEdit");
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QApplication::sendEvent(url, &enter);
    EXPECT_EQ(w.statusText(), "Enter the URL to submit to the search engines");
}

TEST(MainWindow, ListsChoosesEditsSavesAndDeletesProfiles) {
    TempDir dir;
    dir.write("beta.ini", profileFile("beta"));
    dir.write("Alpha.ini", profileFile("Alpha"));
    MainWindow w(dir.str(), "");
    const std::string first = w.StringGrid1().CellText(0, 0); // file system order
    EXPECT_EQ(w.currentSelection(), first);
    EXPECT_EQ(w.statusText(), "Current Selection: " + first);
    EXPECT_EQ(w.fieldText(fSiteTitle), first);
    EXPECT_EQ(w.SubmitListGrid().CellText(0, 1), "Alpha");
    EXPECT_EQ(w.SubmitListGrid().CellText(0, 2), "beta");

    int other = first == "Alpha" ? 1 : 0;
    w.StringGrid1SelectCell(other);
    const std::string chosen = w.StringGrid1().CellText(0, other);
    EXPECT_EQ(w.currentSelection(), chosen);
    EXPECT_EQ(w.statusText(), "Current Selection: " + chosen);
    EXPECT_EQ(w.fieldText(fName), "Owner of " + chosen);

    // A multi-line description goes to the file and comes back whole.
    w.setFieldText(fSiteDescription, "one\r\ntwo");
    w.setFieldText(fSiteTitle, "gamma");
    w.SaveSettingsClick();
    EXPECT_EQ(w.StringGrid1().RowCount(), 3); // a new title shows at once
    w.LoadGrid();
    EXPECT_EQ(w.StringGrid1().RowCount(), 3);
    TReportGrid& list = w.SubmitListGrid();
    EXPECT_EQ(list.CellText(0, 3), "gamma");
    for (int r = 0; r < 3; ++r)
        if (w.StringGrid1().CellText(0, r) == "gamma") w.StringGrid1SelectCell(r);
    EXPECT_EQ(w.fieldText(fSiteDescription), "one\r\ntwo");

    QString asked;
    bool answer = false;
    w.confirm = [&](const QString& q) {
        asked = q;
        return answer;
    };
    w.BitBtn1Click();
    EXPECT_EQ(asked, "Do you wish to delete the information for gamma?");
    EXPECT_TRUE(std::filesystem::exists(dir / "gamma.ini"));
    answer = true;
    w.BitBtn1Click();
    EXPECT_FALSE(std::filesystem::exists(dir / "gamma.ini"));
    EXPECT_EQ(w.StringGrid1().RowCount(), 2);
}

TEST(MainWindow, SavingUnderAnImpossibleTitleFailsAndDeletingTheLastProfileEmptiesAll) {
    TempDir dir;
    dir.write("only.ini", profileFile("only"));
    MainWindow w(dir.str(), "");
    w.setFieldText(fSiteTitle, "a/b");
    try {
        w.SaveSettingsClick();
        FAIL() << "saved a title with a slash";
    } catch (const LarkspanError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + dir.str() + "/a/b.ini");
        EXPECT_EQ(errorDisplayText(e.what()), std::string(e.what()) + ".");
    }
    w.confirm = [](const QString&) { return true; };
    w.BitBtn1Click();
    EXPECT_EQ(w.StringGrid1().RowCount(), 0);
    EXPECT_EQ(w.SubmitListGrid().RowCount(), 1);
    for (std::size_t f = 0; f < ProfileFieldCount; ++f)
        EXPECT_EQ(w.fieldText(f), "") << ProfileFields[f].key;
}

TEST(MainWindow, AnUnusableProfileDirectoryIsSaidOnTheStatusLine) {
    TempDir dir;
    MainWindow w(dir.str() + "/gone", "");
    EXPECT_NE(w.statusText().find("cannot be read"), std::string::npos) << w.statusText();
    EXPECT_FALSE(w.editor().SaveSettings->isEnabled());
    EXPECT_FALSE(w.profileList().BitBtn1->isEnabled());
    MainWindow unresolved("", "The profile directory /x cannot be used: No such file or directory");
    EXPECT_EQ(unresolved.statusText(), "The profile directory /x cannot be used: No such file or directory");
    EXPECT_FALSE(unresolved.editor().SaveSettings->isEnabled());
    EXPECT_EQ(errorDisplayText("Done!"), "Done!");
    EXPECT_EQ(errorDisplayText("a."), "a.");
}

TEST(MainWindow, MenuEntriesCarryTheirCaptionsHintsAndShortcuts) {
    TempDir dir;
    MainWindow w(dir.str(), "");
    QStringList menus;
    for (QAction* m : w.menuBar()->actions())
        menus << m->text();
    EXPECT_EQ(menus, QStringList({"&File", "Find", "&View", "&Help"}));
    QStringList file;
    for (QAction* a : w.menuBar()->actions()[0]->menu()->actions())
        file << (a->isSeparator() ? QString("-") : a->text());
    EXPECT_EQ(file, QStringList({"&Save", "Save to CSV", "Append to MASTER.CSV", "Save as XLS",
                                 "Save to HTML", "Save to ASCII", "Save to DOC", "-", "&Print",
                                 "Print Preview", "P&rint Setup...", "-", "Sen&d", "-", "E&xit"}));
    EXPECT_EQ(w.menuEntry("Find Next")->shortcut(), QKeySequence(Qt::Key_F3));
    QAction* csv = w.menuEntry("Save to CSV");
    EXPECT_EQ(csv->toolTip(), "Save As");
    csv->showStatusText(&w);
    EXPECT_EQ(w.statusText(), "Save results in comma-separated format.");
}

TEST(MainWindow, SaveWritesTheCellFileToTheWorkingDirectoryAndSaysWhere) {
    TempDir dir;
    MainWindow w(dir.str(), "");
    auto old = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    w.menuEntry("&Save")->trigger();
    std::filesystem::current_path(old);
    EXPECT_TRUE(std::filesystem::exists(dir / "Larkspan.txt"));
    EXPECT_EQ(w.statusText(), "Saved " + (dir / "Larkspan.txt").string());
}

TEST(MainWindow, FindNextAnswersF3OnEveryPage) {
    TempDir dir;
    MainWindow w(dir.str(), "");
    TReportGrid& g = w.Grid();
    g.SetRowCount(8);
    for (int r = 1; r < 8; ++r) {
        g.SetCellText(0, r, "Alexa");
        g.SetCellText(1, r, "site");
    }
    w.show();
    QApplication::setActiveWindow(&w);
    ASSERT_EQ(w.findState().FindFirst(g, "site", 0), (GridCell{1, 1}));
    for (int page = 0; page < w.pages()->count(); ++page) {
        w.pages()->setCurrentIndex(page);
        QTest::keyClick(&w, Qt::Key_F3);
        EXPECT_EQ(w.findState().LastMatch(), (GridCell{1, page + 2})) << "page " << page;
        EXPECT_EQ(g.Row(), page + 2);
    }
}

TEST(MainWindow, AboutStaysOneBoxAndAFailedSendSaysSo) {
    TempDir dir;
    MainWindow w(dir.str(), "");
    w.show();
    w.menuEntry("&About Larkspan")->trigger();
    w.menuEntry("&About Larkspan")->trigger();
    EXPECT_EQ(w.findChildren<TAboutBox*>().size(), 1);
    EXPECT_TRUE(w.aboutBox()->isVisible());
    EXPECT_FALSE(w.aboutBox()->isModal());
    EXPECT_TRUE(w.isEnabled());

    int failures = 0;
    std::string body;
    w.mailHooks.run = [&](const std::string&, const std::vector<std::string>& args,
                          std::function<void(bool)> finished) {
        body = args.empty() ? "" : args.back();
        finished(false);
    };
    w.mailHooks.failed = [&](QWidget*) { ++failures; };
    w.menuEntry("Sen&d")->trigger();
    QApplication::processEvents();
    EXPECT_EQ(failures, 1);
    EXPECT_NE(body.find("Engine"), std::string::npos) << body;
}

TEST(MainWindow, EveryPageFitsTheInitialSizeAndLongTextsDoNotWidenTheWindow) {
    TempDir dir;
    dir.write("Alpha.ini", profileFile("Alpha"));
    MainWindow w(dir.str(), "");
    w.show();
    QApplication::processEvents();
    EXPECT_EQ(w.size(), QSize(579, 510));
    // Every tab shows in full, without scrolling the tab bar.
    QTabBar* tabs = w.pages()->tabBar();
    for (int i = 0; i < tabs->count(); ++i)
        EXPECT_TRUE(tabs->rect().contains(tabs->tabRect(i))) << tabs->tabText(i).toStdString();
    // Every control of every page lies inside its page.
    for (int i = 0; i < w.pages()->count(); ++i) {
        w.pages()->setCurrentIndex(i);
        QApplication::processEvents();
        QWidget* page = w.pages()->widget(i);
        for (QWidget* c : page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (!c->isVisible()) continue;
            EXPECT_TRUE(page->rect().contains(c->geometry()))
                << tabs->tabText(i).toStdString() << ": " << c->metaObject()->className();
        }
    }
    // The short fields beside one another show a phone number or an e-mail address in full,
    // and the country list opens wide enough for its longest name.
    w.pages()->setCurrentIndex(1);
    QApplication::processEvents();
    for (const char* name : {"EMailEdit", "ZipEdit", "PhoneEdit", "FaxEdit", "CityEdit"}) {
        auto* edit = w.findChild<QLineEdit*>(name);
        ASSERT_NE(edit, nullptr) << name;
        EXPECT_GT(edit->width(), edit->fontMetrics().horizontalAdvance("(555) 555-0100 ext")) << name;
    }
    auto* country = w.findChild<QComboBox*>("CountryComboBox");
    country->showPopup();
    QApplication::processEvents();
    EXPECT_GE(country->view()->viewport()->width(), country->view()->sizeHintForColumn(0));
    country->hidePopup();
    // The run writes the site's URL into the caption above the gauge.
    w.progress().Label6->setText("Submitting http://www.example.com/" + QString(300, 'a') + " to Lycos");
    QApplication::processEvents();
    EXPECT_EQ(w.size(), QSize(579, 510));
}

TEST(MainWindow, TheSitemapLineLoadsAndSavesBesideTheSixteenFields) {
    TempDir dir;
    dir.write("Alpha.ini", profileFile("Alpha"));
    dir.write("Beta.ini", profileFile("Beta") + "Sitemap=http://beta.example/robots.txt\n");
    MainWindow w(dir.str(), "");
    auto* sitemap = w.findChild<QLineEdit*>("SitemapEdit");
    ASSERT_NE(sitemap, nullptr);
    EXPECT_FALSE(sitemap->toolTip().isEmpty());
    w.loadProfileIntoEditor("Beta");
    EXPECT_EQ(sitemap->text(), "http://beta.example/robots.txt");
    w.loadProfileIntoEditor("Alpha");
    EXPECT_EQ(sitemap->text(), "");

    // Without a sitemap the profile holds the sixteen keys only, as before.
    w.SaveSettingsClick();
    const std::string sixteen = dir.read("Alpha.ini");
    EXPECT_EQ(sixteen.find("Sitemap"), std::string::npos);
    sitemap->setText(" http://alpha.example/sitemap.xml ");
    w.SaveSettingsClick();
    EXPECT_EQ(dir.read("Alpha.ini"), sixteen + "Sitemap=http://alpha.example/sitemap.xml\n");
    // Emptied, the key stays in the file with an empty value, which reads as no sitemap.
    sitemap->clear();
    w.SaveSettingsClick();
    EXPECT_EQ(dir.read("Alpha.ini"), sixteen + "Sitemap=\n");
}

TEST(MainWindow, EnterPressesTheFocusedButtonAndGoOnlyFromControlsThatDoNotUseEnter) {
    TempDir dir;
    dir.write("only.ini", profileFile("only"));
    MainWindow w(dir.str(), "");
    // Count the presses of "Go!" instead of starting a run.
    QObject::disconnect(w.runButtons().GoButton, &QPushButton::clicked, nullptr, nullptr);
    int goes = 0;
    QObject::connect(w.runButtons().GoButton, &QPushButton::clicked, [&goes] { ++goes; });
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));

    w.pages()->setCurrentIndex(1);
    w.setFieldText(fSiteTitle, "renamed");
    auto* save = w.findChild<QPushButton*>("SaveSettings");
    save->setFocus();
    QTest::keyClick(save, Qt::Key_Return);
    EXPECT_TRUE(std::filesystem::exists(dir / "renamed.ini"));
    EXPECT_EQ(goes, 0);

    w.pages()->setCurrentIndex(0);
    int asked = 0;
    w.confirm = [&asked](const QString&) {
        ++asked;
        return false;
    };
    w.profileList().BitBtn1->setFocus();
    QTest::keyClick(w.profileList().BitBtn1, Qt::Key_Enter);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(goes, 0);

    // A line edit does not use Enter, a multi-line text does.
    w.pages()->setCurrentIndex(1);
    auto* url = w.findChild<QLineEdit*>("URLEdit");
    url->setFocus();
    QTest::keyClick(url, Qt::Key_Return);
    EXPECT_EQ(goes, 1);
    auto* description = w.findChild<QPlainTextEdit*>("SiteDescriptionMemo");
    description->setFocus();
    QTest::keyClick(description, Qt::Key_Return);
    EXPECT_EQ(goes, 1);
}
