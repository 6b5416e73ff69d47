#pragma once

// What a command's source file includes: the parsed command line and the usage texts. Each
// command is one function `int runName(const CommandLine&)` in app/NameCommand.cpp, declared and
// given its row in app/CommandTable.cpp, which is all that dispatch, option checks and help
// need. It returns the exit status: 0 for success, 1 for a failure of the work itself, 2 for
// bad usage (the table refuses options that the command does not take before it runs).
#include "app/CommandLine.h"
