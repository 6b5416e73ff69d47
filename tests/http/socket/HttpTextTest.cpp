#include "http/socket/HttpText.h"
#include "http/socket/ExStringList.h"
#include "http/socket/HttpRequest.h"
#include "http/socket/HttpResponse.h"

#include <gtest/gtest.h>

#include <limits>

TEST(HttpText, FieldsAndPositions) {
    EXPECT_EQ(NthField("a/b//c", '/', 1), "a");
    EXPECT_EQ(NthField("a/b//c", '/', 3), "");
    EXPECT_EQ(NthField("a/b//c", '/', 4), "c");
    EXPECT_EQ(NthField("a/b//c", '/', 5), "");
    EXPECT_EQ(NthField("", '/', 1), "");
    EXPECT_EQ(NthField("abc", '/', 1), "abc");
    EXPECT_EQ(NthPosition("http://h/p", '/', 3), 9u);
    EXPECT_EQ(NthPosition("http://h", '/', 3), 9u); // one past the end: fewer than three
}

TEST(HttpText, IntegerConversion) {
    EXPECT_EQ(StrToInt("8080"), 8080);
    EXPECT_EQ(StrToInt("-12"), -12);
    EXPECT_EQ(StrToInt("2147483647"), 2147483647);
    EXPECT_EQ(StrToInt("-2147483648"), std::numeric_limits<std::int32_t>::min());
    for (const char* bad : {"", "80a", "2147483648", "-", " 80", "1e3"}) {
        try {
            StrToInt(bad);
            ADD_FAILURE() << bad;
        } catch (const EConvertError& e) {
            EXPECT_EQ(std::string(e.what()), std::string("'") + bad + "' is not a valid integer value");
        }
    }
    EXPECT_EQ(StrToIntDef("x", 7), 7);
    EXPECT_EQ(FirstDigitsClamped("  : 1234x5", 1 << 30), 1234);
    EXPECT_EQ(FirstDigitsClamped("none", 100), 0);
    EXPECT_EQ(FirstDigitsClamped(std::string(5000, '9'), 2147483647), 2147483647);
    EXPECT_EQ(FirstDigitsClamped("2147483648", 2147483647), 2147483647);
}

