#include "core/LiveChannels.h"

#include "core/ChannelTable.h"
#include "core/SubmissionRun.h"

void addLiveChannels(SubmissionRun& run) {
    for (const ChannelDeclaration* channel : channelTable())
        run.addChannel(channel->make());
}
