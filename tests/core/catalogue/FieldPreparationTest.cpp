#include "core/catalogue/Countries.h"
#include "core/profiles/EditorItems.h"
#include "core/catalogue/SubmissionFields.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace {

std::string encodedFor(std::string_view engine, std::string_view url) {
    SubmissionFields f;
    f.CurrentEngine = std::string(engine);
    URLtoSubmitName(f, url);
    return f.EncodedURL;
}

std::string codeOf(std::string_view country) {
    SubmissionFields f;
    f.CountryCode = "unset";
    CountryToCC(f, country);
    return f.CountryCode;
}

SiteProfile completeProfile() {
    SiteProfile p;
    p[fName] = "Mary Ann Smith";
    p[fEMail] = "mary@example.org";
    p[fURL] = "http://www.example.org/";
    p[fSiteTitle] = "Mary's page";
    p[fCategory] = "Business";
    p[fLanguage] = "English";
    p[fZip] = "12345 6789";
    p[fCountry] = "United Kingdom";
    p[fPhone] = "(555) 123-4567";
    p[fFax] = "+1 (555) 765-4321";
    return p;
}

} // namespace

TEST(ParseName, SplitsAtTheFirstSpaceOnly) {
    SubmissionFields f;
    ParseName(f, "Jane Doe");
    EXPECT_EQ(f.FirstName, "Jane");
    EXPECT_EQ(f.LastName, "Doe");
    ParseName(f, "Mary Ann Smith");
    EXPECT_EQ(f.FirstName, "Mary");
    EXPECT_EQ(f.LastName, "Ann Smith");
    ParseName(f, " Leading Space");
    EXPECT_EQ(f.FirstName, "");
    EXPECT_EQ(f.LastName, "Leading Space");
    ParseName(f, "Trailing ");
    EXPECT_EQ(f.FirstName, "Trailing");
    EXPECT_EQ(f.LastName, "");
    // A single word sets neither field: what the record held stays.
    f.FirstName = "kept";
    f.LastName = "also kept";
    ParseName(f, "Madonna");
    EXPECT_EQ(f.FirstName, "kept");
    EXPECT_EQ(f.LastName, "also kept");
}

TEST(ParseZip, RemovesSeparatorsAndShortensOnlyNineCharacters) {
    struct Case {
        const char* typed;
        const char* sent;
    };
    for (auto [typed, sent] :
         {Case{"12345-6789", "12345"}, Case{"12345 6789", "12345"}, Case{"123456789", "12345"},
          Case{"12345-678", "12345678"}, Case{"K1A 0B6", "K1A0B6"}, Case{"SW1A 1AA", "SW1A1AA"},
          Case{"ABCDE-FGHI", "ABCDE"}, Case{"1234567890", "1234567890"}, Case{" - ", ""}, Case{"", ""}}) {
        SubmissionFields f;
        ParseZip(f, typed);
        EXPECT_EQ(f.Zip, sent) << typed;
    }
}

TEST(ParsePhone, RemovesOnlyDashesParenthesesAndSpaces) {
    EXPECT_EQ(ParsePhone("(555) 123-4567"), "5551234567");
    EXPECT_EQ(ParsePhone("+1.555.123.4567"), "+1.555.123.4567");
    EXPECT_EQ(ParsePhone("+44 (0)20 7946-0018 ext. 12"), "+4402079460018ext.12");
    EXPECT_EQ(ParsePhone(""), "");
    EXPECT_EQ(ParsePhone("\t555"), "\t555");
}

TEST(URLtoSubmitName, EncodesTheListedCharactersForEveryEngineButInfoseek) {
    EXPECT_EQ(encodedFor("Alexa", "/~my-page_1.htm"), "%2F%7Emy%2Dpage%5F1%2Ehtm");
    EXPECT_EQ(encodedFor("Infoseek", "/~my-page_1.htm"), "%2F~my-page_1.htm");
    // The exception is for the exact name only.
    EXPECT_EQ(encodedFor("Infoseek (method 2)", "/~my-page_1.htm"), "%2F%7Emy%2Dpage%5F1%2Ehtm");
    EXPECT_EQ(encodedFor("infoseek", "/~my-page_1.htm"), "%2F%7Emy%2Dpage%5F1%2Ehtm");
    EXPECT_EQ(encodedFor("Infoseek ", "/~my-page_1.htm"), "%2F%7Emy%2Dpage%5F1%2Ehtm");
    EXPECT_EQ(encodedFor("Infoseek", "http://a.b/c"), "http%3A%2F%2Fa.b%2Fc");
    EXPECT_EQ(encodedFor("", "http://www.x.org:8080/"), "http%3A%2F%2Fwww%2Ex%2Eorg%3A8080%2F");
}

