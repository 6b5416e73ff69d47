#pragma once

#include "core/Config.h"
#include "core/channels/LiveChannel.h"
#include "core/profiles/SiteProfile.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A key of the profile file that a channel reads, as the settings dialog shows it.
struct ChannelKey {
    const char* name;
    // The label of its line in a generated settings tab.
    const char* label;
    // What the value is, for the tool tip: "title|explanation".
    const char* hint;
};

// What a check of a channel's profile keys knows besides their values.
struct ChannelKeyContext {
    // The profile URL as it stands in the editor (not as it was saved).
    std::string profileUrl;
    // The directory of the profiles, from which relative paths are taken.
    std::string profileDirectory;
};

// A live channel as it declares itself: everything outside its own file that needs to know of
// it (the configuration, the `requests` command, the settings dialog, the docs) reads this.
struct ChannelDeclaration {
    // The name of the channel in the site store and in request records ("indexnow").
    const char* id;
    // The caption of its settings tab ("IndexNow").
    const char* title;
    // The first paragraph of its settings tab: what the channel does with the profile.
    const char* about;
    // The profile keys it reads, in the order a generated tab shows them.
    std::vector<ChannelKey> keys;
    // Why the values of its keys cannot be saved, as a sentence for the editor; nothing when
    // they can. Values are trimmed; a key without a value is empty.
    std::optional<std::string> (*checkKeys)(const ProfileExtras& values, const ChannelKeyContext& context);
    // The section of the configuration file that the channel reads (none: section nullptr).
    ConfigPart config;
    // A new channel object, which keeps what it learns for as long as the run's owner lives.
    std::unique_ptr<LiveChannel> (*make)();
    // Its page under docs/ ("indexnow.md").
    const char* docsPage;
};

// The live channels, in the order a profile is announced to them.
const std::vector<const ChannelDeclaration*>& channelTable();
// The channel with this id, or nullptr.
const ChannelDeclaration* findChannel(std::string_view id);
// The value of a key in a list of values (any case of its name); empty when it is missing.
std::string channelValue(const ProfileExtras& values, std::string_view key);
