#pragma once

#include "core/profiles/SiteProfile.h"

#include <QDialog>

#include <optional>
#include <string>
#include <vector>

class LiveChannelTab;
class QTabWidget;

// "Live Channels": the settings of the profile being edited for today's services, one tab per
// channel. It belongs to the editor page: the editor loads it with each profile, and "Save
// Settings" checks and saves its values with the sixteen fields.
class LiveChannelsDialog : public QDialog {
    Q_OBJECT
public:
    // The program's tabs, in the order of the channel table.
    static std::vector<LiveChannelTab*> channelTabs();

    explicit LiveChannelsDialog(std::vector<LiveChannelTab*> tabs, QWidget* parent = nullptr);

    void load(const ProfileFiles& store, const std::string& profile);
    ProfileExtras extras() const;
    // The first tab's reason to refuse a save, or nothing.
    std::optional<std::string> check() const;
    const std::vector<LiveChannelTab*>& tabs() const { return tabs_; }

    // Where the dialog's size is kept between sessions: window.conf beside the configuration
    // file (it is the window's state, not a setting the user writes).
    static QString stateFile();
    // The size the dialog opens at: the one kept from the last session, else one that shows
    // every explanation in full.
    QSize openingSize() const;

    // Close, Escape and the window's close button keep the size for the next session.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QTabWidget* pages_ = nullptr;
    std::vector<LiveChannelTab*> tabs_;
    void rememberSize() const;

    bool sized_ = false;
};
