#pragma once

#include <gumbo.h>

#include <cstdint>
#include <memory>
#include <string_view>

// A parse of HTML from the network whose cost a small document cannot blow up. The tree builder
// clones formatting elements into every template and every level of a nesting that reopens
// them, so a head of 10 KB can ask for gigabytes; a tag with a hundred thousand attributes costs
// the square of that count in comparisons; every parse error is kept. Each parse here may hold
// at most MaxBytes of memory, keeps no errors, sees no tags whose attributes together cost more
// than MaxAttributeWork, and the parses of one document may use at most MaxSeconds of the
// thread's processor time. Past a bound the parse has no output: the document could not be read.
class HtmlBudget {
public:
    static constexpr std::size_t MaxBytes = 64u << 20;
    static constexpr std::uint64_t MaxAttributeWork = 1u << 22;
    static constexpr double MaxSeconds = 5.0;

    HtmlBudget();
    // Whether the thread's processor time since the budget was made is past MaxSeconds.
    bool timeIsUp() const;

private:
    double start_ = 0;
};

class BoundedHtml {
public:
    BoundedHtml(std::string_view html, const HtmlBudget& budget);
    ~BoundedHtml();
    BoundedHtml(const BoundedHtml&) = delete;
    BoundedHtml& operator=(const BoundedHtml&) = delete;

    // The parse's tree; null when the document went past a bound.
    const GumboOutput* output() const { return output_; }

    struct Arena;

private:
    std::unique_ptr<Arena> arena_;
    GumboOptions options_;
    GumboOutput* output_ = nullptr;
};

// What the attributes of the document's tags cost the parser: the sum over its tags of the
// square of their attribute count (each new attribute is compared with those before it). The
// scan reads every "<" with a letter after it as a tag, also in comments and scripts, so it
// counts no less than the parser does.
std::uint64_t attributeWork(std::string_view html);
