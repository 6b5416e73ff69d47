#include "ui/help/HelpWindow.h"
#include "tests/common/TempDir.h"
#include "ui/help/HelpCommands.h"

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTextBrowser>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <filesystem>

namespace {

struct Shown {
    std::string path;
    HelpPage page;
};

class RecordingViewer : public HelpViewer {
public:
    void showHelp(const std::string& path, HelpPage page) override { shown.push_back({path, page}); }
    std::vector<Shown> shown;
};

// Makes a directory the working directory for the life of the object.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const std::string& dir) : old_(QDir::currentPath()) {
        QDir::setCurrent(QString::fromStdString(dir));
    }
    ~WorkingDirectory() { QDir::setCurrent(old_); }

private:
    QString old_;
};

// A small help file whose keywords and contents name where it came from.
std::string helpText(const std::string& origin) {
    return "@help " + origin +
           " Help\n@contents\n* Start | start\n* Other | other\n"
           "@topic start Start of " +
           origin + "\n@keywords " + origin +
           " keyword; common\n"
           "Go to {other}.\n"
           "@topic other Other of " +
           origin + "\n@keywords common; zebra\nSee {http://www.example.com/}.\n";
}

QStringList topLevelTexts(QTreeWidget* tree) {
    QStringList out;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        out << tree->topLevelItem(i)->text(0);
    return out;
}

} // namespace

TEST(HelpCommands, StartUpPathUntilContentsThenLarkspanHlpThroughTheWorkingDirectory) {
    TempDir installed, work;
    std::filesystem::create_directories(installed / "share");
    installed.write("share/Larkspan.hlp", helpText("Installed"));
    work.write("Larkspan.hlp", helpText("Work"));
    WorkingDirectory cwd(work.str());

    RecordingViewer viewer;
    const std::string startup = (installed / "share/Larkspan.hlp").string();
    HelpCommands help(viewer, startup, {});
    EXPECT_EQ(help.HelpFile(), startup);

    help.Index1Click();
    help.HowtoUseHelp1Click();
    help.Contents1Click();
    EXPECT_EQ(help.HelpFile(), "Larkspan.hlp");
    help.Index1Click();
    help.HowtoUseHelp1Click();
    ASSERT_EQ(viewer.shown.size(), 5u);
    EXPECT_EQ(viewer.shown[0].path, startup);
    EXPECT_EQ(viewer.shown[0].page, HelpPage::Index);
    EXPECT_EQ(viewer.shown[1].path, startup);
    EXPECT_EQ(viewer.shown[1].page, HelpPage::HowToUseHelp);
    for (std::size_t i = 2; i < 5; ++i)
        EXPECT_EQ(viewer.shown[i].path, "Larkspan.hlp");
    EXPECT_EQ(viewer.shown[2].page, HelpPage::Contents);
    EXPECT_EQ(viewer.shown[3].page, HelpPage::Index);
}

TEST(HelpCommands, AFileThatIsNotWhereItIsNamedIsLookedUpInTheSearchDirectories) {
    TempDir installed, work, empty;
    installed.write("Larkspan.hlp", helpText("Installed"));
    WorkingDirectory cwd(work.str());
    RecordingViewer viewer;

    // No Larkspan.hlp in the working directory: Contents finds the installed one.
    HelpCommands help(viewer, "/nonexistent/dir/Larkspan.hlp", {empty.str(), installed.str()});
    EXPECT_EQ(help.ResolvedHelpFile(), (installed / "Larkspan.hlp").string());
    help.Contents1Click();
    EXPECT_EQ(help.HelpFile(), "Larkspan.hlp");
    EXPECT_EQ(viewer.shown.back().path, (installed / "Larkspan.hlp").string());

    // One in the working directory wins.
    work.write("Larkspan.hlp", helpText("Work"));
    EXPECT_EQ(help.ResolvedHelpFile(), "Larkspan.hlp");

    // Found nowhere: the name as it is, for the viewer to say it cannot be read.
    HelpCommands lost(viewer, "/nonexistent/other.hlp", {empty.str(), installed.str()});
    EXPECT_EQ(lost.ResolvedHelpFile(), "/nonexistent/other.hlp");
    // A directory of that name is not a help file.
    std::filesystem::create_directories(empty / "other.hlp");
    EXPECT_EQ(lost.ResolvedHelpFile(), "/nonexistent/other.hlp");

    // The start-up file's own directory is searched first.
    auto dirs = defaultHelpSearchDirs("/opt/larkspan/share/Larkspan.hlp");
    ASSERT_GE(dirs.size(), 2u);
    EXPECT_EQ(dirs[0], "/opt/larkspan/share");
    EXPECT_TRUE(dirs[1].ends_with("/share/larkspan")) << dirs[1];
}

