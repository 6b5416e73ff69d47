#include "core/profiles/SiteProfile.h"
#include "core/profiles/SubmissionList.h"
#include "grid/ReportGrid.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sys/stat.h>

namespace {

SiteProfile sample(const std::string& title) {
    SiteProfile p;
    for (std::size_t i = 0; i < ProfileFieldCount; ++i)
        p[i] = std::string(ProfileFields[i].key) + " value";
    p[fSiteTitle] = title;
    return p;
}

std::vector<std::string> listed(const TReportGrid& list) {
    std::vector<std::string> out;
    for (int r = list.FixedRows(); r < list.RowCount(); ++r)
        out.push_back(list.CellText(0, r));
    return out;
}

} // namespace

TEST(ProfileFiles, SaveWritesTheSixteenKeysInOrderAndKeepsForeignLines) {
    TempDir dir;
    ProfileFiles store(dir.str());
    SiteProfile p = sample("My Site");
    p[fSiteDescription] = "line one\r\nURL=http://planted/\r\n[Evil]";
    store.save(p);
    EXPECT_EQ(store.load("My Site"), p);
    std::string text = dir.read("My Site.ini");
    EXPECT_EQ(
        text.rfind("[Settings]\nName=Name value\nEMail=EMail value\nURL=URL value\nSite Title=My Site\n", 0),
        0u);
    // Hand edits around the keys survive a later save; the values change in place.
    dir.write("My Site.ini", "; notes\n[Settings]\nFax=old\nCustom=kept\n[Other]\nx=1\n");
    p[fFax] = "new fax";
    store.save(p);
    text = dir.read("My Site.ini");
    EXPECT_EQ(text.rfind("; notes\n[Settings]\nFax=new fax\nCustom=kept\nName=Name value\n", 0), 0u);
    EXPECT_NE(text.find("[Other]\nx=1\n"), std::string::npos);
}

TEST(ProfileFiles, LoadingWholeReadsTheFieldsAndEveryOtherKeyOfTheSectionOnce) {
    TempDir dir;
    ProfileFiles store(dir.str());
    SiteProfile p = sample("Shop");
    store.save(p, {{"IndexNowKey", "k1"}, {"Sitemap", "https://shop.test/a\\b\nc"}});
    // Keys of other sections, a repeated key and a repeated section are what single reads see.
    dir.write("Shop.ini", dir.read("Shop.ini") + "Empty=\n[Other]\nGoogleServiceAccount=no\n"
                                                 "[settings]\nindexnowkey=second\nLate=yes\n");
    const LoadedProfile whole = store.loadWhole("Shop");
    EXPECT_EQ(whole.fields, store.load("Shop"));
    EXPECT_EQ(whole.fields, p);
    EXPECT_EQ(
        whole.extras,
        (ProfileExtras{{"IndexNowKey", "k1"}, {"Sitemap", "https://shop.test/a\\b\nc"}, {"Empty", ""}}));
    for (const char* key : {"IndexNowKey", "indexnowkey", "Sitemap", "Empty", "Late", "GoogleServiceAccount"})
        EXPECT_EQ(whole.extra(key), store.loadExtra("Shop", key)) << key;
    EXPECT_EQ(whole.extra("INDEXNOWKEY"), "k1");
    EXPECT_EQ(store.loadWhole("absent").extras, ProfileExtras{});
    EXPECT_EQ(ProfileFiles("").loadWhole("Shop").extra("IndexNowKey"), "");

    // A file that an editor began with a UTF-8 byte-order mark reads the same, and keeps its mark.
    const std::string bom = "\xEF\xBB\xBF";
    dir.write("Shop.ini",
              bom + "[Settings]\r\nSite Title=Shop\r\nURL=https://shop.test/\r\nIndexNowKey=k1\r\n");
    EXPECT_EQ(store.load("Shop")[fURL], "https://shop.test/");
    EXPECT_EQ(store.loadWhole("Shop").extra("IndexNowKey"), "k1");
    store.save(store.load("Shop"));
    EXPECT_EQ(
        dir.read("Shop.ini")
            .rfind(bom + "[Settings]\r\nSite Title=Shop\r\nURL=https://shop.test/\r\nIndexNowKey=k1\r\n", 0),
        0u);
}

