#include "TestCaseFile.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

TestCaseFile TestCaseFile::load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::stringstream s;
    s << in.rdbuf();
    return parse(s.str());
}

TestCaseFile TestCaseFile::parse(std::string text) {
    TestCaseFile file;
    file.text_ = std::move(text);
    return file;
}

namespace {

std::string replaceAll(std::string s, const std::string& from, const std::string& to) {
    for (std::size_t pos = 0; (pos = s.find(from, pos)) != std::string::npos; pos += to.size())
        s.replace(pos, from.size(), to);
    return s;
}

// Finds "<tag" followed by ">" or a space, from pos within [pos, end).
std::size_t findOpen(const std::string& text, const std::string& tag, std::size_t pos, std::size_t end) {
    const std::string open = "<" + tag;
    while ((pos = text.find(open, pos)) != std::string::npos && pos < end) {
        char next = pos + open.size() < text.size() ? text[pos + open.size()] : '\0';
        if (next == '>' || next == ' ') return pos;
        pos += open.size();
    }
    return std::string::npos;
}

} // namespace

std::optional<std::string> TestCaseFile::section(const std::string& parent, const std::string& tag) const {
    std::size_t begin = 0, end = text_.size();
    if (!parent.empty()) {
        auto p = findOpen(text_, parent, 0, end);
        if (p == std::string::npos) return std::nullopt;
        auto close = text_.find("</" + parent + ">", p);
        begin = p;
        end = close == std::string::npos ? text_.size() : close;
    }
    auto open = findOpen(text_, tag, begin, end);
    if (open == std::string::npos) return std::nullopt;
    auto gt = text_.find('>', open);
    const std::string attributes = text_.substr(open, gt - open);
    std::size_t contentStart = gt + 1;
    if (contentStart < text_.size() && text_[contentStart] == '\n') ++contentStart;
    auto close = text_.find("</" + tag + ">", contentStart);
    if (close == std::string::npos || close > end) throw std::runtime_error("unclosed <" + tag + ">");
    std::string content = text_.substr(contentStart, close - contentStart);
    if (attributes.find("nonewline=\"yes\"") != std::string::npos && !content.empty() &&
        content.back() == '\n')
        content.pop_back();
    if (attributes.find("crlf=\"yes\"") != std::string::npos) content = replaceAll(content, "\n", "\r\n");
    return replaceAll(content, "%PORT", std::to_string(port_));
}

std::string TestCaseFile::value(const std::string& parent, const std::string& tag) const {
    auto s = section(parent, tag).value_or("");
    auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    auto last = s.find_last_not_of(" \t\r\n");
    return s.substr(first, last - first + 1);
}
