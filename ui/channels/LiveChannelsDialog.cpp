#include "ui/channels/LiveChannelsDialog.h"

#include "ui/channels/ChannelTabs.h"
#include "ui/channels/LiveChannelTab.h"

#include "core/Config.h"

#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QShowEvent>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

std::vector<LiveChannelTab*> LiveChannelsDialog::channelTabs() {
    return makeChannelTabs();
}

LiveChannelsDialog::LiveChannelsDialog(std::vector<LiveChannelTab*> tabs, QWidget* parent)
    : QDialog(parent), tabs_(std::move(tabs)) {
    setObjectName("LiveChannelsDialog");
    setWindowTitle("Live Channels");
    // While it is open the window's profile cannot change under it, nor the window close.
    setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(this);
    auto* note = new QLabel("Today's services that Go! announces the site to after the catalogue. "
                            "Save, or Save Settings on the editor page, saves these values with the "
                            "profile.");
    note->setWordWrap(true);
    layout->addWidget(note);
    pages_ = new QTabWidget;
    for (LiveChannelTab* tab : tabs_)
        pages_->addTab(tab, tab->title());
    layout->addWidget(pages_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Close);
    buttons->button(QDialogButtonBox::Save)->setObjectName("LiveChannelsSave");
    connect(buttons, &QDialogButtonBox::accepted, this, &LiveChannelsDialog::save);
    connect(buttons, &QDialogButtonBox::rejected, this, &LiveChannelsDialog::reject);
    layout->addWidget(buttons);
    askUnsaved = [this] {
        return QMessageBox::question(this, "Live Channels",
                                     "Save the changed settings of the live channels? Save also saves the "
                                     "profile's other fields, as Save Settings does.",
                                     QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel,
                                     QMessageBox::Save);
    };
}

QString LiveChannelsDialog::stateFile() {
    const QString config = QString::fromStdString(Config::defaultPath());
    return config.isEmpty() ? QString() : QFileInfo(config).absolutePath() + "/window.conf";
}

QSize LiveChannelsDialog::openingSize() const {
    if (const QString file = stateFile(); !file.isEmpty()) {
        const QSize kept = QSettings(file, QSettings::IniFormat).value("LiveChannels/Size").toSize();
        if (kept.isValid()) return kept.expandedTo(minimumSizeHint());
    }
    // Wide enough for an explanation's longest words and for a key file's address in one piece,
    // and as high as the wrapped explanations need at that width.
    const int width = std::max(sizeHint().width(), fontMetrics().averageCharWidth() * 96);
    const int height =
        layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(width) : sizeHint().height();
    return {width, std::max(height, sizeHint().height()) + fontMetrics().lineSpacing() * 4};
}

void LiveChannelsDialog::showEvent(QShowEvent* event) {
    if (!sized_) {
        resize(openingSize());
        sized_ = true;
    }
    QDialog::showEvent(event);
}

void LiveChannelsDialog::rememberSize() const {
    if (const QString file = stateFile(); !file.isEmpty() && isVisible())
        QSettings(file, QSettings::IniFormat).setValue("LiveChannels/Size", size());
}

void LiveChannelsDialog::reject() {
    if (!settle()) return;
    rememberSize();
    QDialog::reject();
}

void LiveChannelsDialog::closeEvent(QCloseEvent* event) {
    if (!settle()) {
        event->ignore();
        return;
    }
    rememberSize();
    QDialog::closeEvent(event);
}

void LiveChannelsDialog::save() {
    if (saveProfile) saveProfile();
}

bool LiveChannelsDialog::settle() {
    if (!unsaved()) return true;
    switch (askUnsaved ? askUnsaved() : QMessageBox::Cancel) {
    case QMessageBox::Save:
        return saveProfile && saveProfile() && !unsaved();
    case QMessageBox::Discard:
        if (store_) load(*store_, profile_);
        return true;
    default:
        return false;
    }
}

void LiveChannelsDialog::load(const ProfileFiles& store, const std::string& profile) {
    for (LiveChannelTab* tab : tabs_)
        tab->load(store, profile);
    store_ = store;
    profile_ = profile;
    saved_ = extras();
}

void LiveChannelsDialog::markSaved(const std::string& profile) {
    profile_ = profile;
    saved_ = extras();
}

ProfileExtras LiveChannelsDialog::extras() const {
    ProfileExtras all;
    for (const LiveChannelTab* tab : tabs_) {
        ProfileExtras some = tab->extras();
        all.insert(all.end(), some.begin(), some.end());
    }
    return all;
}

std::optional<std::string> LiveChannelsDialog::check() const {
    for (const LiveChannelTab* tab : tabs_)
        if (auto problem = tab->check()) return problem;
    return std::nullopt;
}
