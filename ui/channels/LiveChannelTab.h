#pragma once

#include "core/profiles/SiteProfile.h"

#include <QWidget>

#include <optional>
#include <string>

struct ChannelDeclaration;
struct Config;

// What a settings tab reads of the window it sits in: the profile URL as the editor holds it
// now, and the configuration. The main window is one; a tab outside a window (in tests) finds
// none and uses what it loaded.
class ChannelTabContext {
public:
    virtual ~ChannelTabContext() = default;
    virtual std::string editedProfileUrl() const = 0;
    virtual const Config& config() const = 0;
};

// One live channel's settings of a profile: a tab of the "Live Channels" dialog. Its values
// are part of the profile being edited; "Save Settings" saves them with the sixteen fields.
// The tab's caption and the check of its values come from the channel's declaration.
class LiveChannelTab : public QWidget {
    Q_OBJECT
public:
    explicit LiveChannelTab(const ChannelDeclaration& channel, QWidget* parent = nullptr);

    const ChannelDeclaration& channel() const { return channel_; }
    // The tab's caption: the channel's title.
    QString title() const;
    // Shows the values of the named profile's file (empty ones for a profile without them,
    // and for an empty name, which is a profile not saved yet).
    virtual void load(const ProfileFiles& store, const std::string& profile) = 0;
    // The keys and values to save with the profile.
    virtual ProfileExtras extras() const = 0;
    // Why the values cannot be saved (the rule of the channel they break), or nothing.
    std::optional<std::string> check() const;

protected:
    // Keeps what the check needs of the profile being loaded: the profiles' directory, and
    // the profile URL as saved (for a tab that is not inside the window).
    void loadStored(const ProfileFiles& store, const std::string& profile);
    // The profile URL as the editor holds it now, else as it was saved.
    std::string profileUrl() const;
    const std::string& profileDirectory() const { return profileDirectory_; }
    // The window around the tab, or nullptr.
    const ChannelTabContext* context() const;

private:
    const ChannelDeclaration& channel_;
    std::string profileDirectory_;
    std::string storedUrl_;
};
