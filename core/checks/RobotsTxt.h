#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// A site's robots.txt, parsed once and compiled, so that each decision afterwards costs about
// one walk along the path.
//
// The rules: lines end with LF, CR LF or CR; a UTF-8 byte order mark at the start is skipped;
// "#" starts a comment; a line without a colon is skipped; keys are compared ignoring case.
// One or more user-agent lines open a group and the allow and disallow lines after them are its
// rules; a user-agent line after a rule opens the next group. Rules before the first user-agent
// line belong to no group and are ignored. A crawler obeys the groups that name its product
// token (ignoring case, rules of several such groups merged), or else the groups of "*"; with
// neither, everything is allowed. bingbot without a group of its own obeys those of "msnbot",
// as Bing documents, before "*". Of the rules whose pattern matches the start of the path, the
// one with the longest pattern wins, and an allow rule wins a tie. A pattern's "*" matches any
// run of bytes and a "$" at its end anchors it at the end of the path. Paths and patterns are
// compared in one normalised form: percent-encoded unreserved characters decoded, the other
// escapes with upper-case hexadecimal digits, bytes that a URI cannot hold as they are (controls,
// space, non-ASCII, and "<", ">", '"', "\\", "^", "`", "{", "|", "}") percent-encoded.
// Only the first MaxBytes bytes of the file are read, and "/robots.txt" is always allowed.
class RobotsTxt {
public:
    static constexpr std::size_t MaxBytes = 500 * 1024;

    // An empty file: everything is allowed (as for a site without robots.txt).
    RobotsTxt();
    ~RobotsTxt();
    RobotsTxt(RobotsTxt&&) noexcept;
    RobotsTxt& operator=(RobotsTxt&&) noexcept;

    // The file's bytes, of which the first MaxBytes are read (a line that the limit cuts is
    // left out, so that a half rule cannot close or open more than the whole one would).
    static RobotsTxt parse(std::string_view bytes);
    // What a crawler assumes when robots.txt cannot be read because the server fails: nothing
    // but /robots.txt is allowed.
    static RobotsTxt disallowAll();

    // Whether the crawler of this product token ("Googlebot", "bingbot"; anything after the
    // token, such as "/2.1", is ignored) may fetch the path with its query ("/a/b?c=d").
    bool allows(std::string_view agentToken, std::string_view pathAndQuery) const;

    // What the parse kept: the groups, the rules in them, and whether the file was cut.
    std::size_t groupCount() const;
    std::size_t ruleCount() const;
    bool truncated() const;

    struct Compiled;

private:
    std::unique_ptr<Compiled> compiled_;
};

// The normalised form of a path (or pattern) in which robots.txt compares them: "%7e" becomes
// "~", "%2f" becomes "%2F", "é" becomes "%C3%A9".
std::string normaliseRobotsPath(std::string_view path);
