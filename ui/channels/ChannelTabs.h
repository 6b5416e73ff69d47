#pragma once

#include "ui/channels/LiveChannelTab.h"

#include <vector>

class QLineEdit;
struct ChannelDeclaration;

// The settings tabs of the channel table, in its order: a channel that needs buttons has a tab
// class of its own (one row in ui/channels/ChannelTabs.cpp); the others get a tab generated from the
// keys they declare.
std::vector<LiveChannelTab*> makeChannelTabs();

// A tab of one line per declared key, checked by the channel's own check.
class GeneratedChannelTab final : public LiveChannelTab {
    Q_OBJECT
public:
    explicit GeneratedChannelTab(const ChannelDeclaration& channel, QWidget* parent = nullptr);

    void load(const ProfileFiles& store, const std::string& profile) override;
    ProfileExtras extras() const override;

    const std::vector<QLineEdit*>& edits() const { return edits_; }

private:
    std::vector<QLineEdit*> edits_;
};
