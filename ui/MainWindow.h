#pragma once

#include "core/Config.h"
#include "core/profiles/ProfileCommands.h"
#include "grid/Find.h"
#include "grid/ReportGrid.h"
#include "ui/ShellCommands.h"
#include "ui/channels/LiveChannelTab.h"

#include <QMainWindow>
#include <functional>
#include <memory>

class QAction;
class QMenu;
class QTabWidget;
class QTimer;
struct ReportHooks;
class ProfileEditorPage;
class GridPrinting;
class HelpCommands;
class HelpWindow;
class LiveChannelsDialog;
class PrintOptionsPage;
class ProfileListPage;
class TrackProgressPage;
class ReportGridWidget;
class PageChecksWindow;
class RequestLogWindow;
class SiteStatusWindow;
class RunButtons;
class SubmissionListPage;
class TAboutBox;

// The program's one window: it assembles the five pages, the run bar, the menus and the status
// line, and connects the pages to the profile commands and the report commands.
class MainWindow : public QMainWindow, public ChannelTabContext {
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
    SiteProfile editorProfile() const { return profiles_->editorProfile(); }
    void loadProfileIntoEditor(const std::string& name) { profiles_->loadIntoEditor(name); }

    void setStatusText(const std::string& text);
    std::string statusText() const;
    const std::string& currentSelection() const { return profiles_->currentSelection(); }
    void setCurrentSelection(const std::string& name) { profiles_->setCurrentSelection(name); }

    TReportGrid& Grid() { return grid_; }
    TReportGrid& SubmitListGrid() { return submitList_; }
    TReportGrid& StringGrid1() { return editList_; }
    ReportGridWidget* submitListWidget() const;
    ReportGridWidget* gridWidget() const;
    ReportGridWidget* editListWidget() const;
    GridPrinting& printing() { return *printing_; }
    TFindState& findState() { return find_; }
    const Config& config() const override { return config_; }
    std::string editedProfileUrl() const override;
    const ProfileFiles& profileStore() const { return profiles_->store(); }
    PrintOptionsPage* optionsPage() const { return optionsPage_; }
    // The pages and the run bar, whose controls keep the names of the window's layout
    // (Label6, Gauge1, GoButton, SaveSettings, BitBtn1, ...).
    ProfileListPage& profileList() const { return *profileListPage_; }
    ProfileEditorPage& editor() const { return *editorPage_; }
    TrackProgressPage& progress() const { return *progressPage_; }
    RunButtons& runButtons() const { return *runButtons_; }
    TAboutBox* aboutBox() const { return about_; }
    // The request log, a window of its own that "Request Log" on "Track Progress" shows.
    RequestLogWindow* requestLog() const { return requestLog_; }
    SiteStatusWindow* siteStatus() const { return siteStatus_; }
    // Opens the Site Status window on the profile selected in the list.
    void showSiteStatus();
    // The page checks of the selected profile, from the store, in a window of their own that
    // "Page Checks" on "Track Progress" shows.
    PageChecksWindow* pageChecks() const { return pageChecks_; }
    void showPageChecks();
    // Reads the checks again after a run, when the window is open.
    void refreshPageChecks();
    LiveChannelsDialog* liveChannels() const;
    HelpWindow* helpWindow() const { return help_; }
    HelpCommands& helpCommands() { return *helpCommands_; }
    // What "Sen&d" runs the mail program with; tests replace it.
    MailHooks mailHooks;
    QTabWidget* pages() const { return pages_; }
    // The help topic that F1 opens on the page.
    static std::string pageHelpTopic(Page page);
    // The menu entry with this caption (access-key marks included), or null.
    QAction* menuEntry(const QString& caption) const;

    // The profile commands, named after the controls that run them.
    void LoadGrid() { profiles_->listProfiles(); }
    void StringGrid1SelectCell(int row) { profiles_->selectRow(row); }
    // Saves the editor's profile; the live channels' values are then the saved ones.
    void SaveSettingsClick();
    void BitBtn1Click();
    // The question that BitBtn1Click asks, and the general error display; tests replace them.
    std::function<bool(const QString& question)> confirm;
    std::function<void(const std::string& message)> showError;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    // Live channel values that are not saved yet are saved or dropped first, or the window stays.
    void closeEvent(QCloseEvent* event) override;

private:
    // The windows beside the main one that the Track Progress page opens: request log, site status.
    void buildSideWindows();
    void buildPages();
    void connectPages();
    void showDirectoryProblem(std::string problem);
    void buildMenus();
    // The request log and the page checks: windows of their own, shown from "Track Progress".
    void buildRunWindows();
    void setSmallestSize();
    void buildFileMenu();
    // A menu entry: caption with its access key, hint, and the command it runs.
    QAction* addEntry(QMenu* menu, const QString& caption, const QString& hint,
                      std::function<void()> command);
    void runReport(std::string (*report)(TReportGrid&, const std::string&, const ReportHooks&));
    void showFound(const GridCell& cell);
    void runCommand(const std::function<void()>& command);

    Config config_;

    TReportGrid editList_{1, 0, 0, 0};
    TReportGrid submitList_{1, 2, 0, 1};
    TReportGrid grid_{2, 2, 1, 1};

    QTabWidget* pages_ = nullptr;
    ProfileListPage* profileListPage_ = nullptr;
    ProfileEditorPage* editorPage_ = nullptr;
    SubmissionListPage* submissionListPage_ = nullptr;
    TrackProgressPage* progressPage_ = nullptr;
    PrintOptionsPage* optionsPage_ = nullptr;
    RunButtons* runButtons_ = nullptr;
    std::unique_ptr<ProfileCommands> profiles_;
    // Find and print state of the results table.
    TFindState find_;
    std::unique_ptr<GridPrinting> printing_;
    HelpWindow* help_ = nullptr;
    std::unique_ptr<HelpCommands> helpCommands_;
    TAboutBox* about_ = nullptr;
    RequestLogWindow* requestLog_ = nullptr;
    SiteStatusWindow* siteStatus_ = nullptr;
    PageChecksWindow* pageChecks_ = nullptr;

public:
    // The run's clock: each tick moves the animation and the run on.
    QTimer* Timer1 = nullptr;
};
