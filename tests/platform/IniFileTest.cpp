#include "platform/IniFile.h"
#include "platform/Error.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

TEST(IniFile, ReplacesValuesInPlaceAndAppendsMissingKeys) {
    IniFile ini = IniFile::parse(
        "; kept\r\n[Other]\r\nURL=elsewhere\r\n[settings]\r\nurl=old\r\nExtra=1\r\n\r\n[Last]\r\n");
    ini.write("Settings", "URL", "http://new/");
    ini.write("Settings", "Name", "Jane");
    ini.write("Missing", "Key", "v");
    EXPECT_EQ(ini.text(), "; kept\r\n[Other]\r\nURL=elsewhere\r\n[settings]\r\nurl=http://new/\r\nExtra=1\r\n"
                          "Name=Jane\r\n\r\n[Last]\r\n[Missing]\r\nKey=v\r\n");
    EXPECT_EQ(ini.read("SETTINGS", "Url"), "http://new/");
    EXPECT_EQ(ini.read("Other", "URL"), "elsewhere");
    EXPECT_EQ(ini.read("Settings", "Absent", "dflt"), "dflt");
    EXPECT_EQ(ini.read("Nowhere", "URL"), "");
}

TEST(IniFile, MultiLineValuesReadBackExactlyAndCannotPlantKeys) {
    const std::string value = "first\r\nURL=http://evil/\r\n[Settings]\nback\\slash \\n literal";
    IniFile ini;
    ini.write("Settings", "Site Description", value);
    ini.write("Settings", "URL", "http://good/");
    IniFile again = IniFile::parse(ini.text());
    EXPECT_EQ(again.read("Settings", "Site Description"), value);
    EXPECT_EQ(again.read("Settings", "URL"), "http://good/");
    // Plain values stay in the plain form that hand-written files use.
    EXPECT_EQ(IniFile::encodeValue("a=b & c"), "a=b & c");
    // A backslash that starts no known escape reads as itself.
    EXPECT_EQ(IniFile::decodeValue("C:\\dir\\x"), "C:\\dir\\x");
}

TEST(IniFile, OddFilesLoadWithoutHarm) {
    std::string binary("\0\xff\x01[Settings\n=\n\n==x\n", 16);
    IniFile::parse(binary).read("Settings", "Name");
    std::string longLine = "[Settings]\nName=" + std::string(100000, 'x') + "\nName=second";
    IniFile ini = IniFile::parse(longLine);
    EXPECT_EQ(ini.read("Settings", "Name"),
              std::string(IniFile::MaxValueLength, 'x')); // first of duplicates, cut
    IniFile noFinal = IniFile::parse("[Settings]\nCity=Oslo");
    EXPECT_EQ(noFinal.read("Settings", "City"), "Oslo");
    noFinal.write("Settings", "Zip", "0150");
    EXPECT_EQ(noFinal.text(), "[Settings]\nCity=Oslo\nZip=0150");
    // A cut never splits a character.
    std::string utf = "[S]\nK=" + std::string(2046, 'a') + "\xC3\xA9";
    EXPECT_EQ(IniFile::parse(utf).read("S", "K"), std::string(2046, 'a'));
}

TEST(IniFile, SaveReplacesAtomicallyAndReportsFailure) {
    TempDir dir;
    fs::path file = dir.path() / "site.ini";
    IniFile ini;
    ini.write("Settings", "Name", "Jane");
    ini.save(file.string());
    EXPECT_EQ(readFile(file), "[Settings]\nName=Jane\n");
    EXPECT_EQ(IniFile::load(file.string()).read("Settings", "Name"), "Jane");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);

    fs::path nowhere = dir.path() / "missing" / "x.ini";
    try {
        ini.save(nowhere.string());
        FAIL() << "saving into a missing directory succeeded";
    } catch (const LarkspanError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + nowhere.string());
    }
    // A name as long as the file system allows is saved like any other; one byte more fails.
    const long nameMax = ::pathconf(dir.path().c_str(), _PC_NAME_MAX);
    ASSERT_GT(nameMax, 8);
    fs::path longest = dir.path() / (std::string(static_cast<std::size_t>(nameMax) - 4, 'n') + ".ini");
    ini.save(longest.string());
    EXPECT_EQ(readFile(longest), "[Settings]\nName=Jane\n");
    fs::path tooLong = dir.path() / (std::string(static_cast<std::size_t>(nameMax) - 3, 'n') + ".ini");
    EXPECT_THROW(ini.save(tooLong.string()), LarkspanError);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);

    if (::geteuid() != 0) {
        fs::permissions(file, fs::perms::owner_read);
        EXPECT_THROW(ini.save(file.string()), LarkspanError);
    }
}

