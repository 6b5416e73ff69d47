#include "ui/MainWindow.h"

#include "core/Countries.h"
#include "core/EditorItems.h"
#include "grid/ReportCommands.h"
#include "platform/BusyCursor.h"
#include "platform/Text.h"
#include "ui/AboutBox.h"
#include "ui/ErrorDisplay.h"
#include "ui/FindCommands.h"
#include "ui/Gauge.h"
#include "ui/HelpCommands.h"
#include "ui/HelpWindow.h"
#include "ui/LiveChannelsDialog.h"
#include "ui/Pictures.h"
#include "ui/PrintCommands.h"
#include "ui/PrintOptionsPage.h"
#include "ui/ReportGridWidget.h"
#include "ui/RequestLogWindow.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {

QString qs(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
std::string ss(const QString& s) {
    return s.toStdString();
}

// Multi-line fields store their lines joined by CR LF; the text control shows them with LF.
std::string toStoredLines(const QString& text) {
    return replaceAll(ss(text), "\n", "\r\n");
}
QString toShownLines(const std::string& text) {
    return qs(replaceAll(text, "\r\n", "\n"));
}

QPlainTextEdit* memo(int lines) {
    auto* m = new QPlainTextEdit;
    m->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m->setTabChangesFocus(true);
    const int line = m->fontMetrics().lineSpacing();
    m->setFixedHeight(line * lines + 2 * m->frameWidth() + 8);
    return m;
}

// An editable drop-down list whose field may be narrower than its longest item: the open
// list is made wide enough to show every item in full.
class DropDown : public QComboBox {
public:
    void showPopup() override {
        QAbstractItemView* list = view();
        list->setMinimumWidth(list->sizeHintForColumn(0) + list->verticalScrollBar()->sizeHint().width() +
                              2 * list->frameWidth() + 4);
        QComboBox::showPopup();
    }
};

QComboBox* dropDown(const std::vector<std::string>& items) {
    auto* c = new DropDown;
    c->setEditable(true);
    c->setInsertPolicy(QComboBox::NoInsert);
    c->setMaxVisibleItems(20);
    // The longest item (a country or category name) would otherwise set the field's width and
    // squeeze the fields beside it; the open list still shows every item in full.
    c->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    c->setMinimumContentsLength(10);
    for (const std::string& item : items)
        c->addItem(qs(item));
    // The list only offers choices: the field starts empty until a profile is loaded.
    c->setCurrentIndex(-1);
    return c;
}

QLabel* picture(const QPixmap& pm, const QString& hint) {
    auto* l = new QLabel;
    l->setPixmap(pm);
    l->setFixedSize(pm.size());
    setHint(l, hint);
    return l;
}

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
    : QMainWindow(parent), config_(std::move(config)), store_(std::move(profileDirectory)) {
    setWindowTitle("Larkspan");
    // The window's proportions are laid out for the small dialog font of 8 points.
    QFont small = font();
    small.setPointSize(8);
    setFont(small);
    setWindowIcon(QIcon(Pictures::programIcon(64)));
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

    pages_ = new QTabWidget;
    pages_->addTab(buildEditListPage(), "Select URL to Edit");
    pages_->addTab(buildEditorPage(), "Create/Edit URL Information");
    pages_->addTab(buildSubmitListPage(), "Prepare Submission List");
    pages_->addTab(buildProgressPage(), "Track Progress");
    pages_->addTab(buildOptionsPage(), "Options");
    pages_->setCurrentIndex(SubmitListPage);
    auto* tabStyle = new CompactTabStyle;
    tabStyle->setParent(pages_->tabBar());
    pages_->tabBar()->setStyle(tabStyle);
    // Should a wider font still not leave room for every tab, the bar scrolls rather than
    // making the window wider than its initial size.
    pages_->setUsesScrollButtons(true);

    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(4, 4, 4, 2);
    layout->addWidget(pages_, 1);
    layout->addWidget(buildRunBar());
    setCentralWidget(central);
    statusBar()->setSizeGripEnabled(true);
    // The help file starts as the configured path; the help window and the About box are
    // children of the main window, so they close with it.
    help_ = new HelpWindow(this);
    helpCommands_ =
        std::make_unique<HelpCommands>(*help_, config_.helpFile, defaultHelpSearchDirs(config_.helpFile));
    buildMenus();

    Timer1 = new QTimer(this);
    Timer1->setInterval(200);

    // Start-up: the profiles first, so the editor opens on the first one.
    // A problem with the profile directory is said once the window is up, and stays on the
    // status line, so that empty lists are never mistaken for a directory without profiles.
    if (directoryProblem.empty()) {
        try {
            LoadGrid();
        } catch (const std::exception& e) {
            directoryProblem = e.what();
        }
    }
    if (!directoryProblem.empty()) {
        setStatusText(directoryProblem);
        // Without a usable directory there is nothing to save into or delete from.
        SaveSettings->setEnabled(false);
        BitBtn1->setEnabled(false);
        QTimer::singleShot(0, this, [this, directoryProblem] { showError(directoryProblem); });
    }
    grid_.SetCellText(0, 0, "Engine");
    grid_.SetCellText(1, 0, "URLs Submitted");
    PauseButton->hide();
    StopButton->hide();
    PauseImage->hide();
    StopImage->hide();
    GoButton->show();
    GoImage->show();
    for (QLabel* image : Images)
        image->hide();
    about_ = new TAboutBox(config_.makerHomePage, this);
    requestLog_ = new RequestLogWindow(this);
    connect(RequestLogButton, &QPushButton::clicked, requestLog_, &RequestLogWindow::present);
}

MainWindow::~MainWindow() {
    // The print state refers to the Options page, and the grid widgets to the tables, which
    // are members: the print state goes first, then the widgets, then the tables.
    printing_.reset();
    delete takeCentralWidget();
}

QWidget* MainWindow::buildEditListPage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    editListWidget_ = new ReportGridWidget(editList_, ReportGridWidget::Selection::WholeRows);
    editListWidget_->setMinimumSize(300, 200);
    editListWidget_->resize(513, 329);
    editListWidget_->onSelectRow = [this](int row) {
        runCommand([this, row] { StringGrid1SelectCell(row); });
    };
    layout->addWidget(editListWidget_, 1);
    BitBtn1 = new QPushButton("Delete Highlighted Record");
    BitBtn1->setIcon(style()->standardIcon(QStyle::SP_TrashIcon));
    connect(BitBtn1, &QPushButton::clicked, this, [this] { runCommand([this] { BitBtn1Click(); }); });
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(BitBtn1);
    row->addStretch();
    layout->addLayout(row);
    return page;
}