TEST(ProfileFiles, TitlesThatAreNoFileNameFailWithoutWriting) {
    TempDir dir;
    ProfileFiles store(dir.str());
    std::filesystem::create_directory(dir / "sub");
    for (const std::string& title : std::vector<std::string>{
             "sub/escape", "../outside", std::string("nul\0byte", 8), std::string(300, 'x')}) {
        try {
            store.save(sample(title));
            ADD_FAILURE() << "saved " << title;
        } catch (const LarkspanError& e) {
            std::string expected = "Unable to write to " + dir.str() + "/" + title + ".ini";
            EXPECT_EQ(std::string(e.what()), expected.substr(0, expected.find('\0')));
        }
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir / "sub"));
    EXPECT_FALSE(std::filesystem::exists(dir.path().parent_path() / "outside.ini"));
    // Without a title nothing is written: no hidden ".ini" that lists as a blank row.
    try {
        store.save(sample(""));
        ADD_FAILURE() << "saved a profile without a title";
    } catch (const LarkspanError& e) {
        EXPECT_EQ(std::string(e.what()), NoSiteTitle);
    }
    EXPECT_TRUE(store.list().empty());
}

TEST(ProfileFiles, ListingTakesEveryIniEntryAndTheSubmissionListSortsByBytes) {
    TempDir dir;
    for (std::string name : {"about.ini", "Zebra.ini", "10.ini", "9.ini", ".ini", "notes.txt", "UPPER.INI"})
        dir.write(name, "[Settings]\n");
    std::filesystem::create_directory(dir / "folder.ini");
    ProfileFiles store(dir.str());
    std::vector<std::string> names = store.list();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"", "10", "9", "Zebra", "about", "folder"}));
    TReportGrid list(1, 2, 0, 1);
    fillSubmissionList(list, store.list());
    EXPECT_EQ(list.CellText(0, 0), "Title");
    // Names that read as numbers sort by value.
    EXPECT_EQ(listed(list), (std::vector<std::string>{"", "9", "10", "Zebra", "about", "folder"}));
    fillSubmissionList(list, {});
    EXPECT_EQ(list.RowCount(), 1);
}

TEST(ProfileFiles, NamesEqualAsNumbersKeepTheOrderOfSortingAfterEveryListedName) {
    // "1", "01" and "1.0" compare equal, so their order is whatever the sorts leave; the
    // list must end as the listing leaves it when it sorts after each name it adds.
    const std::vector<std::string> names{"1.0", "b", "01", " 2", "+1", "1", "02", "1e0", "2", "a"};
    TReportGrid reference(1, 2, 0, 1);
    reference.DisjunctRowSelect = true;
    reference.SetCellText(0, 0, "Title");
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) reference.SetRowCount(reference.RowCount() + 1);
        reference.SetCellText(0, static_cast<int>(i) + 1, names[i]);
        if (i > 0) reference.SortRows();
    }
    TReportGrid list(1, 2, 0, 1);
    list.DisjunctRowSelect = true;
    fillSubmissionList(list, names);
    EXPECT_EQ(listed(list), listed(reference));
}

TEST(ProfileFiles, MissingFilesAndKeysLoadEmptyAndDirectoryProblemsAreReported) {
    TempDir dir;
    ProfileFiles store(dir.str());
    dir.write("partial.ini", std::string("\xff\0\n[Settings]\nCity=Oslo\nCity=Bergen", 34));
    SiteProfile p = store.load("partial");
    EXPECT_EQ(p[fCity], "Oslo");
    EXPECT_EQ(p[fName], "");
    EXPECT_EQ(store.load("absent"), SiteProfile{});
    store.remove("absent"); // silent

    ProfileFiles missing(dir.str() + "/nowhere");
    EXPECT_THROW(missing.list(), LarkspanError);
    EXPECT_THROW(ProfileFiles::resolveDirectory(dir.str() + "/nowhere"), LarkspanError);
    // A directory given relative to the working directory becomes its full name.
    std::filesystem::create_directory(dir / "sub");
    const auto before = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    std::string relative = ProfileFiles::resolveDirectory(std::string("./sub"));
    std::filesystem::current_path(before);
    ASSERT_EQ(relative.front(), '/');
    EXPECT_EQ(relative.find("/./"), std::string::npos);
    EXPECT_TRUE(std::filesystem::equivalent(relative, dir / "sub"));
    EXPECT_EQ(ProfileFiles(relative).fileName("a"), relative + "/a.ini");
    ::setenv("XDG_DATA_HOME", dir.str().c_str(), 1);
    ::unsetenv("LARKSPAN_HOME");
    EXPECT_EQ(ProfileFiles::resolveDirectory(std::nullopt), dir.str() + "/larkspan");
    EXPECT_TRUE(std::filesystem::is_directory(dir / "larkspan"));
}

