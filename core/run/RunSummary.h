#pragma once

#include <cstddef>
#include <string>

// What one run did, counted while it goes, so that its end can say more than "Done!" when
// something needs the user's attention.
struct RunTally {
    // The profiles the run was given, and those of them that were complete.
    int profiles = 0;
    int complete = 0;
    // Requests that went out: the catalogue's and the live channels'.
    int sent = 0;
    // Lines of live channels that refused, could not be reached or were paused.
    int refusals = 0;
    bool catalogue = true;
    bool stopped = false;
    // Sites that could not be read, for which nothing was announced.
    int unreadable = 0;
};

// The box that ends a run: "Done!", except after a run with the catalogue switched off that
// sent nothing at all and met no refusal, which says why instead of reporting a success.
std::string runEndMessage(const RunTally& tally);
// The status line once the box is closed: empty after a run that went as asked; otherwise the
// sites that could not be read and the refusals listed on "Track Progress" ("Done, 1 site could
// not be read: see below", "Done, 1 live channel refused: see below"), or, with the
// catalogue switched off, why nothing was sent.
std::string runEndStatus(const RunTally& tally);
// The line that "Track Progress" shows for a run with the catalogue switched off.
std::string catalogueOffNote(std::size_t entries);
