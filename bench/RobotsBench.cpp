// 1,000,000 robots.txt decisions against a 500 KiB file, and as the peer a plain prefix scan
// over the same rules of the same crawler in the same process; prints the time of each and
// their ratio (the compiled rules should take at most three times the scan's time).
//
// The file has a large Googlebot group (literal prefixes, one rule in ten with "*" or "$") and
// fills the rest of its 500 KiB with groups of other crawlers, as big sites' files do. The paths
// are drawn from a pool in which about half fall under some rule.
//
// Usage: robots_bench [decisions, default 1000000]

#include "core/checks/RobotsTxt.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct PlainRule {
    std::string prefix;
    bool allow = false;
};

std::string sectionPath(std::mt19937& random) {
    static const char* const sections[] = {"shop",  "blog", "account", "search",
                                           "media", "api",  "docs",    "tags"};
    return "/" + std::string(sections[random() % 8]) + "/" + std::to_string(random() % 400) + "/";
}

// The file, and the Googlebot rules in it as the peer reads them: their literal prefixes.
std::string makeFile(std::vector<PlainRule>& googlebot) {
    std::mt19937 random(20261207);
    std::string file = "User-agent: Googlebot\n";
    for (int i = 0; i < 1000; ++i) {
        const bool allow = random() % 4 == 0;
        std::string pattern = sectionPath(random) + "item-" + std::to_string(random() % 1000);
        googlebot.push_back({pattern, allow});
        if (i % 10 == 3) pattern += "*.pdf";
        if (i % 10 == 7) pattern += "$";
        file += (allow ? "Allow: " : "Disallow: ") + pattern + "\n";
    }
    for (int line = 0;; ++line) {
        std::string next =
            line % 100 == 0 ? "\nUser-agent: otherbot" + std::to_string(line / 100) + "\n" : "";
        next += "Disallow: " + sectionPath(random) + "private-" + std::to_string(random() % 1000) + "\n";
        if (file.size() + next.size() > RobotsTxt::MaxBytes) return file;
        file += next;
    }
}

std::vector<std::string> makePaths(const std::vector<PlainRule>& rules) {
    std::mt19937 random(42);
    std::vector<std::string> paths;
    for (int i = 0; i < 10000; ++i) {
        if (i % 2 == 0)
            paths.push_back(rules[random() % rules.size()].prefix + "/page-" + std::to_string(i) + ".html");
        else
            paths.push_back(sectionPath(random) + "item-" + std::to_string(random() % 1000) +
                            "x?q=" + std::to_string(i));
    }
    return paths;
}

bool plainScan(const std::vector<PlainRule>& rules, std::string_view path) {
    std::size_t best = 0;
    bool found = false, allow = true;
    for (const PlainRule& rule : rules) {
        if (path.substr(0, rule.prefix.size()) != rule.prefix) continue;
        if (!found || rule.prefix.size() > best || (rule.prefix.size() == best && rule.allow)) {
            found = true;
            best = rule.prefix.size();
            allow = rule.allow;
        }
    }
    return allow;
}

template <typename Decide>
double timed(long decisions, const std::vector<std::string>& paths, long& allowed, Decide decide) {
    allowed = 0;
    const auto start = Clock::now();
    for (long i = 0; i < decisions; ++i)
        allowed += decide(paths[static_cast<std::size_t>(i) % paths.size()]) ? 1 : 0;
    return std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
    const long decisions = argc > 1 ? std::atol(argv[1]) : 1'000'000;
    std::vector<PlainRule> rules;
    const std::string file = makeFile(rules);
    const std::vector<std::string> paths = makePaths(rules);

    const auto parseStart = Clock::now();
    const RobotsTxt robots = RobotsTxt::parse(file);
    const double parseSeconds = std::chrono::duration<double>(Clock::now() - parseStart).count();

    long compiledAllowed = 0, scanAllowed = 0;
    const double compiled = timed(decisions, paths, compiledAllowed,
                                  [&](const std::string& path) { return robots.allows("Googlebot", path); });
    const double scan =
        timed(decisions, paths, scanAllowed, [&](const std::string& path) { return plainScan(rules, path); });

    std::printf("robots.txt: %zu bytes, %zu groups, %zu rules (%zu for Googlebot), parsed in %.1f ms\n",
                file.size(), robots.groupCount(), robots.ruleCount(), rules.size(), parseSeconds * 1000);
    std::printf("compiled rules: %ld decisions in %.3f s (%ld allowed)\n", decisions, compiled,
                compiledAllowed);
    std::printf("plain prefix scan: %ld decisions in %.3f s (%ld allowed)\n", decisions, scan, scanAllowed);
    std::printf("ratio compiled/scan: %.3f (target at most 3)\n", compiled / scan);
    return 0;
}