QWidget* MainWindow::buildEditorPage() {
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    // Thirteen rows have to fit the window's initial height of 510 pixels.
    grid->setVerticalSpacing(4);
    auto line = [] { return new QLineEdit; };
    auto* name = line();
    auto* email = line();
    auto* url = line();
    url->setText("http://www.");
    auto* title = line();
    auto* category = dropDown(categoryItems());
    auto* description = memo(4);
    auto* keywords = memo(2);
    auto* language = dropDown(languageItems());
    auto* company = line();
    auto* address = line();
    auto* city = line();
    auto* state = line();
    state->setMaximumWidth(60);
    auto* zip = line();
    auto* country = dropDown(countryItems());
    auto* phone = line();
    auto* fax = line();
    editors_ = {name,    email,   url,  title, category, description, keywords, language,
                company, address, city, state, zip,      country,     phone,    fax};
    for (std::size_t i = 0; i < ProfileFieldCount; ++i)
        editors_[i]->setObjectName(ProfileFields[i].control);

    setHint(name, "Enter your first and last name");
    setHint(email, "Enter your e-mail address (yourname@example.com)");
    setHint(url, "Enter the URL to submit to the search engines");
    setHint(category, "Select the category which best describes this site.");
    setHint(language, "Choose the main language of this site.");
    setHint(country, "Choose the location of this site.");

    SitemapEdit = line();
    SitemapEdit->setObjectName("SitemapEdit");
    SitemapEdit->setPlaceholderText("from robots.txt");
    setHint(SitemapEdit,
            "Sitemap of this site|The URL of the site's sitemap, sitemap index or robots.txt; "
            "leave it empty to use the Sitemap lines of the site's /robots.txt, else /sitemap.xml");

    auto label = [](std::size_t field) { return new QLabel(ProfileFields[field].label); };
    int r = 0;
    grid->addWidget(label(fName), r, 0);
    grid->addWidget(name, r, 1, 1, 2);
    grid->addWidget(label(fEMail), r, 3);
    grid->addWidget(email, r, 4, 1, 2);
    ++r;
    // The sitemap belongs to the site's URL, so it is edited beside it; a row of its own would
    // not fit the window's height.
    grid->addWidget(label(fURL), r, 0);
    grid->addWidget(url, r, 1, 1, 2);
    grid->addWidget(new QLabel("Sitemap"), r, 3);
    grid->addWidget(SitemapEdit, r++, 4, 1, 2);
    for (std::size_t f :
         {fSiteTitle, fCategory, fSiteDescription, fKeywords, fLanguage, fCompany, fAddress}) {
        grid->addWidget(label(f), r, 0,
                        f == fSiteDescription || f == fKeywords ? Qt::AlignTop : Qt::Alignment());
        grid->addWidget(editors_[f], r++, 1, 1, 5);
    }
    grid->addWidget(label(fCity), r, 0);
    grid->addWidget(city, r, 1);
    grid->addWidget(label(fState), r, 2);
    grid->addWidget(state, r, 3);
    grid->addWidget(label(fZip), r, 4);
    grid->addWidget(zip, r++, 5);
    grid->addWidget(label(fCountry), r, 0);
    grid->addWidget(country, r, 1);
    grid->addWidget(label(fPhone), r, 2);
    grid->addWidget(phone, r, 3);
    grid->addWidget(label(fFax), r, 4);
    grid->addWidget(fax, r++, 5);
    SaveSettings = new QPushButton("Save Settings");
    SaveSettings->setObjectName("SaveSettings");
    connect(SaveSettings, &QPushButton::clicked, this,
            [this] { runCommand([this] { SaveSettingsClick(); }); });
    LiveChannelsButton = new QPushButton("Live Channels...");
    LiveChannelsButton->setObjectName("LiveChannelsButton");
    setHint(LiveChannelsButton,
            "Settings for today's services|IndexNow and Google Search Console settings of "
            "this site, saved with Save Settings");
    liveChannels_ = new LiveChannelsDialog(LiveChannelsDialog::channelTabs(), this);
    connect(LiveChannelsButton, &QPushButton::clicked, this, [this] {
        liveChannels_->show();
        liveChannels_->raise();
    });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(SaveSettings);
    buttons->addWidget(LiveChannelsButton);
    buttons->addStretch();
    grid->addLayout(buttons, r++, 0, 1, 6);
    grid->setRowStretch(r, 1);
    // The three columns of short fields share the width equally, so that a phone number or an
    // e-mail address shows in full at the window's initial width.
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    grid->setColumnStretch(5, 1);
    // The sixteen fields keep their order; the sitemap comes after them.
    for (std::size_t i = 0; i + 1 < ProfileFieldCount; ++i)
        QWidget::setTabOrder(editors_[i], editors_[i + 1]);
    QWidget::setTabOrder(editors_.back(), SitemapEdit);
    QWidget::setTabOrder(SitemapEdit, SaveSettings);
    QWidget::setTabOrder(SaveSettings, LiveChannelsButton);
    return page;
}

