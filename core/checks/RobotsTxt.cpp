#include "core/checks/RobotsTxt.h"

#include "http/Url.h"
#include "platform/Text.h"

#include <algorithm>
#include <limits>
#include <map>
#include <optional>

namespace {

constexpr std::uint32_t NoNode = std::numeric_limits<std::uint32_t>::max();

// The crawler's product token as robots.txt names it: the leading letters, "_" and "-", in
// lower case, so that "Googlebot/2.1" and "googlebot" are one crawler.
std::string productToken(std::string_view value) {
    std::string token;
    for (char c : value) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!letter && c != '_' && c != '-') break;
        token += lowerAscii(c);
    }
    return token;
}

// A pattern's rest after its literal prefix matched the path's start: "*" matches any run of
// bytes; an anchored pattern must end where the path ends. Greedy with one backtrack point, so
// that hostile patterns of many stars cost at most the product of the lengths.
bool globMatches(std::string_view pattern, std::string_view text, bool anchored) {
    std::size_t p = 0, t = 0, starP = std::string_view::npos, starT = 0;
    for (;;) {
        if (p == pattern.size()) {
            if (!anchored || t == text.size()) return true;
        } else if (pattern[p] == '*') {
            starP = p++;
            starT = t;
            continue;
        } else if (t < text.size() && pattern[p] == text[t]) {
            ++p;
            ++t;
            continue;
        }
        if (starP == std::string_view::npos || starT >= text.size()) return false;
        p = starP + 1;
        t = ++starT;
    }
}

struct RawRule {
    std::string pattern;
    bool allow = false;
};

struct RawGroup {
    std::vector<std::string> agents;
    std::vector<RawRule> rules;
    bool hasRuleLines = false;
};

// A rule as the decisions use it: the normalised pattern without its "$", its length for the
// longest-match comparison (the "$" counted), and where its literal prefix ends.
struct Rule {
    std::string pattern;
    std::size_t prefix = 0;
    std::uint32_t length = 0;
    bool anchored = false;
    bool allow = false;
};

} // namespace

std::string normaliseRobotsPath(std::string_view path) {
    return normalisePercentEncoding(path, LonePercent::Kept);
}

// The rules of one crawler, compiled into a trie of their literal prefixes. A node holds the
// best literal rule that ends there and the rules with "*" or "$" whose literal prefix ends
// there, longest first, so that a decision walks the path once and tests only the wildcard
// rules that could still beat the best match found so far.
class RuleSet {
public:
    explicit RuleSet(std::vector<Rule> rules);
    // The verdict of the longest matching rule: allowed (true), disallowed (false), or nothing.
    std::optional<bool> decide(std::string_view path) const;
    std::size_t size() const { return rules_.size(); }

private:
    struct Node {
        std::uint32_t firstEdge = 0;
        std::uint32_t edgeCount = 0;
        std::uint32_t firstWild = 0;
        std::uint32_t wildCount = 0;
        // -1: no literal rule ends here; 0: a disallow; 1: an allow (which wins the tie).
        int literal = -1;
    };
    struct Edge {
        unsigned char byte = 0;
        std::uint32_t child = 0;
    };
    std::uint32_t child(const Node& node, unsigned char byte) const;

    std::vector<Rule> rules_;
    std::vector<Node> nodes_;
    std::vector<Edge> edges_;
    std::vector<std::uint32_t> wild_;
};

