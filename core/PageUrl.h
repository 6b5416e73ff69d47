#pragma once

#include <string>
#include <string_view>

// The reference (an href, absolute or relative) resolved against the base URL, normalised:
// scheme and host in lower case, the default port dropped, dot segments removed, the path's
// and query's percent-encoding in robots.txt's normal form, the fragment dropped. Empty when
// the base or the result is no http or https URL.
//
// The page checks compare canonical links and final URLs through this one call. The live
// client's URL type (http/Url) will do the same for every piece of live code; when it lands,
// this call becomes a thin wrapper around Url::resolve.
std::string resolvePageUrl(std::string_view base, std::string_view reference);