TEST(IniFile, ListsSectionsKeysAndStrayLinesAsTheFileHasThem) {
    IniFile ini = IniFile::parse("top=1\n; comment=no\n# also=no\n[One]\nA = 1\nplain text\n\n[two]\nB=\n"
                                 "[One]\n  C=3\n[broken\n");
    EXPECT_EQ(ini.sections(), (std::vector<std::string>{"One", "two", "One"}));
    auto keys = ini.keyLines();
    ASSERT_EQ(keys.size(), 4u);
    EXPECT_EQ(keys[0].sectionIndex, std::string::npos);
    EXPECT_EQ(keys[0].key, "top");
    EXPECT_EQ(keys[1].sectionIndex, 0u);
    EXPECT_EQ(keys[1].key, "A");
    EXPECT_EQ(keys[2].sectionIndex, 1u);
    EXPECT_EQ(keys[2].key, "B");
    EXPECT_EQ(keys[3].sectionIndex, 2u);
    EXPECT_EQ(keys[3].key, "C");
    EXPECT_EQ(ini.strayLines(), (std::vector<std::string>{"plain text", "[broken"}));
}

TEST(IniFile, CutsAndWritesNeverLoseOrReshapeWhatTheFileHolds) {
    // A value that is not UTF-8 gives up at most the bytes of one unfinished character.
    const std::string continuation(2100, '\x80');
    EXPECT_EQ(IniFile::parse("[S]\nK=" + continuation).read("S", "K").size(), 2047u);
    const std::string cutLead = std::string(2045, 'a') + "\xE2\x82\xAC";
    EXPECT_EQ(IniFile::parse("[S]\nK=" + cutLead).read("S", "K"), std::string(2045, 'a'));

    // A line that ends in CR LF keeps its CR in a file whose lines end in LF, and every line
    // comes back as it was.
    const std::string mixed = "[S]\nA=1\r\nB=2\nC=3\r";
    IniFile lf = IniFile::parse(mixed);
    EXPECT_EQ(lf.text(), mixed);
    EXPECT_EQ(lf.read("S", "A"), "1\r");
    lf.write("S", "B", "two");
    lf.write("S", "D", "4");
    EXPECT_EQ(lf.text(), "[S]\nA=1\r\nB=two\nC=3\r\nD=4");
    EXPECT_EQ(IniFile::parse(lf.text()).read("S", "C"), "3\r");
    const std::string crlf = "[S]\r\nA=1\nB=2\r\n";
    EXPECT_EQ(IniFile::parse(crlf).text(), crlf);
    EXPECT_EQ(IniFile::parse(crlf).read("S", "B"), "2");

    // A key that starts with "[" stays a key whatever its value holds.
    IniFile ini = IniFile::parse("[S]\n[k=old\n");
    ini.write("S", "[k", "]");
    ini.write("S", "[new", "x]y");
    IniFile again = IniFile::parse(ini.text());
    EXPECT_EQ(again.sections(), (std::vector<std::string>{"S"}));
    EXPECT_EQ(again.read("S", "[k"), "]");
    EXPECT_EQ(again.read("S", "[new"), "x]y");
    // Names that no line can hold are refused instead of written as something else.
    for (const char* key : {"[a]", "a=b", "a\nb", " a", ";a"})
        EXPECT_THROW(ini.write("S", key, "v"), std::invalid_argument) << key;
    for (const char* section : {"S]", "a=b", "S "})
        EXPECT_THROW(ini.write(section, "k", "v"), std::invalid_argument) << section;
    EXPECT_EQ(IniFile::parse(ini.text()).sections(), (std::vector<std::string>{"S"}));
}

TEST(IniFile, NewFilesForTheOwnerAloneAndExistingFilesKeepTheirMode) {
    TempDir dir;
    const mode_t oldMask = ::umask(022);
    IniFile ini;
    ini.write("Settings", "Phone", "555");
    const fs::path own = dir.path() / "own.ini";
    ini.save(own.string(), IniFile::NewFile::OwnerOnly);
    const fs::path shared = dir.path() / "shared.ini";
    ini.save(shared.string());
    ::umask(oldMask);
    EXPECT_EQ(fs::status(own).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(fs::status(shared).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                  fs::perms::others_read);
    fs::permissions(own, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ini.save(own.string(), IniFile::NewFile::OwnerOnly);
    EXPECT_EQ(fs::status(own).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}
