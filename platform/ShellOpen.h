#pragma once

#include <string>

// Asks the desktop to "open" an address or a file (xdg-open); the outcome is not reported.
void shellOpen(const std::string& target);
