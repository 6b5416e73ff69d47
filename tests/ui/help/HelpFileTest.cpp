#include "ui/help/HelpFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace {

std::vector<std::string> keywordsOf(const HelpDocument& doc) {
    std::vector<std::string> out;
    for (const HelpIndexEntry& e : doc.index())
        out.push_back(e.keyword);
    return out;
}

const char* const Sample = "@help Sample Help\r\n"
                           "# a comment\r\n"
                           "@contents\r\n"
                           "* Book one\r\n"
                           "** First | first\r\n"
                           "** Second | second\r\n"
                           "* Third | third\r\n"
                           "@topic first The first topic\r\n"
                           "@keywords beta; Alpha; shared\r\n"
                           "Line one of a paragraph\r\n"
                           "continues here with {second} and {third|the third}.\r\n"
                           "\r\n"
                           "- item with **bold** text\r\n"
                           "- item with a <tag> & \\{not a link}\r\n"
                           "  preformatted <b> {kept}\r\n"
                           "  second line\r\n"
                           "== Sub heading\r\n"
                           "See {http://www.example.com/|the example}.\r\n"
                           "@topic second Second\r\n"
                           "@keywords SHARED; gamma\r\n"
                           "Text.\r\n"
                           "@topic third Third\r\n"
                           "@keywords alphabet\r\n";

} // namespace

TEST(HelpFile, ParsesContentsTopicsAndAnIndexSortedIgnoringCase) {
    auto doc = HelpDocument::parse(Sample);
    ASSERT_TRUE(doc);
    EXPECT_EQ(doc->title(), "Sample Help");
    EXPECT_TRUE(doc->problems().empty()) << doc->problems().front();

    ASSERT_EQ(doc->contents().size(), 4u);
    EXPECT_EQ(doc->contents()[0].level, 1);
    EXPECT_EQ(doc->contents()[0].text, "Book one");
    EXPECT_EQ(doc->contents()[0].topic, "");
    EXPECT_EQ(doc->contents()[2].level, 2);
    EXPECT_EQ(doc->contents()[2].topic, "second");
    EXPECT_EQ(doc->contents()[3].text, "Third");

    ASSERT_EQ(doc->topics().size(), 3u);
    EXPECT_EQ(doc->topic("second")->title, "Second");
    EXPECT_EQ(doc->topic("missing"), nullptr);

    // "shared" and "SHARED" are one keyword, listing both topics in file order.
    EXPECT_EQ(keywordsOf(*doc), (std::vector<std::string>{"Alpha", "alphabet", "beta", "gamma", "shared"}));
    EXPECT_EQ(doc->index()[4].topics, (std::vector<std::string>{"first", "second"}));

    // The search field: a prefix first, then anywhere, ignoring the case of a-z.
    EXPECT_EQ(doc->findKeyword("ALPHAB"), 1);
    EXPECT_EQ(doc->findKeyword("alp"), 0);
    EXPECT_EQ(doc->findKeyword("amm"), 3);
    EXPECT_EQ(doc->findKeyword(""), 0);
    EXPECT_EQ(doc->findKeyword("zzz"), -1);
}

TEST(HelpFile, RendersTopicsAsEscapedHtmlWithTopicLinks) {
    auto doc = HelpDocument::parse(Sample);
    ASSERT_TRUE(doc);
    const std::string html = doc->topicHtml("first");
    EXPECT_EQ(html, "<h2>The first topic</h2>\n"
                    "<p>Line one of a paragraph continues here with <a href=\"topic:second\">Second</a> and "
                    "<a href=\"topic:third\">the third</a>.</p>\n"
                    "<ul>\n"
                    "<li>item with <b>bold</b> text</li>\n"
                    "<li>item with a &lt;tag&gt; &amp; {not a link}</li>\n"
                    "</ul>\n"
                    "<pre>preformatted &lt;b&gt; {kept}\nsecond line</pre>\n"
                    "<h3>Sub heading</h3>\n"
                    "<p>See <a href=\"http://www.example.com/\">the example</a>.</p>\n");
    EXPECT_EQ(doc->topicHtml("nothing"), "");
}

