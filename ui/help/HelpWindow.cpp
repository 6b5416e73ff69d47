#include "ui/help/HelpWindow.h"
#include "platform/Text.h"

#include "platform/ShellOpen.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStyle>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

namespace {

QString qs(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

constexpr int TopicRole = Qt::UserRole;

QTreeWidget* plainTree() {
    auto* tree = new QTreeWidget;
    tree->setHeaderHidden(true);
    tree->setColumnCount(1);
    tree->setUniformRowHeights(true);
    return tree;
}

} // namespace

std::string howToUseHelpHtml() {
    return "<h2>How to Use Help</h2>\n"
           "<p>The help window shows the help file's topics on the right and two ways of finding "
           "them on the left.</p>\n"
           "<h3>Contents</h3>\n"
           "<p>The <b>Contents</b> tab lists the topics by subject. A book groups the topics below "
           "it: double-click it, or click its arrow, to open or close it. Click a topic to read it.</p>\n"
           "<h3>Index</h3>\n"
           "<p>The <b>Index</b> tab lists the keywords of every topic in alphabetical order. Type "
           "the first few letters of the word you are looking for: the list moves to the first "
           "keyword that begins with them (or, failing that, contains them). Press Enter, click "
           "<b>Display</b> or double-click a keyword to read its topic. A keyword that several "
           "topics share lists them below it; choose one.</p>\n"
           "<h3>Reading a topic</h3>\n"
           "<ul>\n"
           "<li>An underlined phrase leads to another topic; a web address opens in your web "
           "browser.</li>\n"
           "<li><b>Back</b> returns to the topic you read before.</li>\n"
           "<li>Ctrl+C copies the selected text; the window can stay open beside Larkspan while you "
           "work.</li>\n"
           "</ul>\n"
           "<h3>Opening help from Larkspan</h3>\n"
           "<p>In the Help menu, <b>Contents</b> opens the table of contents of the help file "
           "Larkspan.hlp, <b>Index</b> opens the keyword index, and <b>How to Use Help</b> shows this "
           "page. Larkspan looks for Larkspan.hlp first where it is named (a name without a directory "
           "in the working directory), then in the folder of the help file installed with the "
           "program. When no help file can be read, the lists stay empty and the window says "
           "which file it tried.</p>\n";
}

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle("Help");
    resize(760, 540);
    OpenAddress = shellOpen;

    contents_ = plainTree();
    contents_->setObjectName("HelpContents");
    connect(contents_, &QTreeWidget::itemActivated, this, &HelpWindow::itemActivated);
    connect(contents_, &QTreeWidget::itemClicked, this, &HelpWindow::itemActivated);

    tabs_ = new QTabWidget;
    tabs_->addTab(contents_, "Contents");
    tabs_->addTab(buildIndexPage(), "Index");

    view_ = new QTextBrowser;
    view_->setObjectName("HelpTopic");
    view_->setOpenLinks(false);
    connect(view_, &QTextBrowser::anchorClicked, this, &HelpWindow::linkClicked);

    back_ = new QPushButton("&Back");
    back_->setEnabled(false);
    connect(back_, &QPushButton::clicked, this, [this] { back(); });
    auto* howTo = new QPushButton("&How to Use Help");
    connect(howTo, &QPushButton::clicked, this, [this] { showHowToUseHelp(); });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(back_);
    buttons->addWidget(howTo);
    buttons->addStretch();

    auto* splitter = new QSplitter;
    splitter->addWidget(tabs_);
    splitter->addWidget(view_);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({250, 510});

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(splitter, 1);
}

// The keyword index: a search line above the list, "Display" below it.
QWidget* HelpWindow::buildIndexPage() {
    auto* indexPage = new QWidget;
    auto* indexLayout = new QVBoxLayout(indexPage);
    auto* typeLabel = new QLabel("&Type the first few letters of the word you're looking for:");
    typeLabel->setWordWrap(true);
    search_ = new QLineEdit;
    search_->setObjectName("HelpIndexSearch");
    typeLabel->setBuddy(search_);
    index_ = plainTree();
    index_->setObjectName("HelpIndex");
    auto* display = new QPushButton("&Display");
    indexLayout->addWidget(typeLabel);
    indexLayout->addWidget(search_);
    indexLayout->addWidget(new QLabel("Click the index entry you want, and then click Display."));
    indexLayout->addWidget(index_, 1);
    indexLayout->addWidget(display, 0, Qt::AlignRight);
    connect(search_, &QLineEdit::textEdited, this, &HelpWindow::searchChanged);
    connect(search_, &QLineEdit::returnPressed, this, [this] { itemActivated(index_->currentItem()); });
    connect(index_, &QTreeWidget::itemActivated, this, &HelpWindow::itemActivated);
    connect(display, &QPushButton::clicked, this, [this] { itemActivated(index_->currentItem()); });
    return indexPage;
}

void HelpWindow::showHelp(const std::string& path, HelpPage page) {
    load(path);
    if (page == HelpPage::HowToUseHelp) {
        showHowToUseHelp();
    } else if (!document_) {
        setTopic({}, "<h2>Help</h2>\n<p>The help file " + htmlEscape(path) +
                         " cannot be read, so there are no topics to show.</p>\n"
                         "<p>See <a href=\"help:how-to-use\">How to Use Help</a> for where Larkspan "
                         "looks for its help file.</p>\n");
    } else if (current_.empty() || !document_->topic(current_)) {
        // A fresh file opens on the first topic of its contents.
        for (const HelpContentsEntry& e : document_->contents())
            if (!e.topic.empty() && showTopic(e.topic)) break;
    }
    present(page);
}

