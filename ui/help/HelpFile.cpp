#include "ui/help/HelpFile.h"

#include "platform/ReadFile.h"
#include "platform/Text.h"

#include <algorithm>
#include <functional>
#include <map>

namespace {

constexpr std::string_view HelpMark = "@help";

bool startsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

// Lines indented by two spaces are shown as they are, without markup.
bool isPreformatted(std::string_view line) {
    return startsWith(line, "  ");
}

bool isExternalAddress(std::string_view target) {
    return target.find("://") != std::string_view::npos || startsWith(target, "mailto:");
}

// The pieces of a line of topic text, as the inline markup splits it.
struct InlinePiece {
    enum Kind { Text, Bold, Link } kind = Text;
    std::string text;
    std::string target; // for a link
};

std::vector<InlinePiece> inlinePieces(std::string_view line) {
    std::vector<InlinePiece> pieces;
    std::string text;
    auto flush = [&] {
        if (!text.empty()) pieces.push_back({InlinePiece::Text, std::move(text), {}});
        text.clear();
    };
    for (std::size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (c == '\\' && i + 1 < line.size()) {
            text += line[++i];
        } else if (c == '*' && i + 1 < line.size() && line[i + 1] == '*') {
            flush();
            pieces.push_back({InlinePiece::Bold, {}, {}});
            ++i;
        } else if (c == '{') {
            auto close = line.find('}', i);
            if (close == std::string_view::npos) {
                text += c;
                continue;
            }
            flush();
            std::string_view inside = line.substr(i + 1, close - i - 1);
            auto bar = inside.find('|');
            InlinePiece link{InlinePiece::Link, {}, std::string(trimmed(inside.substr(0, bar)))};
            if (bar != std::string_view::npos) link.text = std::string(trimmed(inside.substr(bar + 1)));
            pieces.push_back(std::move(link));
            i = close;
        } else {
            text += c;
        }
    }
    flush();
    return pieces;
}

std::string inlineHtml(std::string_view line, const HelpDocument& doc) {
    std::string out;
    bool bold = false;
    for (const InlinePiece& p : inlinePieces(line)) {
        switch (p.kind) {
        case InlinePiece::Text:
            out += htmlEscape(p.text);
            break;
        case InlinePiece::Bold:
            out += bold ? "</b>" : "<b>";
            bold = !bold;
            break;
        case InlinePiece::Link: {
            std::string shown = p.text;
            std::string href = p.target;
            if (!isExternalAddress(p.target)) {
                const HelpTopic* t = doc.topic(p.target);
                if (shown.empty()) shown = t ? t->title : p.target;
                href = "topic:" + p.target;
            } else if (shown.empty()) {
                shown = p.target;
            }
            out += "<a href=\"" + htmlEscape(href) + "\">" + htmlEscape(shown) + "</a>";
            break;
        }
        }
    }
    if (bold) out += "</b>";
    return out;
}

std::string folded(std::string_view s) {
    return upperAscii(s);
}

// The first line, the help file's mark and the title after it; nothing for another file.
std::optional<std::string> documentTitle(std::string_view first) {
    if (!startsWith(first, HelpMark) || (first.size() > HelpMark.size() && first[HelpMark.size()] != ' '))
        return std::nullopt;
    return std::string(trimmed(first.substr(HelpMark.size())));
}

// "@name the rest": the directive and the rest without surrounding blanks.
std::pair<std::string_view, std::string_view> directiveParts(std::string_view line) {
    auto space = line.find(' ');
    return {line.substr(0, space),
            space == std::string_view::npos ? std::string_view() : trimmed(line.substr(space))};
}

// "@topic ID Title": the topic's id and title, either empty when missing.
HelpTopic topicHeading(std::string_view rest) {
    auto gap = rest.find(' ');
    HelpTopic topic;
    topic.id = std::string(rest.substr(0, gap));
    if (gap != std::string_view::npos) topic.title = std::string(trimmed(rest.substr(gap)));
    return topic;
}

// "@keywords one; two": the keywords between the semicolons, empty ones left out.
void addKeywords(std::string_view rest, std::vector<std::string>& keywords) {
    std::size_t start = 0;
    while (start <= rest.size()) {
        auto semicolon = rest.find(';', start);
        std::string_view keyword = trimmed(rest.substr(start, semicolon - start));
        if (!keyword.empty()) keywords.emplace_back(keyword);
        if (semicolon == std::string_view::npos) break;
        start = semicolon + 1;
    }
}

// "**Text|topic": the level is the number of stars; nothing when the line has none before its text.
std::optional<HelpContentsEntry> contentsEntry(std::string_view line) {
    std::size_t stars = line.find_first_not_of('*');
    if (stars == 0 || stars == std::string_view::npos) return std::nullopt;
    HelpContentsEntry entry;
    entry.level = static_cast<int>(stars);
    std::string_view body = line.substr(stars);
    auto bar = body.rfind('|');
    entry.text = std::string(trimmed(body.substr(0, bar)));
    if (bar != std::string_view::npos) entry.topic = std::string(trimmed(body.substr(bar + 1)));
    return entry;
}

} // namespace

