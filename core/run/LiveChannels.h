#pragma once

class SubmissionRun;

// Adds the live channels of the channel table to a run, in the table's order.
void addLiveChannels(SubmissionRun& run);