void HelpWindow::showHelpTopic(const std::string& path, const std::string& topic) {
    // A topic the file lacks (an older help file) leaves the viewer on its contents.
    load(path);
    if (!document_ || !showTopic(topic)) {
        showHelp(path, HelpPage::Contents);
        return;
    }
    present(HelpPage::Contents);
}

void HelpWindow::present(HelpPage page) {
    if (page == HelpPage::Index) {
        tabs_->setCurrentIndex(1);
        search_->setFocus();
        search_->selectAll();
    } else {
        tabs_->setCurrentIndex(0);
    }
    show();
    raise();
    activateWindow();
}

void HelpWindow::load(const std::string& path) {
    path_ = path;
    // Read the file each time: it may have been replaced, or the help file may be another.
    document_ = HelpDocument::load(path);
    // The way back may hold topics the new file lacks; back() passes over them.
    if (current_ != HowToUseHelpId && (!document_ || !document_->topic(current_))) current_.clear();
    setWindowTitle(document_ && !document_->title().empty() ? qs(document_->title()) : QString("Help"));
    fillContents();
    fillIndex();
}

void HelpWindow::fillContents() {
    contents_->clear();
    if (!document_) return;
    const QIcon book = style()->standardIcon(QStyle::SP_DirIcon);
    const QIcon page = style()->standardIcon(QStyle::SP_FileIcon);
    // parents[level - 1] is the latest entry of that level.
    std::vector<QTreeWidgetItem*> parents;
    for (const HelpContentsEntry& e : document_->contents()) {
        const std::size_t level = static_cast<std::size_t>(e.level);
        parents.resize(std::min(parents.size(), level - 1));
        QTreeWidgetItem* item =
            parents.empty() ? new QTreeWidgetItem(contents_) : new QTreeWidgetItem(parents.back());
        item->setText(0, qs(e.text));
        item->setIcon(0, e.topic.empty() ? book : page);
        if (!e.topic.empty()) item->setData(0, TopicRole, qs(e.topic));
        parents.push_back(item);
    }
}

void HelpWindow::fillIndex() {
    index_->clear();
    if (!document_) return;
    for (const HelpIndexEntry& entry : document_->index()) {
        auto* item = new QTreeWidgetItem(index_);
        item->setText(0, qs(entry.keyword));
        item->setData(0, TopicRole, qs(entry.topics.front()));
        if (entry.topics.size() > 1) {
            for (const std::string& id : entry.topics) {
                auto* child = new QTreeWidgetItem(item);
                const HelpTopic* t = document_->topic(id);
                child->setText(0, qs(t ? t->title : id));
                child->setData(0, TopicRole, qs(id));
            }
        }
    }
    searchChanged();
}

bool HelpWindow::showTopic(const std::string& id) {
    if (!document_ || !document_->topic(id)) return false;
    setTopic(id, document_->topicHtml(id));
    return true;
}

void HelpWindow::showHowToUseHelp() {
    setTopic(HowToUseHelpId, howToUseHelpHtml());
}

void HelpWindow::setTopic(const std::string& id, const std::string& html) {
    if (!current_.empty() && current_ != id) history_.push_back(current_);
    current_ = id;
    view_->setHtml(qs(html));
    back_->setEnabled(!history_.empty());
}

bool HelpWindow::back() {
    while (!history_.empty()) {
        std::string id = history_.back();
        history_.pop_back();
        if (id != HowToUseHelpId && (!document_ || !document_->topic(id))) continue;
        current_.clear(); // the way back is not a step forward
        if (id == HowToUseHelpId)
            showHowToUseHelp();
        else
            showTopic(id);
        return true;
    }
    back_->setEnabled(false);
    return false;
}

void HelpWindow::showIndexEntry(int entry) {
    if (!document_ || entry < 0 || entry >= static_cast<int>(document_->index().size())) return;
    showTopic(document_->index()[static_cast<std::size_t>(entry)].topics.front());
}

void HelpWindow::linkClicked(const QUrl& url) {
    if (url.scheme() == "topic")
        showTopic(url.path().toStdString());
    else if (url.scheme() == "help")
        showHowToUseHelp();
    else if (OpenAddress)
        OpenAddress(url.toString().toStdString());
}

void HelpWindow::searchChanged() {
    if (!document_) return;
    int entry = document_->findKeyword(search_->text().toStdString());
    if (entry < 0) return;
    QTreeWidgetItem* item = index_->topLevelItem(entry);
    index_->setCurrentItem(item);
    index_->scrollToItem(item, QAbstractItemView::PositionAtTop);
}

void HelpWindow::itemActivated(QTreeWidgetItem* item) {
    if (!item) return;
    QVariant topic = item->data(0, TopicRole);
    if (!topic.isValid()) return; // a book: the tree opens and closes it by itself
    if (item->childCount() > 0) item->setExpanded(true);
    showTopic(topic.toString().toStdString());
}
