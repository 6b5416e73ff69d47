// robots.txt: the groups, the longest match, the patterns and the normal form of paths, on the
// examples of the standard and on files that are broken or hostile.
#include "core/checks/RobotsTxt.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The example file of RFC 9309, section 5.1.
const char* const StandardExample = "User-Agent: *\n"
                                    "Disallow: *.gif$\n"
                                    "Disallow: /example/\n"
                                    "Allow: /publications/\n"
                                    "\n"
                                    "User-Agent: foobot\n"
                                    "Disallow:/\n"
                                    "Allow:/example/page.html\n"
                                    "Allow:/example/allowed.gif\n"
                                    "\n"
                                    "User-Agent: barbot\n"
                                    "User-Agent: bazbot\n"
                                    "Disallow: /example/page.html\n"
                                    "\n"
                                    "User-Agent: quxbot\n";

struct Decision {
    const char* file;
    const char* agent;
    const char* path;
    bool allowed;
};

TEST(RobotsTxt, DecidesByGroupLongestMatchPatternsAndNormalForm) {
    const char* const longest =
        "user-agent: foobot\nallow: /example/page/\ndisallow: /example/page/disallowed.gif\n";
    const char* const wildcards = "User-agent: *\nDisallow: /fish*.php\nDisallow: /*.asp$\nAllow: /$\n"
                                  "Disallow: /\nAllow: /p\nAllow: /folder\nDisallow: /folder\n"
                                  "Allow: /page\nDisallow: /*.html\n";
    const char* const encoded = "User-agent: *\nDisallow: /foo/bar/%62%61%7A\nDisallow: /a%3cb\n"
                                "Disallow: /\xE3\x83\x84\nDisallow: /~user\nAllow: /q?x=1\n";
    const Decision cases[] = {
        // The standard's example: groups, fallback, an empty group and the tie-breaks.
        {StandardExample, "foobot", "/example/page.html", true},
        {StandardExample, "foobot", "/example/allowed.gif", true},
        {StandardExample, "foobot", "/other", false},
        {StandardExample, "FooBot/1.0", "/other", false},
        {StandardExample, "barbot", "/example/page.html", false},
        {StandardExample, "bazbot", "/example/page.html", false},
        {StandardExample, "BAZBOT", "/example/other.html", true},
        {StandardExample, "quxbot", "/example/x.gif", true},
        {StandardExample, "Googlebot", "/example/x.html", false},
        {StandardExample, "Googlebot", "/images/a.gif", false},
        {StandardExample, "Googlebot", "/images/a.gif?x", true},
        {StandardExample, "Googlebot", "/publications/", true},
        {StandardExample, "Googlebot", "/robots.txt", true},
        {longest, "foobot", "/example/page/disallowed.gif", false},
        {longest, "foobot", "/example/page/other.gif", true},
        {longest, "otherbot", "/example/page/disallowed.gif", true},
        // "*" and "$"; the longest pattern wins whatever its kind; allow wins a tie.
        {wildcards, "x", "/fish.php", false},
        {wildcards, "x", "/fishheads/catfish.php?parameters", false},
        {wildcards, "x", "/a.asp", false},
        {wildcards, "x", "/a.asp?x", false},
        {wildcards, "x", "/", true},
        {wildcards, "x", "/page", true},
        {wildcards, "x", "/page.html", false},
        {wildcards, "x", "/folder/x", true},
        {wildcards, "x", "/other", false},
        {wildcards, "x", "/robots.txt", true},
        // Percent-encoding compared in one normal form on both sides.
        {encoded, "x", "/foo/bar/baz", false},
        {encoded, "x", "/foo/bar/%62az", false},
        {encoded, "x", "/a%3Cb", false},
        {encoded, "x", "/a<b", false},
        {encoded, "x", "/%E3%83%84", false},
        {encoded, "x", "/%e3%83%84", false},
        {encoded, "x", "/%7Euser", false},
        {encoded, "x", "/foo/bar/bay", true},
        {encoded, "x", "/q?x=1", true},
        // Cases are significant in paths.
        {"User-agent: *\nDisallow: /Fish\n", "x", "/fish", true},
        {"User-agent: *\nDisallow: /Fish\n", "x", "/Fish.asp", false},
        // Line breaks of every kind, a byte order mark, comments, missing colons.
        {"\xEF\xBB\xBFUser-agent: *\rDisallow: /a\r", "x", "/a", false},
        {"User-agent: x\r\nDisallow: /a # not /b\r\nDisallow /b\r\n", "x", "/b", true},
        {"User-agent: x\r\nDisallow: /a # not /b\r\nDisallow /b\r\n", "x", "/a/1", false},
        {"USER-AGENT : x\nDISALLOW\t:\t/a\t\n", "x", "/a", false},
        // Rules before any user-agent line belong to no group.
        {"Disallow: /\nUser-agent: x\nDisallow: /b\n", "x", "/a", true},
        {"Disallow: /\nUser-agent: x\nDisallow: /b\n", "y", "/a", true},
        // A specific group replaces "*"; groups of one agent merge; other lines keep a group open.
        {"User-agent: *\nDisallow: /\nUser-agent: x\nDisallow: /b\n", "x", "/a", true},
        {"User-agent: x\nDisallow: /a\nUser-agent: y\nDisallow: /c\nUser-agent: X\nDisallow: /b\n", "x", "/b",
         false},
        {"User-agent: x\nDisallow: /a\nUser-agent: y\nDisallow: /c\nUser-agent: X\nDisallow: /b\n", "x", "/c",
         true},
        {"User-agent: x\nSitemap: https://a/s.xml\nUser-agent: y\nDisallow: /a\n", "x", "/a", false},
        // Empty values match nothing; a value that is no path is left out.
        {"User-agent: *\nDisallow:\n", "x", "/", true},
        {"User-agent: *\nDisallow: a\n", "x", "/a", true},
        {"User-agent: Googlebot/2.1 (+http://www.google.com/bot.html)\nDisallow: /\n", "googlebot", "/",
         false},
        {"User-agent: Googlebot-News\nDisallow: /\n", "Googlebot", "/", true},
        // bingbot obeys msnbot's groups when none names it, before "*"; msnbot keeps its own.
        {"User-agent: *\nDisallow: /\nUser-agent: msnbot\nDisallow: /m\n", "bingbot/2.0", "/a", true},
        {"User-agent: *\nDisallow: /\nUser-agent: msnbot\nDisallow: /m\n", "bingbot", "/m", false},
        {"User-agent: msnbot\nDisallow: /\nUser-agent: BingBot\nDisallow: /b\n", "bingbot", "/a", true},
        {"User-agent: bingbot\nDisallow: /b\nUser-agent: msnbot\nDisallow: /\n", "msnbot", "/b", false},
        {"User-agent: msnbot\nDisallow: /\n", "Googlebot", "/a", true},
        {"", "x", "/anything", true},
    };
    for (const Decision& d : cases) {
        const RobotsTxt robots = RobotsTxt::parse(d.file);
        EXPECT_EQ(robots.allows(d.agent, d.path), d.allowed)
            << "agent " << d.agent << ", path " << d.path << ", file:\n"
            << d.file;
    }
}