TEST(ProfileFiles, ARelativeDirectoryIsResolvedToItsFullName) {
    TempDir dir;
    std::filesystem::create_directory(dir / "profiles");
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    std::string given, fromEnv;
    try {
        given = ProfileFiles::resolveDirectory(std::string("profiles"));
        ::setenv("LARKSPAN_HOME", "./profiles/", 1);
        fromEnv = ProfileFiles::resolveDirectory(std::nullopt);
    } catch (...) {
    }
    ::unsetenv("LARKSPAN_HOME");
    std::filesystem::current_path(before);
    const std::string full = std::filesystem::canonical(dir.path()).string() + "/profiles";
    EXPECT_EQ(given, full);
    EXPECT_EQ(fromEnv, full);
    // So a failed save names the file in full, wherever the program runs.
    try {
        ProfileFiles(given).save(sample("a/b"));
        ADD_FAILURE() << "saved a/b";
    } catch (const LarkspanError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + full + "/a/b.ini");
    }
    EXPECT_EQ(ProfileFiles("/").fileName("x"), "/x.ini");
}

TEST(ProfileFiles, AStoreWithoutADirectoryTouchesNoFile) {
    // The window keeps running when no profile directory can be used; its store then has
    // none, and must not fall back to the root directory.
    const std::string title = "larkspan-store-without-directory";
    const std::filesystem::path stray = "/" + title + ".ini";
    ProfileFiles none("");
    EXPECT_THROW(none.list(), LarkspanError);
    try {
        none.save(sample(title));
        ADD_FAILURE() << "saved without a directory";
    } catch (const LarkspanError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + title + ".ini");
    }
    std::error_code ec;
    EXPECT_FALSE(std::filesystem::remove(stray, ec)) << "wrote " << stray;
    EXPECT_EQ(none.load(title), SiteProfile{});
}

TEST(ProfileFiles, ProfilesAreTheOwnersAloneAndAnEmptyListingWritesNoHeader) {
    TempDir dir;
    const mode_t oldMask = ::umask(022);
    ::setenv("XDG_DATA_HOME", (dir.str() + "/data").c_str(), 1);
    ::unsetenv("LARKSPAN_HOME");
    const std::string home = ProfileFiles::resolveDirectory(std::nullopt);
    ProfileFiles store(home);
    store.save(sample("fresh"));
    dir.write("data/larkspan/shared.ini", "[Settings]\n");
    store.save(sample("shared"));
    ::umask(oldMask);
    namespace fs = std::filesystem;
    const auto mode = [](const fs::path& p) { return fs::status(p).permissions() & fs::perms::all; };
    EXPECT_EQ(mode(home), fs::perms::owner_all);
    EXPECT_EQ(mode(dir / "data"), fs::perms::owner_all);
    EXPECT_EQ(mode(store.fileName("fresh")), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(mode(store.fileName("shared")), fs::perms::owner_read | fs::perms::owner_write |
                                                  fs::perms::group_read | fs::perms::others_read);

    // The header comes with the first listed name.
    TReportGrid list(1, 2, 0, 1);
    fillSubmissionList(list, {});
    EXPECT_EQ(list.CellText(0, 0), "");
    fillSubmissionList(list, {"one"});
    EXPECT_EQ(list.CellText(0, 0), "Title");
}
