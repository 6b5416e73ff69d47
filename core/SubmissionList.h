#pragma once

#include <string>
#include <vector>

class TReportGrid;

// Fills the submission list with the names, below its "Title" header row, in the order of
// the listing: sorted by name and with fitted columns once two or more names are listed. The
// window, the profile commands and the headless commands show the same list.
void fillSubmissionList(TReportGrid& list, const std::vector<std::string>& names);
