#pragma once

#include <string>
#include <string_view>

// The reference (an href, absolute or relative, with the blanks a browser ignores) resolved
// against the base URL and normalised as http/Url normalises every URL of live code. Empty
// when the base or the result is no http or https URL.
//
// The page checks compare canonical links and final URLs through this one call.
std::string resolvePageUrl(std::string_view base, std::string_view reference);
