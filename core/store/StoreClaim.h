#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

class SiteStore;
struct StoreSite;

// A site's live channels, taken by one run for as long as this object lives, so that two
// processes on one profile (the window and a cron job) never announce it at once. The claim is
// a row of the store with the process id; a row whose process is gone is taken over.
class SiteClaim {
public:
    // How the wait passes between two tries; a sleep by default.
    using Pause = std::function<void(std::chrono::milliseconds)>;

    // Takes the site, waiting up to waitSeconds while another living process holds it; then
    // throws StoreBusy naming that process.
    SiteClaim(SiteStore& store, const StoreSite& site, int waitSeconds, Pause pause = {});
    ~SiteClaim();
    SiteClaim(const SiteClaim&) = delete;
    SiteClaim& operator=(const SiteClaim&) = delete;

private:
    // The process that holds the site now, or 0 when this one took it.
    std::int64_t tryTake();

    SiteStore& store_;
    const StoreSite& site_;
};
