#pragma once

#include <string>

// Header values that the owner of an HTTP client supplies for every request. An empty value
// sends no header line. Cookie is also set by the client itself when a redirect sets a cookie;
// that one goes only to the server the redirect led to.
struct THeaderInfo {
    std::string LocalMailAddress;
    std::string LocalProgram;
    std::string Cookie;
    std::string Referer;
    std::string UserId;
    std::string Password;
};
