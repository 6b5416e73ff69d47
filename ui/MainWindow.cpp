#include "ui/MainWindow.h"

#include "core/store/StoreChecks.h"
#include "grid/ReportCommands.h"
#include "platform/BusyCursor.h"
#include "ui/ElidedText.h"
#include "ui/ErrorDisplay.h"
#include "ui/FindCommands.h"
#include "ui/Pictures.h"
#include "ui/ProfileEditorPage.h"
#include "ui/ProfileListPages.h"
#include "ui/QtStrings.h"
#include "ui/ReportGridWidget.h"
#include "ui/RunButtons.h"
#include "ui/TrackProgressPage.h"
#include "ui/channels/LiveChannelsDialog.h"
#include "ui/help/AboutBox.h"
#include "ui/help/HelpCommands.h"
#include "ui/help/HelpWindow.h"
#include "ui/print/PrintCommands.h"
#include "ui/print/PrintOptionsPage.h"
#include "ui/status/PageChecksWindow.h"
#include "ui/status/RequestLogWindow.h"
#include "ui/status/SiteStatusWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QProxyStyle>
#include <QPushButton>
#include <QShortcut>
#include <QStatusBar>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// The page tabs with less padding beside their captions, so that all five fit across the
// window's initial width of 579 pixels.
class CompactTabStyle : public QProxyStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
        if (metric == PM_TabBarTabHSpace) return 10;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

// The hourglass of long exports: the application's override cursor.
class OverrideBusyCursor : public BusyCursor {
public:
    void ShowBusy() override { QApplication::setOverrideCursor(Qt::WaitCursor); }
    void RestoreDefault() noexcept override { QApplication::restoreOverrideCursor(); }
};

} // namespace

MainWindow::MainWindow(std::string profileDirectory, std::string directoryProblem, Config config,
                       QWidget* parent)
    : QMainWindow(parent), config_(std::move(config)) {
    setWindowTitle("Larkspan");
    // The window's proportions are laid out for the small dialog font of 8 points.
    QFont small = font();
    small.setPointSize(8);
    setFont(small);
    setWindowIcon(QIcon(Pictures::programIcon(64)));
    // Long status texts end in "..." where the window cuts them.
    setStatusBar(new ElidingStatusBar);
    resize(579, 510);
    showError = [this](const std::string& message) { showErrorBox(this, message); };
    confirm = [this](const QString& question) {
        QMessageBox box(QMessageBox::Question, "Confirm", question, QMessageBox::Yes | QMessageBox::No, this);
        return box.exec() == QMessageBox::Yes;
    };

    editList_.SetColWidth(0, 640);
    editList_.SetDefaultRowHeight(16);
    submitList_.SetColWidth(0, 311);
    submitList_.DisjunctRowSelect = true;
    submitList_.SortColumn = 1;
    grid_.SetColWidth(0, 311);
    grid_.SetColWidth(1, 311);
    grid_.SortColumn = 1;
    grid_.SortDirection = TSortDirection::sdDescending;

    buildPages();
    profiles_ =
        std::make_unique<ProfileCommands>(std::move(profileDirectory), editList_, submitList_, *editorPage_,
                                          [this](const std::string& text) { setStatusText(text); });
    connectPages();
    // The help file starts as the configured path; the help window and the About box are
    // children of the main window, so they close with it.
    help_ = new HelpWindow(this);
    helpCommands_ =
        std::make_unique<HelpCommands>(*help_, config_.helpFile, defaultHelpSearchDirs(config_.helpFile));
    buildMenus();
    Timer1 = new QTimer(this);
    Timer1->setInterval(200);

    // Start-up: the profiles first, so the editor opens on the first one.
    if (directoryProblem.empty()) {
        try {
            LoadGrid();
        } catch (const std::exception& e) {
            directoryProblem = e.what();
        }
    }
    if (!directoryProblem.empty()) showDirectoryProblem(directoryProblem);
    grid_.SetCellText(0, 0, "Engine");
    grid_.SetCellText(1, 0, "URLs Submitted");
    about_ = new TAboutBox(config_.makerHomePage, this);
    buildSideWindows();
    // Enter presses the push button that has the focus, as in a dialog; only from a control
    // that does not use Enter itself does it reach the window, which presses "Go!".
    for (QPushButton* button : findChildren<QPushButton*>())
        button->setAutoDefault(true);
    setSmallestSize();
}

