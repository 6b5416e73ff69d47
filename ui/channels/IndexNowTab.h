#pragma once

#include "ui/channels/LiveChannelTab.h"

#include <QString>

#include <functional>

class QLabel;
class QCheckBox;
class QLineEdit;
class QPushButton;

// The IndexNow tab of "Live Channels": the profile's key and key location, and the commands
// that make a key, write its key file for the site and check that the site has it.
class IndexNowTab final : public LiveChannelTab {
    Q_OBJECT
public:
    explicit IndexNowTab(QWidget* parent = nullptr);

    void load(const ProfileFiles& store, const std::string& profile) override;
    ProfileExtras extras() const override;

    // "Generate": a new key from the system's random source; a key that is there is replaced
    // only when the user agrees.
    void GenerateClick();
    // "Save Key File...": KEY.txt holding the key, in a folder the user chooses.
    void SaveKeyFileClick();
    // "Check Key File": fetches the key file and says what it found.
    void CheckKeyFileClick();

    QLineEdit* keyEdit() const { return key_; }
    QLineEdit* locationEdit() const { return location_; }
    QCheckBox* firstRunCheck() const { return firstRun_; }
    // What the last command found, in a sentence.
    QString result() const;
    // Asks for the folder of the key file; tests replace it. Empty: cancelled.
    std::function<QString()> chooseFolder;
    // Asks before "Generate" replaces a key that is there; tests replace it.
    std::function<bool()> confirmReplace;

private:
    void say(const std::string& text);

    QLineEdit* key_ = nullptr;
    QLineEdit* location_ = nullptr;
    QCheckBox* firstRun_ = nullptr;
    QPushButton* check_ = nullptr;
    QLabel* result_ = nullptr;
};