TEST(HelpWindow, IndexBeforeContentsShowsTheStartUpFileAndAfterItTheWorkingDirectorysFile) {
    TempDir installed, work;
    installed.write("Larkspan.hlp", helpText("Installed"));
    work.write("Larkspan.hlp", helpText("Work"));
    WorkingDirectory cwd(work.str());

    HelpWindow window;
    HelpCommands help(window, (installed / "Larkspan.hlp").string(), {});
    EXPECT_FALSE(window.isVisible());

    help.Index1Click();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.tabs()->currentIndex(), 1);
    EXPECT_EQ(window.windowTitle(), "Installed Help");
    EXPECT_EQ(topLevelTexts(window.indexList()), (QStringList{"common", "Installed keyword", "zebra"}));
    EXPECT_EQ(window.currentTopic(), "start");

    help.Contents1Click();
    EXPECT_EQ(window.tabs()->currentIndex(), 0);
    EXPECT_EQ(window.windowTitle(), "Work Help");
    EXPECT_EQ(topLevelTexts(window.contentsTree()), (QStringList{"Start", "Other"}));
    help.Index1Click();
    EXPECT_EQ(topLevelTexts(window.indexList()), (QStringList{"common", "Work keyword", "zebra"}));

    // A keyword two topics share lists both under it.
    QTreeWidgetItem* common = window.indexList()->topLevelItem(0);
    ASSERT_EQ(common->childCount(), 2);
    EXPECT_EQ(common->child(1)->text(0), "Other of Work");

    help.HowtoUseHelp1Click();
    EXPECT_EQ(window.currentTopic(), HelpWindow::HowToUseHelpId);
    EXPECT_TRUE(window.topicView()->toPlainText().contains("How to Use Help"));
    EXPECT_EQ(topLevelTexts(window.contentsTree()), (QStringList{"Start", "Other"}));
}

TEST(HelpWindow, SearchFieldSelectsAKeywordAndEnterOpensIt) {
    TempDir work;
    work.write("Larkspan.hlp", helpText("Work"));
    HelpWindow window;
    window.showHelp((work / "Larkspan.hlp").string(), HelpPage::Index);
    QTest::keyClicks(window.indexSearch(), "ZE");
    ASSERT_NE(window.indexList()->currentItem(), nullptr);
    EXPECT_EQ(window.indexList()->currentItem()->text(0), "zebra");
    QTest::keyClick(window.indexSearch(), Qt::Key_Return);
    EXPECT_EQ(window.currentTopic(), "other");
    EXPECT_TRUE(window.topicView()->toPlainText().startsWith("Other of Work"));

    // Text that no keyword holds leaves the selection where it was.
    QTest::keyClicks(window.indexSearch(), "qq");
    EXPECT_EQ(window.indexList()->currentItem()->text(0), "zebra");
}

TEST(HelpWindow, LinksLeadToTopicsOrTheBrowserAndBackReturns) {
    TempDir work;
    work.write("Larkspan.hlp", helpText("Work"));
    HelpWindow window;
    std::vector<std::string> opened;
    window.OpenAddress = [&](const std::string& address) { opened.push_back(address); };
    window.showHelp((work / "Larkspan.hlp").string(), HelpPage::Contents);
    EXPECT_EQ(window.currentTopic(), "start");
    EXPECT_FALSE(window.backButton()->isEnabled());

    emit window.topicView()->anchorClicked(QUrl("topic:other"));
    EXPECT_EQ(window.currentTopic(), "other");
    EXPECT_TRUE(window.backButton()->isEnabled());
    emit window.topicView()->anchorClicked(QUrl("http://www.example.com/"));
    EXPECT_EQ(opened, (std::vector<std::string>{"http://www.example.com/"}));
    EXPECT_EQ(window.currentTopic(), "other");
    emit window.topicView()->anchorClicked(QUrl("help:how-to-use"));
    EXPECT_EQ(window.currentTopic(), HelpWindow::HowToUseHelpId);

    window.backButton()->click();
    EXPECT_EQ(window.currentTopic(), "other");
    window.backButton()->click();
    EXPECT_EQ(window.currentTopic(), "start");
    EXPECT_FALSE(window.backButton()->isEnabled());
    EXPECT_FALSE(window.back());

    // A click on a contents entry opens its topic.
    QTreeWidgetItem* other = window.contentsTree()->topLevelItem(1);
    emit window.contentsTree()->itemClicked(other, 0);
    EXPECT_EQ(window.currentTopic(), "other");
}

TEST(HelpWindow, AnUnreadableHelpFileGivesEmptyListsAndANoteNotAnError) {
    TempDir work;
    work.write("Larkspan.hlp", helpText("Work"));
    work.write("notes.txt", "not a help file\n");
    HelpWindow window;
    window.showHelp((work / "Larkspan.hlp").string(), HelpPage::Contents);
    ASSERT_TRUE(window.hasDocument());

    for (const std::string& bad : {(work / "missing.hlp").string(), (work / "notes.txt").string()}) {
        window.showHelp(bad, HelpPage::Index);
        EXPECT_FALSE(window.hasDocument());
        EXPECT_TRUE(window.isVisible());
        EXPECT_EQ(window.windowTitle(), "Help");
        EXPECT_EQ(window.contentsTree()->topLevelItemCount(), 0);
        EXPECT_EQ(window.indexList()->topLevelItemCount(), 0);
        EXPECT_EQ(window.currentTopic(), "");
        EXPECT_TRUE(
            window.topicView()->toPlainText().contains(QString::fromStdString(bad + " cannot be read")));
        QTest::keyClicks(window.indexSearch(), "a");
        window.showIndexEntry(0);
        EXPECT_FALSE(window.showTopic("start"));
    }
    // How to Use Help needs no help file.
    window.showHelp((work / "missing.hlp").string(), HelpPage::HowToUseHelp);
    EXPECT_EQ(window.currentTopic(), HelpWindow::HowToUseHelpId);
}