void MainWindow::buildSideWindows() {
    requestLog_ = new RequestLogWindow(this);
    connect(progressPage_->RequestLogButton, &QPushButton::clicked, requestLog_, &RequestLogWindow::present);
    siteStatus_ = new SiteStatusWindow(this);
    connect(progressPage_->SiteStatusButton, &QPushButton::clicked, this, &MainWindow::showSiteStatus);
    pageChecks_ = new PageChecksWindow(this);
}

void MainWindow::showPageChecks() {
    const std::string& name = currentSelection();
    pageChecks_->setWindowTitle(name.empty() ? QString("Page Checks")
                                             : "Page Checks: " + QString::fromStdString(name));
    pageChecks_->setChecks(name.empty() ? std::vector<PageCheck>{}
                                        : storedPageChecks(profileStore().directory(), name));
    pageChecks_->present();
}

void MainWindow::refreshPageChecks() {
    if (pageChecks_->isVisible()) showPageChecks();
}

void MainWindow::setSmallestSize() {
    // The smallest size at which every page shows its controls whole: all five tabs in view
    // (narrower, the last ones hide behind scroll buttons, and the editor's short fields cut
    // an e-mail address or a phone number), and the pages' own smallest height. The initial
    // size is the layout's own and lies above it.
    const int tabs = pages_->tabBar()->sizeHint().width() +
                     pages_->style()->pixelMetric(QStyle::PM_DefaultFrameWidth) * 2 +
                     centralWidget()->layout()->contentsMargins().left() +
                     centralWidget()->layout()->contentsMargins().right() + 4;
    setMinimumSize(std::max(minimumSizeHint().width(), tabs), minimumSizeHint().height());
}

std::string MainWindow::pageHelpTopic(Page page) {
    switch (page) {
    case EditListPage:
        return "page-select";
    case EditorPage:
        return "page-editor";
    case SubmitListPage:
        return "page-submit";
    case ProgressPage:
        return "page-progress";
    case OptionsPage:
        return "page-options";
    }
    return "welcome";
}

MainWindow::~MainWindow() {
    // The print state refers to the Options page, and the grid widgets to the tables, which
    // are members: the print state goes first, then the widgets, then the tables.
    printing_.reset();
    delete takeCentralWidget();
}

void MainWindow::buildPages() {
    profileListPage_ = new ProfileListPage(editList_);
    editorPage_ = new ProfileEditorPage;
    submissionListPage_ = new SubmissionListPage(submitList_);
    progressPage_ = new TrackProgressPage(grid_);
    optionsPage_ = new PrintOptionsPage;
    printing_ = std::make_unique<GridPrinting>(grid_, *optionsPage_);
    pages_ = new QTabWidget;
    pages_->addTab(profileListPage_, "Select URL to Edit");
    pages_->addTab(editorPage_, "Create/Edit URL Information");
    pages_->addTab(submissionListPage_, "Prepare Submission List");
    pages_->addTab(progressPage_, "Track Progress");
    pages_->addTab(optionsPage_, "Options");
    pages_->setCurrentIndex(SubmitListPage);
    auto* tabStyle = new CompactTabStyle;
    tabStyle->setParent(pages_->tabBar());
    pages_->tabBar()->setStyle(tabStyle);
    // Should a wider font still not leave room for every tab, the bar scrolls rather than
    // making the window wider than its initial size.
    pages_->setUsesScrollButtons(true);

    runButtons_ = new RunButtons;
    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(4, 4, 4, 2);
    layout->addWidget(pages_, 1);
    layout->addWidget(runButtons_);
    setCentralWidget(central);
    statusBar()->setSizeGripEnabled(true);
}

