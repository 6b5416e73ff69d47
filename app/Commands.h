#pragma once

// What a command's source file includes: the context the dispatcher hands it and the usage
// texts. Each command is two functions in app/NameCommand.cpp, `std::string refuseName(const
// CommandLine&)` (its bad usage, see CommandRow::refuse) and `int runName(CommandContext&)`,
// declared and given their row in app/CommandTable.cpp, which is all that dispatch, what the
// command needs, option checks and help need. Options that the command does not take and what
// its refusal finds end the program with exit status 2 before anything is prepared; the run
// returns the exit status: 0 for success, 1 for a failure of the work itself.
#include "app/CommandContext.h"