QWidget* MainWindow::buildSubmitListPage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* text = new QLabel("Select URLs to submit. To select more than one adjacent entry, hold the Shift "
                            "key down or the left mouse "
                            "button while dragging your  mouse. To select non-adjacent URLs, depress the "
                            "Ctrl key, then select with "
                            "left mouse button clicks.");
    text->setWordWrap(true);
    layout->addWidget(text);
    submitListWidget_ = new ReportGridWidget(submitList_, ReportGridWidget::Selection::WholeRows);
    setHint(submitListWidget_, "Highlighted URLs will be submitted when you press Go!");
    layout->addWidget(submitListWidget_, 1);
    return page;
}

QWidget* MainWindow::buildProgressPage() {
    auto* page = new QWidget;
    auto* layout = new QGridLayout(page);
    Label6 = new QLabel("Report");
    // The run puts the site's URL in this caption: a long one is cut off at the page's edge
    // instead of widening the window.
    Label6->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    Gauge1 = new Gauge;
    Gauge1->setMinimumWidth(200);
    Gauge1->setMaximumWidth(409);
    Gauge1->hide();
    setHint(Gauge1, "Progress in retrieving information");
    layout->addWidget(Label6, 0, 0);
    layout->addWidget(Gauge1, 1, 0);
    // The request log is opened from beside the results table, where a run is watched.
    auto* caption = new QHBoxLayout;
    caption->addWidget(new QLabel("Successful Submission to these Sites:"));
    caption->addStretch();
    RequestLogButton = new QPushButton("Request Log");
    setHint(RequestLogButton, "Request Log|Show what happened to every request of the run");
    caption->addWidget(RequestLogButton);
    layout->addLayout(caption, 2, 0);
    gridWidget_ = new ReportGridWidget(grid_, ReportGridWidget::Selection::Cells);
    layout->addWidget(gridWidget_, 3, 0, 1, 2);
    Memo1 = new QPlainTextEdit;
    Memo1->setReadOnly(true);
    Memo1->hide();
    // The animation frames lie on top of one another; at most one is visible.
    auto* frames = new QWidget;
    frames->setFixedSize(121, 89);
    for (int i = 0; i < 10; ++i) {
        Images[static_cast<std::size_t>(i)] = new QLabel(frames);
        Images[static_cast<std::size_t>(i)]->setPixmap(Pictures::animationFrame(i));
        Images[static_cast<std::size_t>(i)]->setGeometry(0, 0, 121, 89);
        Images[static_cast<std::size_t>(i)]->setObjectName(QString("Image%1").arg(i));
    }
    setHint(Images[7], "Busy searching. Please be patient.");
    layout->addWidget(frames, 0, 1, 3, 1, Qt::AlignRight | Qt::AlignTop);
    layout->setRowStretch(3, 1);
    layout->setColumnStretch(0, 1);
    return page;
}

