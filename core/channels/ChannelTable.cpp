#include "core/channels/ChannelTable.h"

#include "platform/Text.h"

#include <algorithm>

// Each channel declares itself in its own source file.
const ChannelDeclaration& indexNowDeclaration();
const ChannelDeclaration& searchConsoleDeclaration();

const std::vector<const ChannelDeclaration*>& channelTable() {
    // A profile is announced to the channels in this order: IndexNow first, whose answer is
    // quick and tells most engines at once.
    static const std::vector<const ChannelDeclaration*> table{
        &indexNowDeclaration(),
        &searchConsoleDeclaration(),
    };
    return table;
}

const ChannelDeclaration* findChannel(std::string_view id) {
    const auto& table = channelTable();
    const auto it = std::find_if(table.begin(), table.end(),
                                 [id](const ChannelDeclaration* channel) { return channel->id == id; });
    return it == table.end() ? nullptr : *it;
}

std::string channelValue(const ProfileExtras& values, std::string_view key) {
    for (const auto& [name, value] : values)
        if (equalsIgnoringCase(name, key)) return value;
    return {};
}