RuleSet::RuleSet(std::vector<Rule> rules) : rules_(std::move(rules)) {
    // Longest first, allow before disallow: the first wildcard rule that matches at a node is
    // the best one of that node.
    std::stable_sort(rules_.begin(), rules_.end(), [](const Rule& a, const Rule& b) {
        return a.length != b.length ? a.length > b.length : a.allow > b.allow;
    });
    struct Building {
        std::map<unsigned char, std::uint32_t> children;
        std::vector<std::uint32_t> wild;
        int literal = -1;
    };
    std::vector<Building> building(1);
    for (std::uint32_t r = 0; r < rules_.size(); ++r) {
        const Rule& rule = rules_[r];
        std::uint32_t at = 0;
        for (std::size_t i = 0; i < rule.prefix; ++i) {
            const auto byte = static_cast<unsigned char>(rule.pattern[i]);
            auto found = building[at].children.find(byte);
            if (found == building[at].children.end()) {
                building.emplace_back();
                found = building[at].children.emplace(byte, building.size() - 1).first;
            }
            at = found->second;
        }
        if (rule.prefix == rule.pattern.size() && !rule.anchored)
            building[at].literal = std::max(building[at].literal, rule.allow ? 1 : 0);
        else
            building[at].wild.push_back(r);
    }
    nodes_.resize(building.size());
    for (std::size_t n = 0; n < building.size(); ++n) {
        Node& node = nodes_[n];
        node.literal = building[n].literal;
        node.firstEdge = static_cast<std::uint32_t>(edges_.size());
        node.edgeCount = static_cast<std::uint32_t>(building[n].children.size());
        for (const auto& [byte, to] : building[n].children)
            edges_.push_back({byte, to});
        node.firstWild = static_cast<std::uint32_t>(wild_.size());
        node.wildCount = static_cast<std::uint32_t>(building[n].wild.size());
        wild_.insert(wild_.end(), building[n].wild.begin(), building[n].wild.end());
    }
}

std::uint32_t RuleSet::child(const Node& node, unsigned char byte) const {
    const Edge* first = edges_.data() + node.firstEdge;
    const Edge* last = first + node.edgeCount;
    if (node.edgeCount <= 8) {
        for (const Edge* e = first; e != last; ++e)
            if (e->byte == byte) return e->child;
        return NoNode;
    }
    const Edge* e =
        std::lower_bound(first, last, byte, [](const Edge& x, unsigned char b) { return x.byte < b; });
    return e != last && e->byte == byte ? e->child : NoNode;
}

std::optional<bool> RuleSet::decide(std::string_view path) const {
    std::int64_t bestLength = -1;
    bool bestAllow = false;
    auto better = [&](std::int64_t length, bool allow) {
        return length > bestLength || (length == bestLength && allow && !bestAllow);
    };
    std::uint32_t at = 0;
    for (std::size_t depth = 0;; ++depth) {
        const Node& node = nodes_[at];
        if (node.literal >= 0 && better(static_cast<std::int64_t>(depth), node.literal == 1)) {
            bestLength = static_cast<std::int64_t>(depth);
            bestAllow = node.literal == 1;
        }
        for (std::uint32_t w = 0; w < node.wildCount; ++w) {
            const Rule& rule = rules_[wild_[node.firstWild + w]];
            if (!better(rule.length, rule.allow)) break;
            const std::string_view pattern(rule.pattern);
            if (globMatches(pattern.substr(depth), path.substr(depth), rule.anchored)) {
                bestLength = rule.length;
                bestAllow = rule.allow;
                break;
            }
        }
        if (depth == path.size()) break;
        at = child(node, static_cast<unsigned char>(path[depth]));
        if (at == NoNode) break;
    }
    if (bestLength < 0) return std::nullopt;
    return bestAllow;
}

struct RobotsTxt::Compiled {
    std::vector<RuleSet> sets;
    // Product token (lower case) to its rule set, sorted by token; "*" is one of them.
    std::vector<std::pair<std::string, std::size_t>> agents;
    std::size_t groups = 0;
    std::size_t rules = 0;
    bool truncated = false;
    bool disallowEverything = false;

    const RuleSet* setFor(const std::string& token) const {
        auto found =
            std::lower_bound(agents.begin(), agents.end(), token,
                             [](const auto& entry, const std::string& t) { return entry.first < t; });
        if (found == agents.end() || found->first != token) return nullptr;
        return &sets[found->second];
    }
};

