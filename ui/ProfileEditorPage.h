#pragma once

#include "core/profiles/ProfileCommands.h"

#include <QWidget>
#include <array>

class LiveChannelsDialog;
class QLineEdit;
class QPushButton;

// "Create/Edit URL Information": the sixteen fields of a profile, its Sitemap line, "Save
// Settings" and "Live Channels...", whose dialog holds the live channels' settings.
class ProfileEditorPage : public QWidget, public ProfileEditor {
    Q_OBJECT
public:
    explicit ProfileEditorPage(QWidget* parent = nullptr);

    std::string fieldText(std::size_t field) const override;
    void setFieldText(std::size_t field, const std::string& text) override;
    std::string sitemap() const override;
    void setSitemap(const std::string& text) override;
    void loadLiveChannels(const ProfileFiles& store, const std::string& name) override;
    ProfileExtras liveChannelValues() const override;
    std::optional<std::string> liveChannelProblem() const override;

    LiveChannelsDialog* liveChannels() const { return liveChannels_; }

signals:
    // The user changed the site title (a profile loaded into the editor does not count).
    void titleEdited(const QString& title);

public:
    // The profile's Sitemap key, beside the sixteen fields.
    QLineEdit* SitemapEdit = nullptr;
    // "Save Settings": saves the profile under its title.
    QPushButton* SaveSettings = nullptr;
    // Opens the settings of the live channels, which are saved with the profile.
    QPushButton* LiveChannelsButton = nullptr;

private:
    void createFields();
    void layOut();

    // The controls in field order; each is a QLineEdit, QComboBox or QPlainTextEdit.
    std::array<QWidget*, ProfileFieldCount> editors_{};
    LiveChannelsDialog* liveChannels_ = nullptr;
};
