#include "tests/common/RunProgram.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

TEST(ListCommand, PrintsNamesInTheSubmissionListsOrder) {
    TempDir dir;
    dir.write("about.ini", "[Settings]\nName=a\n");
    dir.write("Zebra.ini", "binary\0junk");
    dir.write(".ini", "");
    dir.write("Ünïcode site.ini", "[Settings]\n");
    dir.write("readme.txt", "not a profile");
    // As under cron: no session runtime directory, and nothing but the names is printed.
    qunsetenv("XDG_RUNTIME_DIR");
    ProgramResult r = runLarkspan({"list", "--dir", dir.str()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "\nZebra\nabout\nÜnïcode site\n");
    EXPECT_EQ(r.err, "");
}

TEST(ListCommand, ReportsAMissingDirectoryAndBadUsage) {
    TempDir dir;
    ProgramResult r = runLarkspan({"list", "--dir", dir.str() + "/missing"});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(dir.str() + "/missing"), std::string::npos) << r.err;
    r = runLarkspan({"list", "--bogus"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("unknown option --bogus"), std::string::npos) << r.err;
    r = runLarkspan({"frobnicate"});
    EXPECT_EQ(r.exitCode, 2);
    // An empty directory lists nothing and succeeds, and says which folder it read.
    r = runLarkspan({"list", "--dir", dir.str()});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "larkspan: no profiles in " + dir.str() + "\n");
}
