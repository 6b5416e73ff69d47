#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class SiteStore;
struct StoreSite;

// What a site is taken for: a run of its live channels, or its removal from the store. Only the
// message of a wait in vain differs.
enum class ClaimFor { Run, Forget };

// A site's live channels, taken by one run for as long as this object lives, so that two
// processes on one profile (the window and a cron job) never announce it at once, and a site is
// never removed from the store while a run announces it. The claim is a row of the store with
// the process id and the time it was taken. A row whose process is gone is taken over, and so is
// one whose process id now names a program started after the claim (the id was used again).
class SiteClaim {
public:
    // How the wait passes between two tries; a sleep by default.
    using Pause = std::function<void(std::chrono::milliseconds)>;

    // Takes the site, waiting up to waitSeconds while another living process holds it; then
    // throws StoreBusy naming that process.
    SiteClaim(SiteStore& store, const StoreSite& site, int waitSeconds, Pause pause = {},
              ClaimFor purpose = ClaimFor::Run);
    ~SiteClaim();
    SiteClaim(const SiteClaim&) = delete;
    SiteClaim& operator=(const SiteClaim&) = delete;

    // For the run's log, when the site was taken over from a process that is gone: "The claim of
    // SITE by process PID, which is gone, was taken over"; empty otherwise.
    const std::string& takenOver() const { return takenOver_; }

private:
    // The process that holds the site now, or 0 when this one took it.
    std::int64_t tryTake();

    SiteStore& store_;
    const StoreSite& site_;
    std::string takenOver_;
};

// The time a process started, in seconds since 1970 (from /proc/PID/stat and the boot time of
// /proc/stat); nothing when there is no such process or it cannot be told.
std::optional<std::int64_t> processStartTime(std::int64_t pid);

// Removes every row of the named site; the number of its URLs that went, -1 when it had none.
// A site that a run holds is removed once the run lets go of it, after a wait of up to
// waitSeconds; then StoreBusy names the process and nothing is removed. Rows removed under a run
// would fail its acceptances after the endpoint took the URLs.
std::int64_t forgetSite(SiteStore& store, const std::string& name, int waitSeconds);