TEST(HelpFile, ReadsADamagedFileAndListsWhatIsWrong) {
    auto doc = HelpDocument::parse("@help Broken\n"
                                   "stray text\n"
                                   "@contents\n"
                                   "*** too deep | a\n"
                                   "* Lost | nowhere\n"
                                   "no stars\n"
                                   "@topic a A\n"
                                   "@keywords k\n"
                                   "{gone|a link to nothing}\n"
                                   "@bogus\n"
                                   "@topic a Again\n"
                                   "@keywords k\n"
                                   "@topic b B\n");
    ASSERT_TRUE(doc);
    std::set<std::string> problems(doc->problems().begin(), doc->problems().end());
    EXPECT_TRUE(problems.count("line 2: text outside any topic"));
    EXPECT_TRUE(problems.count("line 4: a contents entry more than one level below the one before"));
    EXPECT_TRUE(problems.count("line 6: a contents entry begins with \"*\""));
    EXPECT_TRUE(problems.count("line 10: unknown directive @bogus"));
    EXPECT_TRUE(problems.count("line 11: topic a is given twice"));
    EXPECT_TRUE(problems.count("contents entry \"Lost\" opens the missing topic nowhere"));
    EXPECT_TRUE(problems.count("topic a links to the missing topic gone"));
    EXPECT_TRUE(problems.count("topic b has no keyword"));
    EXPECT_EQ(doc->problems().size(), 8u);
    // What could be read is still there.
    EXPECT_EQ(doc->topics().size(), 3u);
    EXPECT_EQ(doc->index().size(), 1u);

    // Only a file that begins with the mark is a help file.
    EXPECT_FALSE(HelpDocument::parse(""));
    EXPECT_FALSE(HelpDocument::parse("@helpless\n"));
    EXPECT_FALSE(HelpDocument::parse("# comment\n@help Late\n"));
    EXPECT_TRUE(HelpDocument::parse("\xEF\xBB\xBF@help"));
    EXPECT_FALSE(HelpDocument::load("/nonexistent/Larkspan.hlp"));
    EXPECT_FALSE(HelpDocument::load("/"));
}

// The help file shipped with the program: well formed, every topic reachable from the
// contents, and the subjects users look for present in the index.
TEST(HelpFile, ShippedHelpFileIsCompleteAndConsistent) {
    auto doc = HelpDocument::load(LARKSPAN_SOURCE_DIR "/help/Larkspan.hlp");
    ASSERT_TRUE(doc);
    EXPECT_EQ(doc->title(), "Larkspan Help");
    for (const std::string& p : doc->problems())
        ADD_FAILURE() << p;

    std::set<std::string> inContents;
    for (const HelpContentsEntry& e : doc->contents())
        if (!e.topic.empty()) inContents.insert(e.topic);
    for (const HelpTopic& t : doc->topics()) {
        EXPECT_TRUE(inContents.count(t.id)) << t.id << " is not in the contents";
        EXPECT_GT(doc->topicHtml(t.id).size(), 200u) << t.id << " says almost nothing";
    }

    const std::vector<std::string> keywords = keywordsOf(*doc);
    auto indexed = [&](const std::string& keyword) {
        return std::find(keywords.begin(), keywords.end(), keyword) != keywords.end();
    };
    for (const char* k : {"Select URL to Edit",
                          "Create/Edit URL Information",
                          "Prepare Submission List",
                          "Track Progress",
                          "Options",
                          "Go!",
                          "Pause",
                          "Stop",
                          "Save to CSV",
                          "Save as XLS",
                          "Save to HTML",
                          "Save to ASCII",
                          "Save to DOC",
                          "Append to MASTER.CSV",
                          "Send",
                          "Find First",
                          "Find Next",
                          "Print",
                          "Print Preview",
                          "Print Setup",
                          "list",
                          "requests",
                          "submit",
                          "--dir",
                          "--config",
                          "--proxy",
                          "--save",
                          "--help",
                          "--version",
                          "LARKSPAN_HOME",
                          "XDG_DATA_HOME",
                          "XDG_CONFIG_HOME",
                          "larkspan.ini",
                          "How to Use Help",
                          "About Larkspan",
                          "Please complete all fields!",
                          "Error sending mail"})
        EXPECT_TRUE(indexed(k)) << k << " is not in the index";
}
