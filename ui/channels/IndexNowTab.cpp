#include "ui/channels/IndexNowTab.h"

#include "core/channels/ChannelTable.h"
#include "core/channels/LiveSite.h"
#include "core/indexnow/IndexNowChannel.h"
#include "core/indexnow/IndexNowSubmission.h"
#include "core/sitemaps/SitemapSource.h"
#include "platform/Error.h"
#include "platform/Text.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

std::string ss(const QString& text) {
    return text.trimmed().toStdString();
}

} // namespace

IndexNowTab::IndexNowTab(QWidget* parent) : LiveChannelTab(*findChannel(IndexNowChannelId), parent) {
    setObjectName("IndexNowTab");
    auto* layout = new QVBoxLayout(this);
    auto* note = new QLabel(QString::fromUtf8(channel().about));
    note->setWordWrap(true);
    layout->addWidget(note);

    auto* form = new QFormLayout;
    key_ = new QLineEdit;
    key_->setObjectName("IndexNowKeyEdit");
    key_->setMaxLength(128);
    key_->setToolTip("8 to 128 characters from a-z, A-Z, 0-9 and -");
    auto* generate = new QPushButton("Generate");
    generate->setObjectName("GenerateButton");
    auto* keyRow = new QHBoxLayout;
    keyRow->addWidget(key_, 1);
    keyRow->addWidget(generate);
    form->addRow("Key", keyRow);
    location_ = new QLineEdit;
    location_->setObjectName("IndexNowKeyLocationEdit");
    location_->setPlaceholderText("https://HOST/KEY.txt");
    location_->setToolTip("Where the key file lies when not at the site's root; it then speaks only for "
                          "pages in its folder and below");
    form->addRow("Key location", location_);
    firstRun_ = new QCheckBox("Announce every page on the first run");
    firstRun_->setObjectName("IndexNowFirstRunCheck");
    firstRun_->setToolTip("Unchecked, the first run records every page of the sitemaps as known and "
                          "announces only the site's URL and the pages changed in the last 48 hours");
    form->addRow("", firstRun_);
    layout->addLayout(form);

    auto* commands = new QHBoxLayout;
    auto* save = new QPushButton("Save Key File...");
    save->setObjectName("SaveKeyFileButton");
    check_ = new QPushButton("Check Key File");
    check_->setObjectName("CheckKeyFileButton");
    commands->addWidget(save);
    commands->addWidget(check_);
    commands->addStretch(1);
    layout->addLayout(commands);
    result_ = new QLabel;
    result_->setObjectName("IndexNowResult");
    result_->setWordWrap(true);
    result_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(result_);
    layout->addStretch(1);

    chooseFolder = [this] { return QFileDialog::getExistingDirectory(this, "Save Key File"); };
    confirmReplace = [this] {
        return QMessageBox::question(this, "Replace Key",
                                     "Replace this profile's IndexNow key with a new one? The site's key "
                                     "file then has to be saved and uploaded again.") == QMessageBox::Yes;
    };
    connect(generate, &QPushButton::clicked, this, [this] { GenerateClick(); });
    connect(save, &QPushButton::clicked, this, [this] { SaveKeyFileClick(); });
    connect(check_, &QPushButton::clicked, this, [this] { CheckKeyFileClick(); });
}

void IndexNowTab::load(const ProfileFiles& store, const std::string& profile) {
    loadStored(store, profile);
    const bool saved = !profile.empty();
    key_->setText(saved ? QString::fromStdString(store.loadExtra(profile, IndexNowKeyKey)) : QString());
    location_->setText(saved ? QString::fromStdString(store.loadExtra(profile, IndexNowKeyLocationKey))
                             : QString());
    firstRun_->setChecked(saved && store.loadExtra(profile, IndexNowFirstRunKey) == "all");
    result_->clear();
}

ProfileExtras IndexNowTab::extras() const {
    return {{IndexNowKeyKey, ss(key_->text())},
            {IndexNowKeyLocationKey, ss(location_->text())},
            {IndexNowFirstRunKey, firstRun_->isChecked() ? "all" : ""}};
}

QString IndexNowTab::result() const {
    return result_->text();
}

void IndexNowTab::say(const std::string& text) {
    result_->setText(QString::fromStdString(text));
}

void IndexNowTab::GenerateClick() {
    // The site's key file holds the old key: a new one is useless until that file is replaced.
    if (!key_->text().trimmed().isEmpty() && confirmReplace && !confirmReplace()) return;
    try {
        key_->setText(QString::fromStdString(generateIndexNowKey()));
        say("A new key. Save Settings keeps it with the profile; Save Key File... writes the file for the "
            "site.");
    } catch (const LarkspanError& e) {
        say(e.what());
    }
}

void IndexNowTab::SaveKeyFileClick() {
    const std::string key = ss(key_->text());
    if (std::string problem = indexNowKeyProblem(key); !problem.empty()) {
        say(problem);
        return;
    }
    const QString folder = chooseFolder();
    if (folder.isEmpty()) return;
    try {
        const std::string file = saveIndexNowKeyFile(folder.toStdString(), key);
        say("Saved " + file + ". Upload it so that it is " +
            indexNowKeyFileUrl(profileUrl(), key, ss(location_->text())) + ", then press Check Key File.");
    } catch (const LarkspanError& e) {
        say(e.what());
    }
}

void IndexNowTab::CheckKeyFileClick() {
    const std::string key = ss(key_->text());
    if (key.empty()) {
        say("There is no key to check: type one or press Generate.");
        return;
    }
    // The check goes out like a run's requests: through the proxy and with the trust anchors
    // of the configuration.
    const ChannelTabContext* window = context();
    LiveClient client(liveClientSettings(window ? window->config() : Config{}));
    check_->setEnabled(false);
    say("Checking " + indexNowKeyFileUrl(profileUrl(), key, ss(location_->text())) + "...");
    // The key file lies on the site's origin, which the profile URL may redirect to.
    const std::optional<SiteProbe> probe = probeSite(client, profileUrl());
    check_->setEnabled(true);
    if (!probe) {
        say("The profile URL names no web site.");
        return;
    }
    ClientSitemapSource web(client);
    const KeyFileCheck found = checkIndexNowKeyFile(web, probe->site, key, ss(location_->text()));
    // The message quotes what the server answered.
    say(printable(found.message));
}
