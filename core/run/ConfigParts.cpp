// The configuration's parts, put together here, above the subjects that declare them, so that
// the configuration itself includes none of them.
#include "core/Config.h"
#include "core/catalogue/EngineCatalog.h"
#include "core/channels/ChannelTable.h"

const std::vector<ConfigPart>& configParts() {
    static const std::vector<ConfigPart> parts = [] {
        std::vector<ConfigPart> all{catalogueConfigPart()};
        for (const ChannelDeclaration* channel : channelTable())
            if (channel->config.section) all.push_back(channel->config);
        return all;
    }();
    return parts;
}
