#pragma once

#include "core/Config.h"
#include "core/SiteProfile.h"
#include "grid/Find.h"
#include "grid/ReportGrid.h"
#include "ui/ShellCommands.h"

#include <QMainWindow>
#include <array>
#include <functional>
#include <memory>

class QAction;
class QComboBox;
class QLabel;
class QMenu;
struct ReportHooks;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTimer;
class Gauge;
class GridPrinting;
class HelpCommands;
class HelpWindow;
class TAboutBox;
class PrintOptionsPage;
class LiveChannelsDialog;
class RequestLogWindow;
class ReportGridWidget;

// The program's one window: five pages, the run bar and the status line.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // The pages in tab order.
    enum Page { EditListPage, EditorPage, SubmitListPage, ProgressPage, OptionsPage };
    // The profile directory; an empty text when it could not be found, with the reason.
    MainWindow(std::string profileDirectory, std::string directoryProblem, Config config = {},
               QWidget* parent = nullptr);
    ~MainWindow() override;

    // The profile editor: one text per field, read and set by field index.
    std::string fieldText(std::size_t field) const;
    void setFieldText(std::size_t field, const std::string& text);
    SiteProfile editorProfile() const;
    void loadProfileIntoEditor(const std::string& name);

    void setStatusText(const std::string& text);
    std::string statusText() const;
    const std::string& currentSelection() const { return CurrentSelection; }
    void setCurrentSelection(const std::string& name) { CurrentSelection = name; }

    TReportGrid& Grid() { return grid_; }
    TReportGrid& SubmitListGrid() { return submitList_; }
    TReportGrid& StringGrid1() { return editList_; }
    ReportGridWidget* submitListWidget() const { return submitListWidget_; }
    ReportGridWidget* gridWidget() const { return gridWidget_; }
    GridPrinting& printing() { return *printing_; }
    TFindState& findState() { return find_; }
    const Config& config() const { return config_; }
    const ProfileStore& profileStore() const { return store_; }
    PrintOptionsPage* optionsPage() const { return optionsPage_; }
    TAboutBox* aboutBox() const { return about_; }
    // The request log, a window of its own that "Request Log" on "Track Progress" shows.
    RequestLogWindow* requestLog() const { return requestLog_; }
    LiveChannelsDialog* liveChannels() const { return liveChannels_; }
    HelpWindow* helpWindow() const { return help_; }
    HelpCommands& helpCommands() { return *helpCommands_; }
    // What "Sen&d" runs the mail program with; tests replace it.
    MailHooks mailHooks;
    ReportGridWidget* editListWidget() const { return editListWidget_; }
    QTabWidget* pages() const { return pages_; }
    // The menu entry with this caption (access-key marks included), or null.
    QAction* menuEntry(const QString& caption) const;

    // The profile commands.
    void LoadGrid();
    void StringGrid1SelectCell(int row);
    void SaveSettingsClick();
    void BitBtn1Click();
    // The question that BitBtn1Click asks, and the general error display; tests replace them.
    std::function<bool(const QString& question)> confirm;
    std::function<void(const std::string& message)> showError;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QWidget* buildEditListPage();
    QWidget* buildEditorPage();
    QWidget* buildSubmitListPage();
    QWidget* buildProgressPage();
    QWidget* buildOptionsPage();
    QWidget* buildRunBar();
    void buildMenus();
    // A menu entry: caption with its access key, hint, and the command it runs.
    QAction* addEntry(QMenu* menu, const QString& caption, const QString& hint,
                      std::function<void()> command);
    void runReport(std::string (*report)(TReportGrid&, const std::string&, const ReportHooks&));
    void showFound(const GridCell& cell);
    void runCommand(const std::function<void()>& command);

    Config config_;
    ProfileStore store_;
    std::string CurrentSelection;

    TReportGrid editList_{1, 0, 0, 0};
    TReportGrid submitList_{1, 2, 0, 1};
    TReportGrid grid_{2, 2, 1, 1};

    QTabWidget* pages_ = nullptr;
    ReportGridWidget* editListWidget_ = nullptr;
    ReportGridWidget* submitListWidget_ = nullptr;
    ReportGridWidget* gridWidget_ = nullptr;
    PrintOptionsPage* optionsPage_ = nullptr;
    LiveChannelsDialog* liveChannels_ = nullptr;
    // Find and print state of the results table.
    TFindState find_;
    std::unique_ptr<GridPrinting> printing_;
    HelpWindow* help_ = nullptr;
    std::unique_ptr<HelpCommands> helpCommands_;
    TAboutBox* about_ = nullptr;
    RequestLogWindow* requestLog_ = nullptr;

    // The editor's controls in field order; each is a QLineEdit, QComboBox or QPlainTextEdit.
    std::array<QWidget*, ProfileFieldCount> editors_{};

public:
    // Controls that the run drives.
    QLabel* Label6 = nullptr;
    Gauge* Gauge1 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    std::array<QLabel*, 10> Images{};
    QPushButton* GoButton = nullptr;
    QPushButton* PauseButton = nullptr;
    QPushButton* StopButton = nullptr;
    QLabel* GoImage = nullptr;
    QLabel* PauseImage = nullptr;
    QLabel* StopImage = nullptr;
    QTimer* Timer1 = nullptr;
    QPushButton* SaveSettings = nullptr;
    // The profile's Sitemap key, beside the sixteen fields.
    QLineEdit* SitemapEdit = nullptr;
    // Opens the settings of the live channels, which are saved with the profile.
    QPushButton* LiveChannelsButton = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* RequestLogButton = nullptr;
};
