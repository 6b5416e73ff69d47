#include "http/socket/HttpRequest.h"

#include "http/socket/HttpText.h"
#include "platform/Error.h"
#include "platform/Text.h"

namespace {

const char* verbOf(CmdType kind) {
    switch (kind) {
    case CmdType::Get:
        return "GET ";
    case CmdType::Options:
        return "OPTIONS ";
    case CmdType::Head:
        return "HEAD ";
    case CmdType::Post:
        return "POST ";
    case CmdType::Put:
        return "PUT ";
    case CmdType::Patch:
        return "PATCH ";
    case CmdType::Copy:
        return "COPY ";
    case CmdType::Move:
        return "MOVE ";
    case CmdType::Delete:
        return "DELETE ";
    case CmdType::Link:
        return "LINK ";
    case CmdType::Unlink:
        return "UNLINK ";
    case CmdType::Trace:
        return "TRACE ";
    case CmdType::Extension:
        return nullptr;
    }
    return nullptr;
}

} // namespace

bool AnnouncesBody(CmdType kind) {
    switch (kind) {
    case CmdType::Post:
    case CmdType::Put:
    case CmdType::Patch:
    case CmdType::Link:
    case CmdType::Unlink:
    case CmdType::Trace:
    case CmdType::Extension:
        return true;
    default:
        return false;
    }
}

bool SendsBody(CmdType kind) {
    return AnnouncesBody(kind) && kind != CmdType::Link && kind != CmdType::Unlink;
}

ParsedUrl ParseRequestUrl(std::string& requestURL, std::string& host, std::int32_t& port) {
    if (requestURL.empty()) throw LarkspanError("Empty URL");
    if (port == 0) port = 80;

    const std::string_view url = requestURL;
    const bool hasAuthority = url.find("//") != std::string_view::npos;
    ParsedUrl parsed;
    if (hasAuthority) {
        auto third = NthPosition(url, '/', 3);
        if (third <= url.size()) parsed.path = std::string(url.substr(third - 1));
    } else if (auto slash = url.find('/'); slash != std::string_view::npos) {
        parsed.path = std::string(url.substr(slash));
    }

    if (url.find(':') != std::string_view::npos) {
        auto scheme = lowerAscii(NthField(url, ':', 1));
        if (scheme == "gopher")
            port = 70;
        else if (scheme == "ftp")
            port = 21;
        else if (scheme == "https")
            port = 443;
        else
            port = 80;
        parsed.secure = scheme == "https";
    }

    std::string hostText;
    if (hasAuthority)
        hostText = NthField(url, '/', 3);
    else if (url.front() != '/')
        hostText = NthField(url, '/', 1);
    if (auto colon = hostText.find(':'); colon != std::string::npos) {
        port = StrToInt(NthField(hostText, ':', 2));
        hostText.resize(colon);
    }
    if (!hostText.empty()) host = hostText;

    if (parsed.path.empty()) {
        parsed.path = "/";
        requestURL += "/";
    }
    return parsed;
}

void BuildRequestLines(const RequestParts& parts, TExStringList& lines) {
    lines.Clear();
    if (const char* verb = verbOf(parts.kind))
        lines.Add(verb + EncodeRequestTarget(parts.viaProxy ? parts.requestURL : parts.path) + " HTTP/1.0");
    if (parts.viaProxy) {
        lines.Add("Proxy-Connection: Keep-Alive");
        lines.Add("Host: " + parts.host);
    }
    lines.SetHeaderValue("Host", parts.host);
    lines.Add("Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff");
    lines.Add("Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript");
    if (const THeaderInfo* info = parts.headerInfo) {
        if (!info->LocalProgram.empty()) lines.SetHeaderValue("User-Agent", info->LocalProgram);
        if (!info->LocalMailAddress.empty()) lines.SetHeaderValue("From", info->LocalMailAddress);
        if (!info->Cookie.empty()) lines.SetHeaderValue("Cookie", info->Cookie);
        if (!info->Referer.empty()) lines.SetHeaderValue("Referer", info->Referer);
        if (!info->UserId.empty() && !info->Password.empty())
            lines.SetHeaderValue("Authorization",
                                 "Basic " + Base64Encode(info->UserId + ":" + info->Password));
    }
    lines.Add("Content-type: application/x-www-form-urlencoded");
    if (parts.kind == CmdType::Copy || parts.kind == CmdType::Move)
        lines.Add("URI-header: " + parts.targetURL);
    if (parts.kind == CmdType::Link || parts.kind == CmdType::Unlink) lines.Add("Link: " + parts.targetURL);
    if (AnnouncesBody(parts.kind)) lines.Add("Content-Length: " + std::to_string(parts.contentLength));
}