std::optional<HelpDocument> HelpDocument::parse(std::string_view text) {
    if (startsWith(text, "\xEF\xBB\xBF")) text.remove_prefix(3);
    std::vector<std::string_view> lines = splitLines(text);
    std::optional<std::string> title = lines.empty() ? std::nullopt : documentTitle(lines.front());
    if (!title) return std::nullopt;

    HelpDocument doc;
    doc.title_ = std::move(*title);
    enum class Section { None, Contents, Topic } section = Section::None;
    for (std::size_t n = 1; n < lines.size(); ++n) {
        std::string_view line = lines[n];
        const std::string where = "line " + std::to_string(n + 1) + ": ";
        if (startsWith(line, "#")) continue;
        if (startsWith(line, "@")) {
            auto [directive, rest] = directiveParts(line);
            if (directive == "@contents") {
                section = Section::Contents;
            } else if (directive == "@topic") {
                HelpTopic topic = topicHeading(rest);
                if (topic.id.empty() || topic.title.empty())
                    doc.problems_.push_back(where + "a topic needs an id and a title");
                else if (doc.topic(topic.id))
                    doc.problems_.push_back(where + "topic " + topic.id + " is given twice");
                doc.topics_.push_back(std::move(topic));
                section = Section::Topic;
            } else if (directive == "@keywords" && section == Section::Topic) {
                addKeywords(rest, doc.topics_.back().keywords);
            } else {
                doc.problems_.push_back(where + "unknown directive " + std::string(directive));
            }
            continue;
        }
        switch (section) {
        case Section::None:
            if (!trimmed(line).empty()) doc.problems_.push_back(where + "text outside any topic");
            break;
        case Section::Contents: {
            if (trimmed(line).empty()) break;
            std::optional<HelpContentsEntry> entry = contentsEntry(line);
            if (!entry) {
                doc.problems_.push_back(where + "a contents entry begins with \"*\"");
                break;
            }
            int previous = doc.contents_.empty() ? 0 : doc.contents_.back().level;
            if (entry->level > previous + 1)
                doc.problems_.push_back(where + "a contents entry more than one level below the one before");
            doc.contents_.push_back(std::move(*entry));
            break;
        }
        case Section::Topic:
            doc.topics_.back().lines.emplace_back(line);
            break;
        }
    }
    doc.check();
    doc.buildIndex();
    return doc;
}

std::optional<HelpDocument> HelpDocument::load(const std::string& path) {
    const std::optional<std::string> content = readWholeFile(path);
    if (!content) return std::nullopt;
    return parse(*content);
}

const HelpTopic* HelpDocument::topic(std::string_view id) const {
    for (const HelpTopic& t : topics_)
        if (t.id == id) return &t;
    return nullptr;
}

void HelpDocument::check() {
    for (const HelpContentsEntry& e : contents_)
        if (!e.topic.empty() && !topic(e.topic))
            problems_.push_back("contents entry \"" + e.text + "\" opens the missing topic " + e.topic);
    for (const HelpTopic& t : topics_) {
        if (t.keywords.empty()) problems_.push_back("topic " + t.id + " has no keyword");
        for (const std::string& line : t.lines) {
            if (isPreformatted(line)) continue;
            for (const InlinePiece& p : inlinePieces(line))
                if (p.kind == InlinePiece::Link && !isExternalAddress(p.target) && !topic(p.target))
                    problems_.push_back("topic " + t.id + " links to the missing topic " + p.target);
        }
    }
}

void HelpDocument::buildIndex() {
    std::map<std::string, std::size_t> byKey;
    for (const HelpTopic& t : topics_) {
        for (const std::string& keyword : t.keywords) {
            auto [it, added] = byKey.emplace(folded(keyword), index_.size());
            if (added) index_.push_back({keyword, {}});
            std::vector<std::string>& ids = index_[it->second].topics;
            if (std::find(ids.begin(), ids.end(), t.id) == ids.end()) ids.push_back(t.id);
        }
    }
    std::stable_sort(index_.begin(), index_.end(), [](const HelpIndexEntry& a, const HelpIndexEntry& b) {
        return folded(a.keyword) < folded(b.keyword);
    });
}

int HelpDocument::findKeyword(std::string_view typed) const {
    if (index_.empty()) return -1;
    const std::string want = folded(trimmed(typed));
    for (std::size_t i = 0; i < index_.size(); ++i)
        if (startsWith(folded(index_[i].keyword), want)) return static_cast<int>(i);
    for (std::size_t i = 0; i < index_.size(); ++i)
        if (folded(index_[i].keyword).find(want) != std::string::npos) return static_cast<int>(i);
    return -1;
}

std::string HelpDocument::topicHtml(std::string_view id) const {
    const HelpTopic* t = topic(id);
    if (!t) return {};
    std::string out = "<h2>" + htmlEscape(t->title) + "</h2>\n";
    enum class Block { None, Paragraph, List, Preformatted } block = Block::None;
    auto close = [&] {
        static const char* const ends[] = {"", "</p>\n", "</ul>\n", "</pre>\n"};
        out += ends[static_cast<int>(block)];
        block = Block::None;
    };
    auto open = [&](Block wanted) {
        if (block == wanted) return false;
        close();
        static const char* const starts[] = {"", "<p>", "<ul>\n", "<pre>"};
        out += starts[static_cast<int>(wanted)];
        block = wanted;
        return true;
    };
    for (const std::string& line : t->lines) {
        std::string_view text = line;
        if (trimmed(text).empty()) {
            close();
        } else if (isPreformatted(text)) {
            if (!open(Block::Preformatted)) out += "\n";
            out += htmlEscape(text.substr(2));
        } else if (startsWith(text, "== ")) {
            close();
            out += "<h3>" + inlineHtml(trimmed(text.substr(3)), *this) + "</h3>\n";
        } else if (startsWith(text, "- ")) {
            open(Block::List);
            out += "<li>" + inlineHtml(trimmed(text.substr(2)), *this) + "</li>\n";
        } else {
            if (!open(Block::Paragraph)) out += " ";
            out += inlineHtml(trimmed(text), *this);
        }
    }
    close();
    return out;
}
