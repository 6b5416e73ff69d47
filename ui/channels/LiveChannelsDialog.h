#pragma once

#include "core/profiles/SiteProfile.h"

#include <QDialog>
#include <QMessageBox>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class LiveChannelTab;
class QTabWidget;

// "Live Channels": the settings of the profile being edited for today's services, one tab per
// channel. It belongs to the editor page: the editor loads it with each profile, and "Save
// Settings" (or the dialog's own "Save") checks and saves its values with the sixteen fields.
// Nothing it changes is dropped without a word: the dialog is modal to the window, so no other
// profile can be chosen and the window not closed while it is open, and closing it with
// changes that are not saved asks whether to save them, drop them or stay.
class LiveChannelsDialog : public QDialog {
    Q_OBJECT
public:
    // The program's tabs, in the order of the channel table.
    static std::vector<LiveChannelTab*> channelTabs();

    explicit LiveChannelsDialog(std::vector<LiveChannelTab*> tabs, QWidget* parent = nullptr);

    // Shows the named profile's values; they are then the saved ones.
    void load(const ProfileFiles& store, const std::string& profile);
    ProfileExtras extras() const;
    // The values were saved with the profile of that name.
    void markSaved(const std::string& profile);
    // Whether a value differs from what was loaded or saved last.
    bool unsaved() const { return extras() != saved_; }
    // The question before closing with unsaved values: true when the dialog may close, after
    // the values were saved or put back as they were saved; false keeps them and the dialog.
    bool settle();

    // Saves the profile being edited with these values, as "Save Settings" does; false when it
    // could not be saved (it then says why). The window sets it.
    std::function<bool()> saveProfile;
    // Asks what to do with unsaved values: Save, Discard or Cancel. Tests replace it.
    std::function<QMessageBox::StandardButton()> askUnsaved;
    // The first tab's reason to refuse a save, or nothing.
    std::optional<std::string> check() const;
    const std::vector<LiveChannelTab*>& tabs() const { return tabs_; }

    // Where the dialog's size is kept between sessions: window.conf beside the configuration
    // file (it is the window's state, not a setting the user writes).
    static QString stateFile();
    // The size the dialog opens at: the one kept from the last session, else one that shows
    // every explanation in full.
    QSize openingSize() const;

    // Close, Escape and the window's close button keep the size for the next session; with
    // unsaved values they ask first.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QTabWidget* pages_ = nullptr;
    std::vector<LiveChannelTab*> tabs_;
    void rememberSize() const;
    void save();

    // The profile the values were loaded from, and its values as saved.
    std::optional<ProfileFiles> store_;
    std::string profile_;
    ProfileExtras saved_;

    bool sized_ = false;
};
