#pragma once

#include "core/SiteProfile.h"

#include <QWidget>

#include <optional>
#include <string>

// One live channel's settings of a profile: a tab of the "Live Channels" dialog. Its values
// are part of the profile being edited; "Save Settings" saves them with the sixteen fields.
class LiveChannelTab : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;

    // The tab's caption.
    virtual QString title() const = 0;
    // Shows the values of the named profile's file (empty ones for a profile without them,
    // and for an empty name, which is a profile not saved yet).
    virtual void load(const ProfileStore& store, const std::string& profile) = 0;
    // The keys and values to save with the profile.
    virtual ProfileExtras extras() const = 0;
    // Why the values cannot be saved (the rule they break), or nothing.
    virtual std::optional<std::string> check() const { return std::nullopt; }
};
