#include "core/LiveChannels.h"

#include "core/IndexNowSubmitter.h"
#include "core/SearchConsoleChannel.h"
#include "core/SubmissionRun.h"

#include <memory>

void addLiveChannels(SubmissionRun& run) {
    run.addChannel(std::make_unique<IndexNowSubmitter>());
    run.addChannel(std::make_unique<SearchConsoleChannel>());
}