TEST(HttpText, Base64MatchesTheStandardVectors) {
    EXPECT_EQ(Base64Encode(""), "");
    EXPECT_EQ(Base64Encode("f"), "Zg==");
    EXPECT_EQ(Base64Encode("fo"), "Zm8=");
    EXPECT_EQ(Base64Encode("foo"), "Zm9v");
    EXPECT_EQ(Base64Encode("foobar"), "Zm9vYmFy");
    EXPECT_EQ(Base64Encode("Aladdin:open sesame"), "QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
    EXPECT_EQ(Base64Encode(std::string("\xff\xfe\x00", 3)), "//4A");
}

TEST(HttpText, RequestTargetEncodesOnlySpacesAndControlBytes) {
    EXPECT_EQ(EncodeRequestTarget("/a b?c=d e"), "/a%20b?c=d%20e");
    EXPECT_EQ(EncodeRequestTarget("/x?d=line1\r\nHost: evil"), "/x?d=line1%0D%0AHost:%20evil");
    EXPECT_EQ(EncodeRequestTarget(std::string("/\0\t\x1f\x7f", 5)), "/%00%09%1F%7F");
    // Bytes of UTF-8 text, percent signs and reserved characters stay as they are.
    EXPECT_EQ(EncodeRequestTarget("/caf\xc3\xa9?a=%41&b=+"), "/caf\xc3\xa9?a=%41&b=+");
    std::string longTarget = "/p?d=" + std::string(300, 'x') + " " + std::string(300, 'y');
    EXPECT_EQ(EncodeRequestTarget(longTarget),
              "/p?d=" + std::string(300, 'x') + "%20" + std::string(300, 'y'));
}

TEST(ExStringList, HeaderLinesAreFoundAndReplacedIgnoringCase) {
    TExStringList list;
    list.Add("GET / HTTP/1.0");
    list.Add("host: a");
    list.Add("X-Note no colon");
    EXPECT_EQ(list.IndexOfHeaderName("HOST"), 1);
    EXPECT_EQ(list.IndexOfHeaderName("X-Note no colon"), -1);
    EXPECT_EQ(list.IndexOfHeaderName("GET / HTTP/1.0"), -1);
    list.SetHeaderValue("Host", "b");
    EXPECT_EQ(list[1], "Host: b");
    list.SetHeaderValue("Cookie", "c=1");
    EXPECT_EQ(list.Count(), 4u);
    EXPECT_EQ(list[3], "Cookie: c=1");
    list.SetHeaderValue("HOST", "");
    EXPECT_EQ(list.Count(), 3u);
    EXPECT_EQ(list.IndexOfHeaderName("host"), -1);
    EXPECT_EQ(list.Text(), "GET / HTTP/1.0\r\nX-Note no colon\r\nCookie: c=1\r\n");
}

namespace {

struct UrlCase {
    std::string url;
    std::string host = "old";
    std::int32_t port = 0;
};

} // namespace

TEST(ParseRequestUrl, HostPortAndPath) {
    UrlCase c{"http://example.com"};
    auto parsed = ParseRequestUrl(c.url, c.host, c.port);
    EXPECT_EQ(parsed.path, "/");
    EXPECT_EQ(c.url, "http://example.com/");
    EXPECT_EQ(c.host, "example.com");
    EXPECT_EQ(c.port, 80);

    c.url = "http://127.0.0.1:8081/a/b?x=1";
    parsed = ParseRequestUrl(c.url, c.host, c.port);
    EXPECT_EQ(parsed.path, "/a/b?x=1");
    EXPECT_EQ(c.host, "127.0.0.1");
    EXPECT_EQ(c.port, 8081);

    // A path without host keeps host and port.
    c.url = "/next";
    parsed = ParseRequestUrl(c.url, c.host, c.port);
    EXPECT_EQ(parsed.path, "/next");
    EXPECT_EQ(c.host, "127.0.0.1");
    EXPECT_EQ(c.port, 8081);

    // The next URL with a scheme and without port goes back to 80; other schemes choose theirs.
    c.url = "HTTP://other/";
    ParseRequestUrl(c.url, c.host, c.port);
    EXPECT_EQ(c.host, "other");
    EXPECT_EQ(c.port, 80);
    c.url = "Gopher://g/x";
    ParseRequestUrl(c.url, c.host, c.port);
    EXPECT_EQ(c.port, 70);
    c.url = "ftp://f/x";
    ParseRequestUrl(c.url, c.host, c.port);
    EXPECT_EQ(c.port, 21);

    // Without scheme: the first field is the host.
    c.url = "plain.host:99/p";
    parsed = ParseRequestUrl(c.url, c.host, c.port);
    EXPECT_EQ(c.host, "plain.host");
    EXPECT_EQ(c.port, 99);
    EXPECT_EQ(parsed.path, "/p");
}

TEST(ParseRequestUrl, LongPathsAreKeptWhole) {
    UrlCase c{"http://h/submit?desc=" + std::string(1000, 'd')};
    auto parsed = ParseRequestUrl(c.url, c.host, c.port);
    EXPECT_EQ(parsed.path.size(), 1000u + 13u);
}

TEST(ParseRequestUrl, Failures) {
    UrlCase empty{""};
    EXPECT_THROW(
        {
            try {
                ParseRequestUrl(empty.url, empty.host, empty.port);
            } catch (const LarkspanError& e) {
                EXPECT_STREQ(e.what(), "Empty URL");
                throw;
            }
        },
        LarkspanError);
    UrlCase secure{"HTTPS://h/x"};
    auto parsed = ParseRequestUrl(secure.url, secure.host, secure.port);
    EXPECT_EQ(parsed.secure, std::optional<bool>(true));
    EXPECT_EQ(secure.host, "h");
    EXPECT_EQ(secure.port, 443);
    UrlCase relative{"/y"};
    EXPECT_EQ(ParseRequestUrl(relative.url, relative.host, relative.port).secure, std::nullopt);
    UrlCase badPort{"http://h:8o/"};
    try {
        ParseRequestUrl(badPort.url, badPort.host, badPort.port);
        ADD_FAILURE();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'8o' is not a valid integer value");
    }
}

TEST(BuildRequestLines, GetPostProxyAndHeaderInfo) {
    THeaderInfo info;
    TExStringList lines;
    RequestParts parts;
    parts.kind = CmdType::Get;
    parts.requestURL = "http://h:81/a b";
    parts.path = "/a b";
    parts.host = "h";
    parts.headerInfo = &info;
    BuildRequestLines(parts, lines);
    EXPECT_EQ(lines.Text(), "GET /a%20b HTTP/1.0\r\n"
                            "Host: h\r\n"
                            "Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff\r\n"
                            "Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript\r\n"
                            "Content-type: application/x-www-form-urlencoded\r\n");

    parts.kind = CmdType::Post;
    parts.viaProxy = true;
    parts.contentLength = 12;
    info.Cookie = "id=7";
    info.LocalProgram = "Larkspan";
    info.UserId = "user";
    info.Password = "pw";
    BuildRequestLines(parts, lines);
    EXPECT_EQ(lines.Text(), "POST http://h:81/a%20b HTTP/1.0\r\n"
                            "Proxy-Connection: Keep-Alive\r\n"
                            "Host: h\r\n"
                            "Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff\r\n"
                            "Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript\r\n"
                            "User-Agent: Larkspan\r\n"
                            "Cookie: id=7\r\n"
                            "Authorization: Basic dXNlcjpwdw==\r\n"
                            "Content-type: application/x-www-form-urlencoded\r\n"
                            "Content-Length: 12\r\n");

    // A user id alone is no credential.
    info = THeaderInfo{};
    info.UserId = "user";
    parts.kind = CmdType::Move;
    parts.viaProxy = false;
    parts.targetURL = "/b";
    BuildRequestLines(parts, lines);
    EXPECT_EQ(lines.IndexOfHeaderName("Authorization"), -1);
    EXPECT_EQ(lines.IndexOfHeaderName("Content-Length"), -1);
    EXPECT_EQ(lines[0], "MOVE /a%20b HTTP/1.0");
    EXPECT_EQ(lines[lines.Count() - 1], "URI-header: /b");
}

TEST(ResponseHeader, StatusAndHeaderLines) {
    EXPECT_EQ(ReplyNumberOf("HTTP/1.0 200 OK\r\n"), 200);
    EXPECT_EQ(ReplyNumberOf("HTTP/1.0 404\r\n"), 404);
    EXPECT_EQ(ReplyNumberOf("HTTP/1.0 abc OK\n"), 0);
    EXPECT_EQ(ReplyNumberOf("HTTP/1.0 99999 Big\r\n"), 0);
    EXPECT_EQ(ReplyNumberOf("HTTP/1.0"), 0);

    ResponseHeaderState state;
    EXPECT_FALSE(ApplyHeaderLine(state, "set-cookie: a=1; path=/\r\n", 1000));
    EXPECT_EQ(state.cookieValue, "a=1; path=/");
    EXPECT_FALSE(ApplyHeaderLine(state, "LOCATION: http://h/x\n", 1000));
    EXPECT_TRUE(state.hasLocation);
    EXPECT_EQ(state.locationValue, "http://h/x");
    EXPECT_FALSE(ApplyHeaderLine(state, "Content-Length:  42abc\r\n", 1000));
    EXPECT_EQ(state.bytesTotal, 42);
    EXPECT_FALSE(ApplyHeaderLine(state, "Content-Length: " + std::string(40, '9') + "\r\n", 1000));
    EXPECT_EQ(state.bytesTotal, 1000);
    // Names without the space after the colon are not matched.
    EXPECT_FALSE(ApplyHeaderLine(state, "Location:http://other/\r\n", 1000));
    EXPECT_EQ(state.locationValue, "http://h/x");
    EXPECT_FALSE(ApplyHeaderLine(state, "no colon at all\r\n", 1000));
    EXPECT_FALSE(ApplyHeaderLine(state, "Set-Cookie: " + std::string(5000, 'c') + "\r\n", 1000));
    EXPECT_EQ(state.cookieValue.size(), 5000u);
    EXPECT_TRUE(ApplyHeaderLine(state, "\r\n", 1000));
    EXPECT_TRUE(ApplyHeaderLine(state, "\n", 1000));
    EXPECT_TRUE(ApplyHeaderLine(state, "", 1000));
}
