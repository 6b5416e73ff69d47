#include "ui/channels/GoogleTab.h"

#include "core/channels/ChannelTable.h"
#include "core/google/SearchConsoleChannel.h"
#include "ui/ErrorDisplay.h"

#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr const char* PropertyExamples = "https://www.example.com/ or sc-domain:example.com";

std::string trimmed(const QLineEdit* edit) {
    return edit->text().trimmed().toStdString();
}

} // namespace

GoogleTab::GoogleTab(QWidget* parent) : LiveChannelTab(*findChannel(SearchConsoleChannelId), parent) {
    setObjectName("GoogleTab");
    auto* layout = new QVBoxLayout(this);
    auto* note = new QLabel(QString::fromUtf8(channel().about));
    note->setWordWrap(true);
    layout->addWidget(note);

    auto* form = new QFormLayout;
    KeyFileEdit = new QLineEdit;
    KeyFileEdit->setObjectName("GoogleServiceAccountEdit");
    KeyFileEdit->setPlaceholderText("the service account's JSON key file");
    setHint(KeyFileEdit,
            "Service account key file|The JSON key file that Google Cloud issued for the service "
            "account; a relative path is taken from the profiles' folder. Keep it readable by "
            "you only (chmod 600).");
    BrowseButton = new QPushButton("Browse...");
    BrowseButton->setObjectName("GoogleServiceAccountBrowse");
    setHint(BrowseButton, "Choose the key file|Choose the service account's JSON key file");
    connect(BrowseButton, &QPushButton::clicked, this, [this] { browse(); });
    auto* keyRow = new QHBoxLayout;
    keyRow->addWidget(KeyFileEdit, 1);
    keyRow->addWidget(BrowseButton);
    form->addRow("Key file", keyRow);

    PropertyEdit = new QLineEdit;
    PropertyEdit->setObjectName("SearchConsolePropertyEdit");
    PropertyEdit->setPlaceholderText(PropertyExamples);
    setHint(PropertyEdit, "Search Console property|The property as Search Console names it: a URL prefix "
                          "ending in \"/\" or sc-domain: and the domain; empty: the URL's scheme and host "
                          "with \"/\"");
    form->addRow("Property", PropertyEdit);
    layout->addLayout(form);
    layout->addStretch(1);
}

void GoogleTab::load(const ProfileFiles& store, const std::string& profile) {
    loadStored(store, profile);
    const bool saved = !profile.empty();
    KeyFileEdit->setText(saved ? QString::fromStdString(store.loadExtra(profile, GoogleServiceAccountKey))
                               : QString());
    PropertyEdit->setText(saved ? QString::fromStdString(store.loadExtra(profile, SearchConsolePropertyKey))
                                : QString());
    // The empty line shows what the run will use instead.
    const std::string fallback =
        saved ? defaultSearchConsoleProperty(store.load(profile)[fURL]) : std::string();
    PropertyEdit->setPlaceholderText(fallback.empty() ? QString(PropertyExamples)
                                                      : QString::fromStdString(fallback + " (from the URL)"));
}

ProfileExtras GoogleTab::extras() const {
    return {{GoogleServiceAccountKey, trimmed(KeyFileEdit)},
            {SearchConsolePropertyKey, trimmed(PropertyEdit)}};
}

void GoogleTab::browse() {
    const QString file = QFileDialog::getOpenFileName(this, "Service Account Key File", KeyFileEdit->text(),
                                                      "JSON key files (*.json);;All files (*)");
    if (!file.isEmpty()) KeyFileEdit->setText(file);
}
