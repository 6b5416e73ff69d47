#include "ui/channels/ChannelTabs.h"

#include "core/channels/ChannelTable.h"
#include "core/google/SearchConsoleChannel.h"
#include "core/indexnow/IndexNowChannel.h"
#include "ui/ErrorDisplay.h"
#include "ui/channels/GoogleTab.h"
#include "ui/channels/IndexNowTab.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include <algorithm>
#include <iterator>

namespace {

// The channels whose settings need buttons of their own, by channel id.
struct OwnTab {
    const char* channel;
    LiveChannelTab* (*make)();
};
const OwnTab OwnTabs[] = {
    {IndexNowChannelId, []() -> LiveChannelTab* { return new IndexNowTab; }},
    {SearchConsoleChannelId, []() -> LiveChannelTab* { return new GoogleTab; }},
};

} // namespace

std::vector<LiveChannelTab*> makeChannelTabs() {
    std::vector<LiveChannelTab*> tabs;
    for (const ChannelDeclaration* channel : channelTable()) {
        const auto own = std::find_if(std::begin(OwnTabs), std::end(OwnTabs), [channel](const OwnTab& tab) {
            return std::string_view(tab.channel) == channel->id;
        });
        tabs.push_back(own != std::end(OwnTabs) ? own->make() : new GeneratedChannelTab(*channel));
    }
    return tabs;
}

LiveChannelTab::LiveChannelTab(const ChannelDeclaration& channel, QWidget* parent)
    : QWidget(parent), channel_(channel) {}

QString LiveChannelTab::title() const {
    return QString::fromUtf8(channel_.title);
}

std::optional<std::string> LiveChannelTab::check() const {
    return channel_.checkKeys(extras(), {profileUrl(), profileDirectory_});
}

void LiveChannelTab::loadStored(const ProfileFiles& store, const std::string& profile) {
    profileDirectory_ = store.directory();
    storedUrl_ = profile.empty() ? std::string() : store.load(profile)[fURL];
}

std::string LiveChannelTab::profileUrl() const {
    // The URL being edited counts, not the one last saved.
    const ChannelTabContext* window = context();
    return window ? window->editedProfileUrl() : storedUrl_;
}

const ChannelTabContext* LiveChannelTab::context() const {
    for (QWidget* w = parentWidget(); w; w = w->parentWidget())
        if (auto* found = dynamic_cast<const ChannelTabContext*>(w)) return found;
    return nullptr;
}

GeneratedChannelTab::GeneratedChannelTab(const ChannelDeclaration& channel, QWidget* parent)
    : LiveChannelTab(channel, parent) {
    setObjectName(QString::fromUtf8(channel.id) + "Tab");
    auto* layout = new QVBoxLayout(this);
    auto* about = new QLabel(QString::fromUtf8(channel.about));
    about->setWordWrap(true);
    layout->addWidget(about);
    auto* form = new QFormLayout;
    for (const ChannelKey& key : channel.keys) {
        auto* edit = new QLineEdit;
        edit->setObjectName(QString::fromUtf8(key.name) + "Edit");
        setHint(edit, key.hint);
        form->addRow(QString::fromUtf8(key.label), edit);
        edits_.push_back(edit);
    }
    layout->addLayout(form);
    layout->addStretch(1);
}

void GeneratedChannelTab::load(const ProfileFiles& store, const std::string& profile) {
    loadStored(store, profile);
    const LoadedProfile loaded = profile.empty() ? LoadedProfile{} : store.loadWhole(profile);
    for (std::size_t i = 0; i < edits_.size(); ++i)
        edits_[i]->setText(QString::fromStdString(loaded.extra(channel().keys[i].name)));
}

ProfileExtras GeneratedChannelTab::extras() const {
    ProfileExtras values;
    for (std::size_t i = 0; i < edits_.size(); ++i)
        values.emplace_back(channel().keys[i].name, edits_[i]->text().trimmed().toStdString());
    return values;
}
