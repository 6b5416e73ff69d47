// libFuzzer target: arbitrary bytes as the answer to a URL inspection and as a property's list
// of sitemaps.
//
// The first byte chooses the reading, the status of the answer and its Retry-After. Whatever
// the bytes hold, the readers end with a result or a one-line sentence, never an exception, a
// crash or a hang; a result comes only from a 200, a pause lies within a day, and no count of
// a sitemap is negative.

#include "core/google/SitemapStatus.h"
#include "core/google/IndexStatusQuery.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

constexpr std::int64_t Now = 1'796'091'200;

void requireOneLine(const std::string& text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    const int statuses[] = {200, 200, 403, 429};
    const int status = statuses[data[0] % 4];
    if (data[0] & 0x80) {
        const SitemapStatusList list = readSitemapStatus(status, "OK", text, "sc-domain:example.com");
        if (list.ok() != (status == 200 && list.problem.empty())) std::abort();
        if (!list.ok() && !list.sitemaps.empty()) std::abort();
        requireOneLine(list.problem);
        for (const SitemapStatus& s : list.sitemaps) {
            if (s.path.empty() || s.errors < 0 || s.warnings < 0) std::abort();
            for (const SitemapContents& c : s.contents)
                if (c.submitted < 0 || c.indexed < 0) std::abort();
        }
        return 0;
    }
    const std::string retryAfter = data[0] & 0x40 ? "Tue, 01 Dec 2026 03:00:00 GMT" : "99999999";
    const InspectionAnswer a =
        readInspectionAnswer(status, "OK", retryAfter, text, "https://www.example.com/",
                             "sc-domain:example.com", Now, Now + 20'000);
    if ((a.outcome == InspectionOutcome::Result) != (status == 200 && a.problem.empty())) std::abort();
    if (a.outcome == InspectionOutcome::Result && a.result.unfamiliar.size() > 5) std::abort();
    if (a.outcome == InspectionOutcome::PropertyPaused && (a.retryAt < Now || a.retryAt > Now + 86400))
        std::abort();
    requireOneLine(a.problem);
    return 0;
}
