#pragma once

#include "app/CommandLine.h"

// The headless commands. Each returns the process's exit status: 0 for success,
// 1 for a failure of the work itself, 2 for bad usage.
int runList(const CommandLine& cl);
// Prints the requests a run would send for one profile, as JSON lines: the catalogue's, then
// the IndexNow POSTs.
int runRequests(const CommandLine& cl);
// Submits profiles to every engine, printing the log and the results; --save writes reports.
int runSubmit(const CommandLine& cl);
// Prints the records of the newest kept run, or of the N-th newest with --run N.
int runLog(const CommandLine& cl);
// Prints the URLs of a profile's sitemaps that its next submission would send.
int runSitemap(const CommandLine& cl);
// Prints a profile's IndexNow key, makes one (--generate) or checks its key file (--check).
int runKey(const CommandLine& cl);
// Prints what the store knows of a site's URLs, one line (or JSON object) a URL.
int runHistory(const CommandLine& cl);
// Checks the store and prints its counts per site (--check), or removes a site's rows (--forget).
int runStore(const CommandLine& cl);
