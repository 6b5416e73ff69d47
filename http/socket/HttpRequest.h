#pragma once

#include "http/socket/ExStringList.h"
#include "http/socket/HeaderInfo.h"

#include <cstdint>
#include <optional>
#include <string>

// The kinds of request the HTTP client can send. The numbers are what OnSuccess and OnFailure
// report as Cmd.
enum class CmdType : std::uint8_t {
    Get = 0,
    Options = 1,
    Head = 2,
    Post = 3,
    Put = 4,
    Patch = 5,
    Copy = 6,
    Move = 7,
    Delete = 8,
    Link = 9,
    Unlink = 10,
    Trace = 11,
    Extension = 12, // a request with data and without a request line
};

// Whether a request of this kind announces a body with "Content-Length: ".
bool AnnouncesBody(CmdType kind);
// Whether a request of this kind sends its data after the header.
bool SendsBody(CmdType kind);

// Splits url into host, port and path, updating the client's state as a request does:
// host and port keep their values when the URL does not name them, a URL that ends right
// after the host gets "/" appended, and the scheme chooses the default port (443 for https)
// and whether the request goes inside TLS. Raises "Empty URL" and EConvertError for a port
// that is not a number. The path is kept whole, however long.
struct ParsedUrl {
    std::string path;
    // Whether the scheme is https; nothing when the URL names no scheme, so that, like the
    // host and the port, it stays as the previous URL left it.
    std::optional<bool> secure;
};
ParsedUrl ParseRequestUrl(std::string& requestURL, std::string& host, std::int32_t& port);

// What the request lines are built from.
struct RequestParts {
    CmdType kind = CmdType::Get;
    std::string requestURL; // the whole URL, sent as the target through a proxy
    std::string path;       // the path and query, sent as the target without a proxy
    std::string host;       // the value of the "Host: " line
    bool viaProxy = false;
    const THeaderInfo* headerInfo = nullptr;
    std::string targetURL; // second URL of Copy, Move, Link and Unlink
    std::int64_t contentLength = 0;
};

// The request line and header lines, without the blank line that ends them.
void BuildRequestLines(const RequestParts& parts, TExStringList& lines);