TEST(RobotsTxt, NormalFormDecodesUnreservedAndEncodesTheRest) {
    EXPECT_EQ(normaliseRobotsPath("/foo/bar/%62%61%7a"), "/foo/bar/baz");
    EXPECT_EQ(normaliseRobotsPath("/a%2fb%3a"), "/a%2Fb%3A");
    EXPECT_EQ(normaliseRobotsPath("/\xE3\x83\x84 x"), "/%E3%83%84%20x");
    EXPECT_EQ(normaliseRobotsPath("/100%/%zz%4"), "/100%/%zz%4");
}

TEST(RobotsTxt, ReadsOnlyTheFirst500KiBOfA10MBFile) {
    std::string file = "User-agent: *\nDisallow: /early\n";
    while (file.size() < RobotsTxt::MaxBytes - 10)
        file += "Disallow: /filler/" + std::to_string(file.size()) + "\n";
    // This line straddles the limit: the half that is read would block "/cut".
    file += "Disallow: /cut-across-the-limit\n";
    while (file.size() < 10'000'000)
        file += "Disallow: /late\n";
    const RobotsTxt robots = RobotsTxt::parse(file);
    EXPECT_TRUE(robots.truncated());
    EXPECT_FALSE(robots.allows("x", "/early"));
    EXPECT_FALSE(robots.allows("x", "/filler/31"));
    EXPECT_TRUE(robots.allows("x", "/cut"));
    EXPECT_TRUE(robots.allows("x", "/late"));
    EXPECT_FALSE(RobotsTxt::parse("User-agent: *\nDisallow: /\n").truncated());
}

TEST(RobotsTxt, SurvivesHostileFiles) {
    // Lines of many stars, one of them a 200 KB line, and 500 KiB of wildcard rules: a matcher
    // that backtracks into every star would not finish here.
    std::string stars = "User-agent: *\nDisallow: /";
    for (int i = 0; i < 1000; ++i)
        stars += "*a";
    stars += "b\nDisallow: /";
    while (stars.size() < 200'000)
        stars += "**a";
    stars += "c\n";
    std::string many = "User-agent: *\n";
    while (many.size() < RobotsTxt::MaxBytes)
        many += "Disallow: /*x*y*z" + std::to_string(many.size()) + "$\n";
    const char raw[] = "User-agent: *\0\nDisallow: /\xFF\xFE\x00z\n\n\n:::\n\xC3\n";
    const std::string binary(raw, sizeof raw - 1);
    const std::string path = "/" + std::string(5000, 'a');
    const RobotsTxt starred = RobotsTxt::parse(stars);
    EXPECT_TRUE(starred.allows("x", path));
    EXPECT_FALSE(starred.allows("x", path + "b"));
    EXPECT_TRUE(starred.allows("x", path + "c"));
    const RobotsTxt wild = RobotsTxt::parse(many);
    EXPECT_TRUE(wild.allows("x", path));
    EXPECT_FALSE(wild.allows("x", "/1x2y3z14"));
    EXPECT_GT(wild.ruleCount(), 10'000u);
    EXPECT_FALSE(RobotsTxt::parse(binary).allows("x", "/%FF%FE%00z"));
    EXPECT_TRUE(RobotsTxt::parse(binary).allows("x", "/z"));
}

TEST(RobotsTxt, AServerThatFailsClosesEverythingButRobotsTxt) {
    const RobotsTxt closed = RobotsTxt::disallowAll();
    EXPECT_FALSE(closed.allows("Googlebot", "/"));
    EXPECT_TRUE(closed.allows("Googlebot", "/robots.txt"));
    EXPECT_TRUE(RobotsTxt().allows("Googlebot", "/"));
}

} // namespace
