#pragma once

#include <optional>
#include <string>

// A test case file in the manner of curl's tests/data/testNNNN: sections in tags, each tag on a
// line of its own, the content being the lines in between, taken byte for byte.
//
//   <reply>
//   <data crlf="yes">
//   HTTP/1.0 200 OK
//   ...
//   </data>
//   </reply>
//
// Attributes: crlf="yes" turns every LF of the content into CR LF; nonewline="yes" drops the
// last line's newline. "%PORT" in any content is replaced by the port of the test's server.
class TestCaseFile {
public:
    static TestCaseFile load(const std::string& path);
    static TestCaseFile parse(std::string text);

    // The content of the first section with that tag inside the section of the parent tag
    // (or anywhere when parent is empty); nullopt when there is none.
    std::optional<std::string> section(const std::string& parent, const std::string& tag) const;
    // Like section, but "" when there is none, with surrounding whitespace trimmed.
    std::string value(const std::string& parent, const std::string& tag) const;

    void setPort(unsigned port) { port_ = port; }

private:
    std::string text_;
    unsigned port_ = 0;
};
