// 'larkspan robots' run as the built program on robots.txt files of the test's own.
#include "tests/common/RunProgram.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

TEST(RobotsCommand, PrintsOneDecisionPerUrlForTheChosenAgent) {
    TempDir dir;
    dir.write("robots.txt", "User-agent: *\r\nDisallow: /private/\r\n\r\nUser-agent: bingbot\r\n"
                            "Disallow: /\r\nAllow: /public$\r\n");
    const std::string file = dir.file("robots.txt");
    ProgramResult google =
        runLarkspan({"robots", file, "https://site.test/private/a", "https://site.test/public",
                     "http://SITE.test/%70rivate/b?x#frag", "/open"});
    EXPECT_EQ(google.exitCode, 0) << google.err;
    EXPECT_EQ(google.out, "disallowed\thttps://site.test/private/a\n"
                          "allowed\thttps://site.test/public\n"
                          "disallowed\thttp://SITE.test/%70rivate/b?x#frag\n"
                          "allowed\t/open\n");
    EXPECT_EQ(google.err, "");
    ProgramResult bing = runLarkspan({"robots", "--agent", "BingBot/2.0", file, "https://site.test/public",
                                      "https://site.test/public/x", "https://site.test/robots.txt"});
    EXPECT_EQ(bing.exitCode, 0) << bing.err;
    EXPECT_EQ(bing.out, "allowed\thttps://site.test/public\n"
                        "disallowed\thttps://site.test/public/x\n"
                        "allowed\thttps://site.test/robots.txt\n");
}

TEST(RobotsCommand, ReportsAnUnreadableFileAndBadUsage) {
    TempDir dir;
    ProgramResult missing = runLarkspan({"robots", dir.file("none.txt"), "https://site.test/"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(missing.err, "larkspan: cannot read " + dir.file("none.txt") + "\n");
    dir.write("robots.txt", "");
    EXPECT_EQ(runLarkspan({"robots", dir.file("robots.txt")}).exitCode, 2);
    ProgramResult notUrl = runLarkspan({"robots", dir.file("robots.txt"), "ftp://site.test/"});
    EXPECT_EQ(notUrl.exitCode, 2);
    EXPECT_EQ(notUrl.err, "larkspan: ftp://site.test/ is not an http or https URL\n");
    EXPECT_EQ(runLarkspan({"robots", "--agent"}).exitCode, 2);
}
