#include "core/run/RunSummary.h"

namespace {

constexpr const char* CatalogueOffNothingSent =
    "Nothing was sent: the catalogue is switched off (Options page) and no live channel had anything "
    "to send. Give the profile an IndexNow key or a Google key file under Live Channels..., or switch "
    "the catalogue on.";

// Why a run with the catalogue switched off sent nothing, or nothing when it sent something
// (or was stopped). With the catalogue on, a run that sends nothing ends as it always has.
std::string nothingSentReason(const RunTally& t) {
    if (t.catalogue || t.stopped || t.sent > 0) return {};
    if (t.profiles == 0) return "Nothing was sent: no profile is highlighted on Prepare Submission List.";
    if (t.complete == 0) return "Nothing was sent: no highlighted profile has all its required fields.";
    return CatalogueOffNothingSent;
}

} // namespace

std::string runEndMessage(const RunTally& tally) {
    // A refusal says why on its own line; the reason here is for a run that nobody refused.
    if (tally.complete > 0 && tally.refusals == 0 && tally.unreadable == 0 &&
        !nothingSentReason(tally).empty())
        return CatalogueOffNothingSent;
    return "Done!";
}

std::string runEndStatus(const RunTally& tally) {
    std::string what;
    if (tally.unreadable > 0)
        what = std::to_string(tally.unreadable) +
               (tally.unreadable == 1 ? " site could not be read" : " sites could not be read");
    if (tally.refusals > 0)
        what += (what.empty() ? "" : ", ") + std::to_string(tally.refusals) +
                (tally.refusals == 1 ? " live channel refused" : " live channels refused");
    if (!what.empty()) return "Done, " + what + ": see below";
    return nothingSentReason(tally);
}

std::string catalogueOffNote(std::size_t entries) {
    return "Catalogue off: 0 of " + std::to_string(entries) + " entries sent";
}