void MainWindow::connectPages() {
    profileListPage_->list()->onSelectRow = [this](int row) {
        runCommand([this, row] { StringGrid1SelectCell(row); });
    };
    connect(profileListPage_->BitBtn1, &QPushButton::clicked, this,
            [this] { runCommand([this] { BitBtn1Click(); }); });
    connect(editorPage_->SaveSettings, &QPushButton::clicked, this,
            [this] { runCommand([this] { SaveSettingsClick(); }); });
    connect(editorPage_, &ProfileEditorPage::titleEdited, this, [this](const QString& title) {
        runCommand([this, title] { profiles_->titleEdited(ss(title)); });
    });
    liveChannels()->saveProfile = [this] {
        try {
            SaveSettingsClick();
            return true;
        } catch (const std::exception& e) {
            showError(e.what());
            return false;
        }
    };
}

void MainWindow::SaveSettingsClick() {
    profiles_->save();
    liveChannels()->markSaved(fieldText(fSiteTitle));
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!liveChannels()->settle()) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void MainWindow::showDirectoryProblem(std::string problem) {
    // A problem with the profile directory is said once the window is up, and stays on the
    // status line, so that empty lists are never mistaken for a directory without profiles.
    setStatusText(problem);
    // Without a usable directory there is nothing to save into or delete from.
    editorPage_->SaveSettings->setEnabled(false);
    profileListPage_->BitBtn1->setEnabled(false);
    QTimer::singleShot(0, this, [this, problem] { showError(problem); });
}

ReportGridWidget* MainWindow::submitListWidget() const {
    return submissionListPage_->list();
}

ReportGridWidget* MainWindow::gridWidget() const {
    return progressPage_->resultsWidget();
}

ReportGridWidget* MainWindow::editListWidget() const {
    return profileListPage_->list();
}

LiveChannelsDialog* MainWindow::liveChannels() const {
    return editorPage_->liveChannels();
}

QAction* MainWindow::addEntry(QMenu* menu, const QString& caption, const QString& hint,
                              std::function<void()> command) {
    QAction* action = menu->addAction(caption);
    const auto bar = hint.indexOf('|');
    action->setToolTip(bar < 0 ? hint : hint.left(bar));
    action->setStatusTip(bar < 0 ? hint : hint.mid(bar + 1));
    if (command)
        connect(action, &QAction::triggered, this, [this, command] { runCommand(command); });
    else
        action->setEnabled(false);
    return action;
}

void MainWindow::buildFileMenu() {
    QMenu* file = menuBar()->addMenu("&File");
    for (const ReportCommand& report : ReportCommands())
        addEntry(file, report.caption, report.hint, [this, run = report.run] { runReport(run); });
    file->addSeparator();
    addEntry(file, "&Print", "Print results with selected options", [this] {
        std::string pdf = printing_->FilePrintItemClick();
        setStatusText(pdf.empty() ? "Printed" : "No printer installed: printed to " + pdf);
    });
    addEntry(file, "Print Preview", "View onscreen a facsimile of printed report.",
             [this] { printing_->PrintPreview1Click(this); });
    addEntry(file, "P&rint Setup...", "Change printer setup", [this] { printing_->PrintSetup1Click(this); });
    file->addSeparator();
    addEntry(file, "Sen&d", "Send|Send current file through electronic mail",
             [this] { Send1Click(grid_, this, mailHooks); });
    file->addSeparator();
    addEntry(file, "E&xit", "Exit|Exit application", [this] { close(); });
}

