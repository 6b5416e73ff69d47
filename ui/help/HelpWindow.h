#pragma once

#include "ui/help/HelpCommands.h"
#include "ui/help/HelpFile.h"

#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QLineEdit;
class QPushButton;
class QTabWidget;
class QTextBrowser;
class QTreeWidget;
class QTreeWidgetItem;
class QUrl;

// The help viewer: a window with the help file's "Contents" and "Index" on the left and the
// topic on the right. It is created once and raised whenever a Help command asks for it. A
// help file that cannot be read leaves both lists empty and says so in the topic pane.
class HelpWindow : public QWidget, public HelpViewer {
    Q_OBJECT
public:
    explicit HelpWindow(QWidget* parent = nullptr);

    void showHelp(const std::string& path, HelpPage page) override;
    void showHelpTopic(const std::string& path, const std::string& topic) override;

    // Shows a topic of the loaded file; false when it has no topic of that id.
    bool showTopic(const std::string& id);
    // Shows the viewer's own instructions.
    void showHowToUseHelp();
    // Returns to the topic shown before; false when there is none.
    bool back();
    // Shows the topic of the index entry (the first topic when the keyword has several).
    void showIndexEntry(int entry);

    const std::string& loadedPath() const { return path_; }
    bool hasDocument() const { return document_.has_value(); }
    // The id of the topic shown, HowToUseHelpId for the instructions, empty for none.
    const std::string& currentTopic() const { return current_; }
    static constexpr const char* HowToUseHelpId = ":how-to-use-help";

    QTabWidget* tabs() const { return tabs_; }
    QTreeWidget* contentsTree() const { return contents_; }
    QLineEdit* indexSearch() const { return search_; }
    QTreeWidget* indexList() const { return index_; }
    QTextBrowser* topicView() const { return view_; }
    QPushButton* backButton() const { return back_; }

    // Opens the web and mail addresses that topics link to; tests replace it.
    std::function<void(const std::string& address)> OpenAddress;

private:
    QWidget* buildIndexPage();
    // Shows the window on the tab of the page asked for and brings it to the front.
    void present(HelpPage page);
    void load(const std::string& path);
    void fillContents();
    void fillIndex();
    void setTopic(const std::string& id, const std::string& html);
    void linkClicked(const QUrl& url);
    void searchChanged();
    void itemActivated(QTreeWidgetItem* item);

    std::string path_;
    std::optional<HelpDocument> document_;
    std::string current_;
    std::vector<std::string> history_;

    QTabWidget* tabs_ = nullptr;
    QTreeWidget* contents_ = nullptr;
    QLineEdit* search_ = nullptr;
    QTreeWidget* index_ = nullptr;
    QTextBrowser* view_ = nullptr;
    QPushButton* back_ = nullptr;
};

// The viewer's own instructions, as HTML.
std::string howToUseHelpHtml();