QWidget* MainWindow::buildOptionsPage() {
    optionsPage_ = new PrintOptionsPage;
    printing_ = std::make_unique<GridPrinting>(grid_, *optionsPage_);
    return optionsPage_;
}

QWidget* MainWindow::buildRunBar() {
    auto* bar = new QWidget;
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(0, 0, 0, 0);
    GoImage = picture(Pictures::goButton(), "Begin submitting selected URLs");
    GoButton = new QPushButton("Go!");
    setHint(GoButton, "Begin submitting selected URLs");
    PauseImage = picture(Pictures::pauseButton(), "Pause submission of selected URLs");
    PauseButton = new QPushButton("Pause");
    setHint(PauseButton, "Pause/Resume submission of selected URLs");
    StopImage = picture(Pictures::stopButton(), "Stop this submission run.");
    StopButton = new QPushButton("Stop");
    setHint(StopButton, "Stop this submission run.");
    for (QWidget* w :
         std::initializer_list<QWidget*>{GoImage, GoButton, PauseImage, PauseButton, StopImage, StopButton})
        layout->addWidget(w);
    layout->addStretch();
    return bar;
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

void MainWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu("&File");
    addEntry(file, "&Save", "Save|Save current file", [this] { runReport(FileSaveItemClick); });
    addEntry(file, "Save to CSV", "Save As|Save results in comma-separated format.",
             [this] { runReport(SavetoCSV1Click); });
    addEntry(file, "Append to MASTER.CSV", "", [this] { runReport(AppendtoMASTERCSV1Click); });
    addEntry(file, "Save as XLS", "Save As|Save results in Excel spreadsheet format",
             [this] { runReport(SaveasXLS1Click); });
    addEntry(file, "Save to HTML", "Save As|Save results in web page format",
             [this] { runReport(SavetoHTML1Click); });
    addEntry(file, "Save to ASCII", "Save As|Save results in text file format",
             [this] { runReport(SavetoASCII1Click); });
    addEntry(file, "Save to DOC", "Save As|Save results in MS Word Document format",
             [this] { runReport(SavetoDOC1Click); });
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

    QMenu* find = menuBar()->addMenu("Find");
    addEntry(find, "Find First", "", [this] {
        if (auto cell = FindFirst1Click(this, grid_, find_)) showFound(*cell);
    });
    // F3 works from every page: the entry's shortcut belongs to the whole window.
    addEntry(find, "Find Next", "", [this] {
        showFound(FindNextF31Click(this, grid_, find_));
    })->setShortcut(QKeySequence(Qt::Key_F3));

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
        gridWidget_->scrollToRow(cell.Row);
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
    // "Go!" is the window's default button: Enter presses it unless a control uses Enter itself.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && GoButton->isVisible() &&
        GoButton->isEnabled()) {
        GoButton->click();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

std::string MainWindow::fieldText(std::size_t field) const {
    QWidget* w = editors_.at(field);
    if (auto* e = qobject_cast<QLineEdit*>(w)) return ss(e->text());
    if (auto* c = qobject_cast<QComboBox*>(w)) return ss(c->currentText());
    return toStoredLines(static_cast<QPlainTextEdit*>(w)->toPlainText());
}

void MainWindow::setFieldText(std::size_t field, const std::string& text) {
    QWidget* w = editors_.at(field);
    if (auto* e = qobject_cast<QLineEdit*>(w))
        e->setText(qs(text));
    else if (auto* c = qobject_cast<QComboBox*>(w))
        c->setCurrentText(qs(text));
    else
        static_cast<QPlainTextEdit*>(w)->setPlainText(toShownLines(text));
}

SiteProfile MainWindow::editorProfile() const {
    SiteProfile profile;
    for (std::size_t i = 0; i < ProfileFieldCount; ++i)
        profile[i] = fieldText(i);
    return profile;
}

void MainWindow::loadProfileIntoEditor(const std::string& name) {
    SiteProfile profile = store_.load(name);
    for (std::size_t i = 0; i < ProfileFieldCount; ++i)
        setFieldText(i, profile[i]);
    SitemapEdit->setText(qs(store_.loadExtra(name, SitemapKey)));
    liveChannels_->load(store_, name);
    update();
}

void MainWindow::setStatusText(const std::string& text) {
    statusBar()->showMessage(qs(text));
}

std::string MainWindow::statusText() const {
    return ss(statusBar()->currentMessage());
}

void MainWindow::LoadGrid() {
    editList_.SetRowCount(0);
    std::vector<std::string> names;
    std::string failure;
    try {
        names = store_.list();
    } catch (const LarkspanError& e) {
        failure = e.what();
    }
    editList_.SetRowCount(static_cast<int>(names.size()));
    for (std::size_t i = 0; i < names.size(); ++i)
        editList_.SetCellText(0, static_cast<int>(i), names[i]);
    editList_.SetSelection({0, 0, 0, 0});
    editList_.SetCurrent(0, 0);
    fillSubmissionList(submitList_, names);
    if (!names.empty()) {
        CurrentSelection = names.front();
        setStatusText("Current Selection: " + CurrentSelection);
    }
    loadProfileIntoEditor(names.empty() ? std::string() : names.front());
    if (!failure.empty()) {
        setStatusText(failure);
        throw LarkspanError(failure);
    }
}

void MainWindow::StringGrid1SelectCell(int row) {
    std::string name = editList_.CellText(0, row);
    CurrentSelection = name;
    setStatusText("Current Selection: " + name);
    loadProfileIntoEditor(name);
}

void MainWindow::SaveSettingsClick() {
    // A live channel's value that breaks its rule keeps the whole profile from being saved.
    if (auto problem = liveChannels_->check()) throw LarkspanError(*problem);
    ProfileExtras extras{{SitemapKey, ss(SitemapEdit->text().trimmed())}};
    ProfileExtras live = liveChannels_->extras();
    extras.insert(extras.end(), live.begin(), live.end());
    store_.save(editorProfile(), extras);
}

void MainWindow::BitBtn1Click() {
    if (!confirm(qs("Do you wish to delete the information for " + CurrentSelection + "?"))) return;
    store_.remove(CurrentSelection);
    LoadGrid();
}
