#pragma once

class SubmissionRun;

// Adds the live channels to a run, in the order a profile is announced to them: IndexNow,
// then Google Search Console.
void addLiveChannels(SubmissionRun& run);
