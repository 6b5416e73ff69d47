#include "http/Url.h"

#include <gtest/gtest.h>

namespace {

// Text as parsed, and its normalised form ("" when it must be refused).
struct ParseCase {
    const char* text;
    const char* normalised;
};

const ParseCase parseCases[] = {
    {"HTTP://Example.COM", "http://example.com/"},
    {"http://example.com:80/a", "http://example.com/a"},
    {"https://example.com:443/", "https://example.com/"},
    {"https://example.com:80/", "https://example.com:80/"},
    {"http://example.com:8080", "http://example.com:8080/"},
    {"http://example.com:/x", "http://example.com/x"},
    {"http://example.com:0080/", "http://example.com/"},
    {"https://example.com:08443/x", "https://example.com:8443/x"},
    {"http://example.com/a/.hidden/..b", "http://example.com/a/.hidden/..b"},
    {"http://example.com/a?x=./y", "http://example.com/a?x=./y"},
    {"http://example.com/a/./b/../c", "http://example.com/a/c"},
    {"http://example.com/../../x", "http://example.com/x"},
    {"http://example.com/a/..", "http://example.com/"},
    {"http://example.com/a/%2e%2E/b", "http://example.com/b"},
    {"http://example.com/%7euser/%41%62", "http://example.com/~user/Ab"},
    {"http://example.com/a%2fb%3F", "http://example.com/a%2Fb%3F"},
    {"http://example.com/100%", "http://example.com/100%25"},
    {"http://example.com/%zz", "http://example.com/%25zz"},
    {"http://example.com/a b", "http://example.com/a%20b"},
    {"http://example.com/caf\xc3\xa9", "http://example.com/caf%C3%A9"},
    {"http://example.com/x\x1b[31m", "http://example.com/x%1B[31m"},
    {"http://example.com/a\"<>`{}|\\^", "http://example.com/a%22%3C%3E%60%7B%7D%7C%5C%5E"},
    {"http://example.com/p?q=1&r=%7e#frag", "http://example.com/p?q=1&r=~"},
    {"http://example.com?", "http://example.com/?"},
    {"http://example.com/#only", "http://example.com/"},
    {"http://[::1]:8080/", "http://[::1]:8080/"},
    {"http://[FE80::1]/", "http://[fe80::1]/"},
    {"http://127.0.0.1:1/", "http://127.0.0.1:1/"},
    {"http://my_host.example/", "http://my_host.example/"},
    // Refused: other schemes, no host, bad ports, user information, hosts with bytes no host holds.
    {"ftp://example.com/", ""},
    {"mailto:someone@example.com", ""},
    {"example.com/", ""},
    {"http:/example.com/", ""},
    {"http:///path", ""},
    {"http://example.com:0/", ""},
    {"http://example.com:65536/", ""},
    {"http://example.com:8o/", ""},
    {"http://example.com:-1/", ""},
    {"http://example.com:+80/", ""},
    {"http://user:pw@example.com/", ""},
    {"http://good.example@evil.example/", ""},
    {"http://exa\rmple.com/", ""},
    {"http://example.com\r\nX-Injected: 1/", ""},
    {"http://exa mple.com/", ""},
    {"http://exa\tmple.com/", ""},
    {"http://exa\x7f"
     "mple.com/",
     ""},
    {"http://ex%41mple.com/", ""},
    {"http://ex\\ample.com/", ""},
    {"http://exa\xc3"
     "mple.com/",
     ""},
    {"http://\xe2\x80\xae"
     "evil.example/",
     ""},
    {"http://[::1/", ""},
    {"http://[g::1]/", ""},
};

TEST(UrlTest, ParsesAndNormalises) {
    for (const auto& c : parseCases) {
        SCOPED_TRACE(c.text);
        auto url = Url::parse(c.text);
        // The quick look never takes a text for normal that parsing would change or refuse.
        EXPECT_EQ(Url::isNormal(c.text), url && url->text() == c.text && Url::isNormal(url->text()));
        if (*c.normalised == '\0') {
            EXPECT_FALSE(url.has_value()) << url->text();
            continue;
        }
        ASSERT_TRUE(url.has_value());
        EXPECT_EQ(url->text(), c.normalised);
        // Normalising twice changes nothing, and the quick look knows the result for normal
        // (only an IPv6 host, an escape or a name starting with a dot needs the parse to tell).
        EXPECT_EQ(Url::parse(url->text())->text(), c.normalised);
        const std::string normal = c.normalised;
        EXPECT_EQ(Url::isNormal(normal),
                  normal.find_first_of("[%") == std::string::npos && normal.find("/.") == std::string::npos);
    }
}

// RFC 3986, 5.4: the examples of resolving against "http://a/b/c/d;p?q", and more.
struct ResolveCase {
    const char* reference;
    const char* resolved;
};

const ResolveCase resolveCases[] = {
    {"g", "http://a/b/c/g"},
    {"./g", "http://a/b/c/g"},
    {"g/", "http://a/b/c/g/"},
    {"/g", "http://a/g"},
    {"//g", "http://g/"},
    {"?y", "http://a/b/c/d;p?y"},
    {"g?y", "http://a/b/c/g?y"},
    {"#s", "http://a/b/c/d;p?q"},
    {"g#s", "http://a/b/c/g"},
    {";x", "http://a/b/c/;x"},
    {"", "http://a/b/c/d;p?q"},
    {".", "http://a/b/c/"},
    {"./", "http://a/b/c/"},
    {"..", "http://a/b/"},
    {"../g", "http://a/b/g"},
    {"../..", "http://a/"},
    {"../../../g", "http://a/g"},
    {"/./g", "http://a/g"},
    {"g.", "http://a/b/c/g."},
    {"..g", "http://a/b/c/..g"},
    {"./g/.", "http://a/b/c/g/"},
    {"g/../h", "http://a/b/c/h"},
    {"g;x=1/../y", "http://a/b/c/y"},
    {"HTTPS://Other.Example:443/x", "https://other.example/x"},
    {"//other.example:8080/x", "http://other.example:8080/x"},
    {"%2e%2e/g", "http://a/b/g"},
    {"g:h", ""},
    {"javascript:alert(1)", ""},
    {"//bad\rhost/", ""},
    {"https://bad host/", ""},
};

TEST(UrlTest, ResolvesReferences) {
    const auto base = Url::parse("http://a/b/c/d;p?q");
    ASSERT_TRUE(base.has_value());
    for (const auto& c : resolveCases) {
        SCOPED_TRACE(c.reference);
        auto url = base->resolve(c.reference);
        if (*c.resolved == '\0') {
            EXPECT_FALSE(url.has_value()) << url->text();
            continue;
        }
        ASSERT_TRUE(url.has_value());
        EXPECT_EQ(url->text(), c.resolved);
    }
}

TEST(UrlTest, NamesItsParts) {
    const auto url = Url::parse("https://Example.com:8443/a/b?x=1");
    ASSERT_TRUE(url.has_value());
    EXPECT_EQ(url->scheme(), "https");
    EXPECT_EQ(url->host(), "example.com");
    EXPECT_EQ(url->port(), 8443);
    EXPECT_FALSE(url->defaultPort());
    EXPECT_EQ(url->origin(), "https://example.com:8443");
    EXPECT_EQ(url->hostPort(), "example.com:8443");
    EXPECT_EQ(url->pathAndQuery(), "/a/b?x=1");
    const auto plain = Url::parse("http://example.com");
    EXPECT_EQ(plain->port(), 80);
    EXPECT_TRUE(plain->defaultPort());
    EXPECT_EQ(plain->hostPort(), "example.com");
    EXPECT_EQ(Url::parse("http://[::1]:81/")->hostPort(), "[::1]:81");
}

// A URL, a key location, and whether the URL lies in the location's folder.
struct ScopeCase {
    const char* url;
    const char* location;
    bool sameOrigin;
    bool inFolder;
};

const ScopeCase scopeCases[] = {
    {"https://example.com/k/c", "https://example.com/k/key.txt", true, true},
    {"https://example.com/k/sub/c", "https://example.com/k/key.txt", true, true},
    {"https://example.com/k/../c", "https://example.com/k/key.txt", true, false},
    {"https://example.com/k/%2e%2e/c", "https://example.com/k/key.txt", true, false},
    {"https://example.com/k/%2E%2E/k/c", "https://example.com/k/key.txt", true, true},
    {"https://example.com/kx/c", "https://example.com/k/key.txt", true, false},
    {"https://example.com/k", "https://example.com/k/", true, false},
    {"https://example.com/anything", "https://example.com/key.txt", true, true},
    {"https://EXAMPLE.com:443/k/c", "https://example.com/k/key.txt", true, true},
    {"https://example.com:8443/k/c", "https://example.com/k/key.txt", false, false},
    {"http://example.com/k/c", "https://example.com/k/key.txt", false, false},
    {"https://www.example.com/k/c", "https://example.com/k/key.txt", false, false},
    {"https://example.com.evil/k/c", "https://example.com/k/key.txt", false, false},
};

TEST(UrlTest, ComparesOriginsAndFolders) {
    for (const auto& c : scopeCases) {
        SCOPED_TRACE(std::string(c.url) + " against " + c.location);
        const auto url = Url::parse(c.url);
        const auto location = Url::parse(c.location);
        ASSERT_TRUE(url && location);
        EXPECT_EQ(url->sameOrigin(*location), c.sameOrigin);
        EXPECT_EQ(url->inFolderOf(*location), c.inFolder);
    }
}

// One spelling of the escapes for URLs and robots.txt alike; a lone "%" is escaped in a URL but
// compared as written in a robots.txt rule.
TEST(UrlTest, NormalisesPercentEncodingOnce) {
    const struct {
        const char* in;
        const char* url;
        const char* robots;
    } cases[] = {
        {"/plain/path?q=1", "/plain/path?q=1", "/plain/path?q=1"},
        {"/%7euser/%2f%41", "/~user/%2FA", "/~user/%2FA"},
        {"/caf\xC3\xA9 x", "/caf%C3%A9%20x", "/caf%C3%A9%20x"},
        {"/100%/%zz%4", "/100%25/%25zz%254", "/100%/%zz%4"},
        {"/a<b>{c}|\\^`\"", "/a%3Cb%3E%7Bc%7D%7C%5C%5E%60%22", "/a%3Cb%3E%7Bc%7D%7C%5C%5E%60%22"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(normalisePercentEncoding(c.in), c.url) << c.in;
        EXPECT_EQ(normalisePercentEncoding(c.in, LonePercent::Kept), c.robots) << c.in;
        EXPECT_EQ(isPlainUrlText(c.in),
                  std::string(c.in) == c.url && std::string(c.in).find('%') == std::string::npos)
            << c.in;
    }
    EXPECT_EQ(percentEncodeSegment("https://www.example.com/a b?c=d&e~%"),
              "https%3A%2F%2Fwww.example.com%2Fa%20b%3Fc%3Dd%26e~%25");
}

} // namespace

// Every spelling of one page has one key (RFC 3986, 6.2.2 and 6.2.3, with an internationalised
// host in its A-label form, RFC 3492), and text that is no http(s) URL keeps its spelling.
TEST(UrlTest, SpellingsOfOnePageShareOneKey) {
    const struct {
        const char* spelling;
        const char* key;
    } keys[] = {
        {"HTTP://WWW.Example.com:018080/", "http://www.example.com:18080/"},
        {"http://www.example.com:018080/", "http://www.example.com:18080/"},
        {"https://WWW.EXAMPLE.COM:0443/caf\xc3\xa9.html", "https://www.example.com/caf%C3%A9.html"},
        {"https://b\xc3\xbc"
         "cher.example/",
         "https://xn--bcher-kva.example/"},
        {"https://B\xc3\xbc"
         "CHER.Example:443/a",
         "https://xn--bcher-kva.example/a"},
        {"https://XN--BCHER-KVA.example/", "https://xn--bcher-kva.example/"},
        {"http://m\xc3\xbc"
         "nchen.b\xc3\xbc"
         "cher-buch.de/",
         "http://xn--mnchen-3ya.xn--bcher-buch-9db.de/"},
        {"http://\xd0\xbf\xd1\x80\xd0\xb8\xd0\xbc\xd0\xb5\xd1\x80.example/", "http://xn--e1afmkfd.example/"},
        {"http://\xe3\x83\x89\xe3\x83\xa1\xe3\x82\xa4\xe3\x83\xb3\xe5\x90\x8d\xe4\xbe\x8b.jp/",
         "http://xn--eckwd4c7cu47r2wf.jp/"},
        {"http://\xc3\xbc/", "http://xn--tda/"},
        {"ftp://Example.com/", "ftp://Example.com/"},
    };
    for (const auto& k : keys)
        EXPECT_EQ(urlKey(k.spelling), k.key) << k.spelling;
}
