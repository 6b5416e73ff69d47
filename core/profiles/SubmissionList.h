#pragma once

#include <string>
#include <vector>

class TReportGrid;

// Fills the submission list with the names, below its "Title" header row, in the order of
// the listing: sorted by name and with fitted columns once two or more names are listed. The
// window, the profile commands and the headless commands show the same list.
void fillSubmissionList(TReportGrid& list, const std::vector<std::string>& names);

// The names that "Go!" submits, in list order, never the header: the marked rows when any row
// is marked (what the user highlighted with the mouse, Ctrl-clicked rows apart included), else
// the rows of the selection rectangle (a list highlighted by the keyboard or by a program).
std::vector<std::string> highlightedProfiles(const TReportGrid& list);

// Fills the list with the names like fillSubmissionList, and keeps highlighted the names that
// were highlighted before, wherever the new listing puts them. A new name is not highlighted
// unless the highlight covered its row before (as the first name of an empty list is).
void refillSubmissionList(TReportGrid& list, const std::vector<std::string>& names);