TEST(URLtoSubmitName, LeavesQueriesSpacesAndPercentSignsAsTheyAre) {
    EXPECT_EQ(encodedFor("Lycos", "http://x.org/a b?a=1&b=2#top"), "http%3A%2F%2Fx%2Eorg%2Fa b?a=1&b=2#top");
    // An existing escape is not doubled, and a second encoding does not change the first.
    EXPECT_EQ(encodedFor("Lycos", "a%2Fb%41"), "a%2Fb%41");
    EXPECT_EQ(encodedFor("Lycos", encodedFor("Lycos", "h://x.y/~")), encodedFor("Lycos", "h://x.y/~"));
    // Non-ASCII bytes pass unchanged.
    EXPECT_EQ(encodedFor("Lycos", "http://b\xC3\xBC"
                                  "cher.de"),
              "http%3A%2F%2Fb\xC3\xBC"
              "cher%2Ede");
}

TEST(CountryToCC, LooksUpExactNamesWithTheirLeadingSpace) {
    EXPECT_EQ(codeOf("United States"), " US");
    EXPECT_EQ(codeOf("Germany"), " DE");
    EXPECT_EQ(codeOf("United Kingdom"), " UK");
    EXPECT_EQ(codeOf("other"), "00");
    // The editor list's own spellings reach their rows; the table's spellings work too.
    EXPECT_EQ(codeOf("Afganistan"), " AF");
    EXPECT_EQ(codeOf("Afghanistan"), " AF");
    EXPECT_EQ(codeOf("Antartica"), " AQ");
    EXPECT_EQ(codeOf("Antiqua and Barbuda"), " AG");
    // Rows the list does not offer still match when typed; a prefix of another name does not.
    EXPECT_EQ(codeOf("Niger"), " NE");
    EXPECT_EQ(codeOf("Nigeria"), " NG");
    EXPECT_EQ(codeOf("Tuvalu"), " TV");
    EXPECT_EQ(codeOf("Bosnia and Herzegowina"), " BA");
    EXPECT_EQ(codeOf("U. S. Minor Outlying Islands"), " UM");
    // Anything not spelt exactly as a row sets nothing.
    EXPECT_EQ(codeOf("united states"), "unset");
    EXPECT_EQ(codeOf("Other"), "unset");
    EXPECT_EQ(codeOf("Germany "), "unset");
    EXPECT_EQ(codeOf("US"), "unset");
    EXPECT_EQ(codeOf(""), "unset");
}

TEST(CountryTable, HasTheFullTableAndTheEditorList) {
    const auto& table = countryTable();
    ASSERT_EQ(table.size(), 239u);
    EXPECT_EQ(table.front().name, "Afghanistan");
    EXPECT_EQ(table.back().name, "other");
    std::set<std::string_view> names, codes;
    for (const CountryRow& row : table) {
        names.insert(row.name);
        codes.insert(row.code);
        if (row.name == "other") continue;
        ASSERT_EQ(row.code.size(), 3u) << row.name;
        EXPECT_EQ(row.code[0], ' ') << row.name;
        EXPECT_TRUE(std::isupper(static_cast<unsigned char>(row.code[1])) &&
                    std::isupper(static_cast<unsigned char>(row.code[2])))
            << row.name;
    }
    EXPECT_EQ(names.size(), 239u);
    EXPECT_EQ(codes.size(), 239u);
    // The table is in alphabetical order apart from "other" at its end.
    EXPECT_TRUE(std::is_sorted(table.begin(), table.end() - 1,
                               [](const CountryRow& a, const CountryRow& b) { return a.name < b.name; }));

    const auto& items = countryItems();
    ASSERT_EQ(items.size(), 233u);
    EXPECT_EQ(items.front(), "Afganistan");
    EXPECT_EQ(items[1], "Albania");
    EXPECT_EQ(items.back(), "other");
    for (const char* missing : {"Niger", "Seychelles", "Turkey", "Turkmenistan", "Turks and Caicos Islands",
                                "Tuvalu", "Afghanistan", "Antarctica", "Antigua and Barbuda"})
        EXPECT_EQ(std::count(items.begin(), items.end(), missing), 0) << missing;
    // Every item the editor offers has a code, and the list keeps the table's order.
    std::size_t lastRow = 0;
    for (const std::string& item : items) {
        auto code = countryCode(item);
        ASSERT_TRUE(code.has_value()) << item;
        auto row =
            std::find_if(table.begin(), table.end(), [&](const CountryRow& r) { return r.code == *code; });
        std::size_t at = static_cast<std::size_t>(row - table.begin());
        EXPECT_TRUE(item == items.front() || at > lastRow) << item;
        lastRow = at;
    }
}

