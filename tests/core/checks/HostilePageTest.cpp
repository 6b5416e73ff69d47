// Pages made to exhaust the parser: each whole check runs in a child process of its own, whose
// peak memory must stay small and whose verdict must be the one given.
#include "core/checks/PageCheck.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace {

std::string repeated(std::string_view piece, std::size_t times) {
    std::string s;
    s.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i)
        s += piece;
    return s;
}

std::string numbered(std::string_view before, std::string_view after, std::size_t times) {
    std::string s;
    for (std::size_t i = 0; i < times; ++i)
        s += std::string(before) + std::to_string(i) + std::string(after);
    return s;
}

struct Hostile {
    const char* what;
    std::string body;
    Verdict verdict;
};

// The check of the page in a child limited to 2 GB of address space and 60 s of processor time
// (so that a fault does not take the machine with it); the verdict comes back as the exit status,
// 99 for an error other than the head that could not be read.
struct Outcome {
    int verdict = -1; // -1: the child died (signal, limit)
    long peakKilobytes = 0;
};

Outcome checkInChild(const std::string& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        const rlimit memory{2048ul << 20, 2048ul << 20};
        const rlimit cpu{60, 60};
        ::setrlimit(RLIMIT_AS, &memory);
        ::setrlimit(RLIMIT_CPU, &cpu);
        PageFetch f;
        f.url = f.finalUrl = "https://site.test/";
        f.hops = {{f.url, 200}};
        f.headers = {{"Content-Type", "text/html"}};
        f.body = body;
        const PageVerdict verdict = verdictFor(analysePage(f), Crawler::Googlebot);
        const bool unread = verdict.detail == PageCheck::HeadUnreadable;
        ::_exit(verdict.verdict != Verdict::Error || unread ? static_cast<int>(verdict.verdict) : 99);
    }
    int status = 0;
    rusage usage{};
    Outcome outcome;
    if (::wait4(pid, &status, 0, &usage) != pid) return outcome;
    if (WIFEXITED(status)) outcome.verdict = WEXITSTATUS(status);
    outcome.peakKilobytes = usage.ru_maxrss;
    return outcome;
}

TEST(HostilePage, EachCheckStaysWithinItsMemory) {
    const std::string meta = "<meta name=robots content=noindex>";
    const Hostile cases[] = {
        {"templates holding links", "<head>" + meta + repeated("<template><a>", 800), Verdict::Noindex},
        {"templates holding links, 1.9 MB", "<head>" + meta + repeated("<template><a>", 150'000),
         Verdict::Noindex},
        {"templates holding bold", "<head>" + meta + repeated("<template><b>", 800), Verdict::Noindex},
        {"bold then a body tag", "<head>" + meta + repeated("<template><b>", 800) + "<body>",
         Verdict::Noindex},
        {"formatting reopened at every level",
         "<head><template>" + repeated("<div>", 2700) + numbered("<b id=", ">", 2700) +
             repeated("</div>x", 2700),
         Verdict::Error},
        {"bold nested", repeated("<b>", 500'000), Verdict::Ok},
        {"bold nested after a body tag", "<head>" + meta + "<body>" + repeated("<b>", 500'000),
         Verdict::Noindex},
        {"bold with attributes", "<head>" + meta + numbered("<b id=", ">", 100'000), Verdict::Noindex},
        {"links with attributes", numbered("<a id=", "><p>x", 100'000), Verdict::Ok},
        {"2 MiB of NUL", std::string(2u << 20, '\0'), Verdict::Ok},
        {"divs nested", repeated("<div>", 400'000), Verdict::Ok},
        {"tables nested", "<head>" + repeated("<table><tr><td>", 100'000), Verdict::Ok},
        {"svg nested in the head", "<head>" + repeated("<svg>", 300'000), Verdict::Ok},
        {"one tag, many attributes", "<head>" + meta + "<meta " + numbered("a", "=x ", 200'000) + ">",
         Verdict::Error},
        {"text fostered out of nested tables",
         "<head>" + meta + "<template>" + repeated("<table>", 4000) + std::string(1u << 20, 'x'),
         Verdict::Noindex},
        {"formatting in nested tables",
         "<head>" + meta + "<template>" + repeated("<table><tr><td><b><i>", 1600) +
             repeated("</table>x", 1600),
         Verdict::Noindex},
        {"a huge comment", "<head><!--" + std::string(2u << 20, '-'), Verdict::Ok},
        {"a huge title", "<head><title>" + repeated("&amp;", 400'000), Verdict::Ok},
    };
    for (const Hostile& c : cases) {
        const Outcome outcome = checkInChild(c.body);
        EXPECT_EQ(outcome.verdict, static_cast<int>(c.verdict)) << c.what;
        EXPECT_LT(outcome.peakKilobytes, 250 * 1024) << c.what;
        std::printf("%-40s %6ld KiB\n", c.what, outcome.peakKilobytes);
    }
}

} // namespace