void MainWindow::buildMenus() {
    buildFileMenu();
    QMenu* find = menuBar()->addMenu("Find");
    addEntry(find, "Find First", "", [this] {
        if (auto cell = FindFirst1Click(this, grid_, find_)) showFound(*cell);
    });
    // F3 works from every page: the entry's shortcut belongs to the whole window.
    addEntry(find, "Find Next", "", [this] {
        showFound(FindNextF31Click(this, grid_, find_));
    })->setShortcut(QKeySequence(Qt::Key_F3));

    // The windows beside the run's results; the Track Progress page has buttons for the first and
    // the last, which fit beside its caption.
    QMenu* view = menuBar()->addMenu("&View");
    addEntry(view, "Request Log...",
             "Request Log|Show every request of the runs: when, to whom, and what came back",
             [this] { requestLog_->present(); });
    addEntry(view, "Page Checks...", "Page Checks|Show what the checks of the selected profile's pages found",
             [this] { runCommand([this] { showPageChecks(); }); });
    addEntry(view, "Site Status...",
             "Site Status|Show where each page of a profile stands: checks, announcements, Google's index",
             [this] { showSiteStatus(); });

    QMenu* help = menuBar()->addMenu("&Help");
    help->menuAction()->setStatusTip("Help on Corvane.");
    addEntry(help, "&Contents", "", [this] { helpCommands_->Contents1Click(); });
    addEntry(help, "&Index", "", [this] { helpCommands_->Index1Click(); });
    addEntry(help, "&How to Use Help", "", [this] { helpCommands_->HowtoUseHelp1Click(); });
    help->addSeparator();
    addEntry(help, "&Corvane Home Page", "Learn more about Tessaly, the developer of Larkspan",
             [this] { CorvaneHomePageClick(config_); });
    addEntry(help, "&Larkspan Home Page", "Learn more about Larkspan",
             [this] { ProductHomePageClick(config_); });
    addEntry(help, "&About Larkspan", "Info about Larkspan", [this] { about_->Present(); });
    // F1 opens the help topic of the page in front.
    auto* pageHelp = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(pageHelp, &QShortcut::activated, this,
            [this] { helpCommands_->TopicClick(pageHelpTopic(static_cast<Page>(pages_->currentIndex()))); });
}

void MainWindow::showSiteStatus() {
    std::vector<std::string> names;
    try {
        names = profileStore().list();
    } catch (const std::exception& e) {
        setStatusText(e.what());
        return;
    }
    siteStatus_->showSites(profileStore().directory(), names, currentSelection());
    siteStatus_->present();
}

QAction* MainWindow::menuEntry(const QString& caption) const {
    for (QAction* menu : menuBar()->actions())
        for (QAction* entry : menu->menu()->actions())
            if (entry->text() == caption) return entry;
    return nullptr;
}

void MainWindow::showFound(const GridCell& cell) {
    if (cell.Found()) {
        pages_->setCurrentIndex(ProgressPage);
        gridWidget()->scrollToRow(cell.Row);
    }
}

void MainWindow::runReport(std::string (*report)(TReportGrid&, const std::string&, const ReportHooks&)) {
    OverrideBusyCursor busy;
    ReportHooks hooks;
    hooks.busy = &busy;
    std::string path = report(grid_, "", hooks);
    setStatusText("Saved " + path);
}

void MainWindow::runCommand(const std::function<void()>& command) {
    try {
        command();
    } catch (const std::exception& e) {
        showError(e.what());
    }
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    // "Go!" is the window's default button: Enter presses it unless a control uses Enter itself
    // (a focused push button presses itself and never passes Enter on).
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        runButtons_->GoButton->isVisible() && runButtons_->GoButton->isEnabled()) {
        runButtons_->GoButton->click();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

std::string MainWindow::fieldText(std::size_t field) const {
    return editorPage_->fieldText(field);
}

std::string MainWindow::editedProfileUrl() const {
    return fieldText(fURL);
}

void MainWindow::setFieldText(std::size_t field, const std::string& text) {
    editorPage_->setFieldText(field, text);
}

void MainWindow::setStatusText(const std::string& text) {
    statusBar()->showMessage(qs(text));
}

std::string MainWindow::statusText() const {
    return ss(statusBar()->currentMessage());
}

void MainWindow::BitBtn1Click() {
    if (!confirm(qs(profiles_->deleteQuestion()))) return;
    profiles_->deleteCurrent();
}
