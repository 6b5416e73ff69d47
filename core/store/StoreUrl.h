#pragma once

#include <string>
#include <string_view>

// The form in which the site store keeps a URL, so that two spellings of one page are one row:
// scheme and host in lower case, the scheme's default port dropped, an empty path made "/",
// the fragment dropped, percent-encoding normalised (unreserved characters decoded,
// hexadecimal digits in upper case, other bytes outside printable ASCII encoded) and the dot
// segments of the path removed (the form of Url::text). A text that is no http or https URL
// is kept as it is.
std::string storeUrlKey(std::string_view url);
