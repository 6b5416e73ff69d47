#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The help file format of this program: plain UTF-8 text, described in docs/shell.md.
//
//   @help Larkspan Help              first line: the format's mark and the file's title
//   # a comment                      anywhere, at the start of a line
//   @contents                        the table of contents, one entry a line:
//   * Getting started                  a book (a heading without a topic of its own)
//   ** Welcome | welcome               an entry: its text, "|", the topic it opens
//   @topic welcome Welcome           a topic: its id and title, then its text
//   @keywords profile; site profile  index keywords of the current topic, ";" between them
//
// Topic text: paragraphs separated by blank lines, "== " subheadings, "- " list items (one
// line each), lines indented by two spaces shown as they are, "**bold**", and links
// "{id|text}", "{id}" (the topic's title) or "{http://...|text}". A backslash makes the next
// character plain.

struct HelpContentsEntry {
    int level = 1;
    std::string text;
    // Empty for a book.
    std::string topic;
};

struct HelpTopic {
    std::string id;
    std::string title;
    std::vector<std::string> keywords;
    std::vector<std::string> lines;
};

struct HelpIndexEntry {
    std::string keyword;
    // Ids of the topics that list the keyword, in file order.
    std::vector<std::string> topics;
};

class HelpDocument {
public:
    // Nothing when the text does not begin with the "@help" line. Mistakes inside a help file
    // do not stop it from being read: they are listed by problems().
    static std::optional<HelpDocument> parse(std::string_view text);
    // Nothing when the file cannot be read or is not a help file.
    static std::optional<HelpDocument> load(const std::string& path);

    const std::string& title() const { return title_; }
    const std::vector<HelpContentsEntry>& contents() const { return contents_; }
    const std::vector<HelpTopic>& topics() const { return topics_; }
    const HelpTopic* topic(std::string_view id) const;

    // Every keyword once (keywords differing only in the case of a-z are one), sorted
    // ignoring that case.
    const std::vector<HelpIndexEntry>& index() const { return index_; }
    // The index entry that the index's search field selects for the typed text: the first
    // keyword that begins with it, else the first that contains it, ignoring the case of a-z;
    // the first keyword for an empty text; -1 when none fits.
    int findKeyword(std::string_view typed) const;

    // The topic as an HTML fragment for the viewer, with links to topics as "topic:ID"
    // anchors. Text is escaped, so the file cannot add markup of its own.
    std::string topicHtml(std::string_view id) const;

    // Lines the parser did not understand, contents entries and links that lead to no topic,
    // topics given twice, topics without a keyword.
    const std::vector<std::string>& problems() const { return problems_; }

private:
    void check();
    void buildIndex();

    std::string title_;
    std::vector<HelpContentsEntry> contents_;
    std::vector<HelpTopic> topics_;
    std::vector<HelpIndexEntry> index_;
    std::vector<std::string> problems_;
};
