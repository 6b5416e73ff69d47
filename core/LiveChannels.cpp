#include "core/LiveChannels.h"

#include "core/SubmissionRun.h"

void addLiveChannels(SubmissionRun& run) {
    (void)run;
}