namespace {

std::vector<RawGroup> readGroups(std::string_view text) {
    std::vector<RawGroup> groups;
    for (std::string_view line : splitLines(text)) {
        line = line.substr(0, line.find('#'));
        const auto colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        const std::string key = lowerAscii(trimmed(line.substr(0, colon)));
        const std::string_view value = trimmed(line.substr(colon + 1));
        if (key == "user-agent") {
            if (groups.empty() || groups.back().hasRuleLines) groups.emplace_back();
            if (!value.empty() && value.front() == '*')
                groups.back().agents.emplace_back("*");
            else if (std::string token = productToken(value); !token.empty())
                groups.back().agents.push_back(std::move(token));
        } else if ((key == "allow" || key == "disallow") && !groups.empty()) {
            groups.back().hasRuleLines = true;
            // An empty value matches nothing; a pattern must start at the path's "/" (or a "*").
            if (value.empty() || (value.front() != '/' && value.front() != '*')) continue;
            groups.back().rules.push_back({std::string(value), key == "allow"});
        }
    }
    return groups;
}

Rule compileRule(const RawRule& raw) {
    Rule rule;
    std::string_view pattern = raw.pattern;
    rule.anchored = pattern.size() > 1 && pattern.back() == '$';
    if (rule.anchored) pattern.remove_suffix(1);
    rule.pattern = normaliseRobotsPath(pattern);
    // Runs of stars match what one star matches, and collapsing them keeps matching linear.
    rule.pattern.erase(std::unique(rule.pattern.begin(), rule.pattern.end(),
                                   [](char a, char b) { return a == '*' && b == '*'; }),
                       rule.pattern.end());
    rule.prefix = std::min(rule.pattern.find('*'), rule.pattern.size());
    rule.length = static_cast<std::uint32_t>(rule.pattern.size() + (rule.anchored ? 1 : 0));
    rule.allow = raw.allow;
    return rule;
}

} // namespace

RobotsTxt::RobotsTxt() : compiled_(std::make_unique<Compiled>()) {}
RobotsTxt::~RobotsTxt() = default;
RobotsTxt::RobotsTxt(RobotsTxt&&) noexcept = default;
RobotsTxt& RobotsTxt::operator=(RobotsTxt&&) noexcept = default;

RobotsTxt RobotsTxt::parse(std::string_view bytes) {
    RobotsTxt robots;
    Compiled& c = *robots.compiled_;
    if (bytes.size() > MaxBytes) {
        c.truncated = true;
        bytes = bytes.substr(0, MaxBytes);
        const auto lastBreak = bytes.find_last_of("\r\n");
        bytes = bytes.substr(0, lastBreak == std::string_view::npos ? 0 : lastBreak + 1);
    }
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    const std::vector<RawGroup> groups = readGroups(bytes);
    c.groups = groups.size();

    // Every group of an agent adds its rules to that agent's set.
    std::map<std::string, std::vector<Rule>> byAgent;
    for (const RawGroup& group : groups) {
        c.rules += group.rules.size();
        for (const std::string& agent : group.agents) {
            std::vector<Rule>& rules = byAgent[agent];
            for (const RawRule& raw : group.rules)
                rules.push_back(compileRule(raw));
        }
    }
    for (auto& [agent, rules] : byAgent) {
        c.agents.emplace_back(agent, c.sets.size());
        c.sets.emplace_back(std::move(rules));
    }
    return robots;
}

RobotsTxt RobotsTxt::disallowAll() {
    RobotsTxt robots;
    robots.compiled_->disallowEverything = true;
    return robots;
}

bool RobotsTxt::allows(std::string_view agentToken, std::string_view pathAndQuery) const {
    if (pathAndQuery.empty()) pathAndQuery = "/";
    if (pathAndQuery.substr(0, pathAndQuery.find('?')) == "/robots.txt") return true;
    const Compiled& c = *compiled_;
    if (c.disallowEverything) return false;
    const std::string token = productToken(agentToken);
    const RuleSet* set = c.setFor(token);
    // Bing's crawler obeys the groups of its former name when none names it.
    if (!set && token == "bingbot") set = c.setFor("msnbot");
    if (!set) set = c.setFor("*");
    if (!set) return true;
    std::optional<bool> decision;
    if (isPlainUrlText(pathAndQuery))
        decision = set->decide(pathAndQuery);
    else
        decision = set->decide(normaliseRobotsPath(pathAndQuery));
    return decision.value_or(true);
}

std::size_t RobotsTxt::groupCount() const {
    return compiled_->groups;
}
std::size_t RobotsTxt::ruleCount() const {
    return compiled_->rules;
}
bool RobotsTxt::truncated() const {
    return compiled_->truncated;
}
