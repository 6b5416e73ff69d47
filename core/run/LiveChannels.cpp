#include "core/run/LiveChannels.h"

#include "core/channels/ChannelTable.h"
#include "core/run/SubmissionRun.h"

void addLiveChannels(SubmissionRun& run) {
    for (const ChannelDeclaration* channel : channelTable())
        run.addChannel(channel->make());
}
