#include "ui/LiveChannelsDialog.h"

#include "ui/GoogleTab.h"
#include "ui/IndexNowTab.h"
#include "ui/LiveChannelTab.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QTabWidget>
#include <QVBoxLayout>

std::vector<LiveChannelTab*> LiveChannelsDialog::channelTabs() {
    std::vector<LiveChannelTab*> tabs;
    tabs.push_back(new IndexNowTab);
    tabs.push_back(new GoogleTab);
    return tabs;
}

LiveChannelsDialog::LiveChannelsDialog(std::vector<LiveChannelTab*> tabs, QWidget* parent)
    : QDialog(parent), tabs_(std::move(tabs)) {
    setObjectName("LiveChannelsDialog");
    setWindowTitle("Live Channels");
    auto* layout = new QVBoxLayout(this);
    auto* note = new QLabel("Today's services that Go! announces the site to after the catalogue. "
                            "Save Settings on the editor page saves these values with the profile.");
    note->setWordWrap(true);
    layout->addWidget(note);
    pages_ = new QTabWidget;
    for (LiveChannelTab* tab : tabs_)
        pages_->addTab(tab, tab->title());
    layout->addWidget(pages_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::hide);
    layout->addWidget(buttons);
}

void LiveChannelsDialog::load(const ProfileStore& store, const std::string& profile) {
    for (LiveChannelTab* tab : tabs_)
        tab->load(store, profile);
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
