#pragma once

#include "ui/channels/LiveChannelTab.h"

class QLineEdit;
class QPushButton;

// The Google Search Console tab of the "Live Channels" dialog: the service account's key file
// and the property, which the run's Search Console channel reads from the profile.
class GoogleTab final : public LiveChannelTab {
    Q_OBJECT
public:
    explicit GoogleTab(QWidget* parent = nullptr);

    void load(const ProfileFiles& store, const std::string& profile) override;
    ProfileExtras extras() const override;

    QLineEdit* KeyFileEdit = nullptr;
    QPushButton* BrowseButton = nullptr;
    QLineEdit* PropertyEdit = nullptr;

private:
    void browse();
};