TEST(EditorItems, LanguagesAndCategoriesAreCompleteAndInOrder) {
    const auto& languages = languageItems();
    ASSERT_EQ(languages.size(), 12u);
    EXPECT_EQ(languages.front(), "English");
    EXPECT_EQ(languages[8], "Portugese");
    EXPECT_EQ(languages.back(), "Other");

    const auto& categories = categoryItems();
    ASSERT_EQ(categories.size(), 163u);
    EXPECT_EQ(categories.front(), "Adults Only");
    EXPECT_EQ(categories[2], "Business");
    EXPECT_EQ(categories[3], "Business:Accounting");
    EXPECT_EQ(categories.back(), "Travel:Travel Agents");
    EXPECT_EQ(std::set<std::string>(categories.begin(), categories.end()).size(), 163u);
    // "Computer" is only a prefix; "Computers" comes right after its subcategories.
    EXPECT_EQ(std::count(categories.begin(), categories.end(), "Computer"), 0);
    auto training = std::find(categories.begin(), categories.end(), "Computer:Training");
    ASSERT_NE(training, categories.end());
    EXPECT_EQ(*(training + 1), "Computers");
    for (const std::string& c : categories) {
        EXPECT_EQ(c.find(" :"), std::string::npos) << c;
        EXPECT_EQ(c.find(": "), std::string::npos) << c;
        // A subcategory's main category comes before it, as an item or as the prefix of one.
        auto colon = c.find(':');
        if (colon != std::string::npos) {
            EXPECT_NE(std::find_if(categories.begin(), categories.end(),
                                   [&](const std::string& o) { return o.rfind(c.substr(0, colon), 0) == 0; }),
                      categories.end());
        }
    }
}

TEST(PrepareProfile, ReadsCleansAndLooksUpTheCountryOfACompleteProfile) {
    SubmissionFields f;
    PreparedProfile p = PrepareProfile(f, completeProfile());
    EXPECT_TRUE(p.complete);
    EXPECT_EQ(f.FirstName, "Mary");
    EXPECT_EQ(f.LastName, "Ann Smith");
    EXPECT_EQ(f.Name, "Mary Ann Smith");
    EXPECT_EQ(f.Zip, "12345");
    EXPECT_EQ(f.Phone, "5551234567");
    EXPECT_EQ(p.editorPhone, "5551234567");
    // The fax goes out as typed; only the editor shows it cleaned.
    EXPECT_EQ(f.Fax, "+1 (555) 765-4321");
    EXPECT_EQ(p.editorFax, "+15557654321");
    EXPECT_EQ(f.Country, "United Kingdom");
    EXPECT_EQ(f.CountryCode, " UK");
    EXPECT_EQ(f.SiteTitle, "Mary's page");
    EXPECT_EQ(f.EncodedURL, "");
}

TEST(PrepareProfile, AnyMissingRequiredFieldMakesItIncompleteAndSkipsTheCountry) {
    for (ProfileFieldIndex required : {fName, fEMail, fURL, fCategory, fLanguage, fCountry}) {
        SiteProfile profile = completeProfile();
        profile[required].clear();
        SubmissionFields f;
        PreparedProfile p = PrepareProfile(f, profile);
        EXPECT_FALSE(p.complete) << ProfileFields[required].key;
        EXPECT_EQ(f.CountryCode, "") << ProfileFields[required].key;
        // The editor still receives the cleaned phone.
        EXPECT_EQ(p.editorPhone, "5551234567");
    }
    for (ProfileFieldIndex optional :
         {fSiteTitle, fSiteDescription, fKeywords, fCompany, fAddress, fCity, fState, fZip, fPhone, fFax}) {
        SiteProfile profile = completeProfile();
        profile[optional].clear();
        SubmissionFields f;
        EXPECT_TRUE(PrepareProfile(f, profile).complete) << ProfileFields[optional].key;
    }
    // A name of spaces is not empty, so it counts as filled in.
    SiteProfile spaces = completeProfile();
    spaces[fName] = " ";
    SubmissionFields f;
    EXPECT_TRUE(PrepareProfile(f, spaces).complete);
}

TEST(PrepareProfile, NothingOfThePreviousProfileCarriesOver) {
    SubmissionFields f;
    ASSERT_TRUE(PrepareProfile(f, completeProfile()).complete);
    f.CurrentEngine = "Lycos";
    SiteProfile second = completeProfile();
    second[fName] = "Prince";
    second[fCountry] = "Atlantis";
    ASSERT_TRUE(PrepareProfile(f, second).complete);
    EXPECT_EQ(f.FirstName, "");
    EXPECT_EQ(f.LastName, "");
    EXPECT_EQ(f.CountryCode, "");
    EXPECT_EQ(f.CurrentEngine, "");
}
