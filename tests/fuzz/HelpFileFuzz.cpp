// libFuzzer target: the help file reader.
//
// Any text may be handed to the help window as its file. It is read or refused without a
// fault; every keyword of the index leads to topics that exist; the keyword search answers
// with an entry of the index; and a topic's HTML holds only the markup the reader makes
// itself, every tag closed again, whatever the file says.

#include "ui/help/HelpFile.h"

#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace {

// The tags of the topic HTML must be the reader's own and balanced.
void checkMarkup(std::string_view html) {
    static const std::set<std::string_view> allowed = {"a", "b", "h2", "h3", "li", "p", "pre", "ul"};
    std::vector<std::string_view> open;
    for (std::size_t at = html.find('<'); at != std::string_view::npos; at = html.find('<', at + 1)) {
        const bool closing = at + 1 < html.size() && html[at + 1] == '/';
        const std::size_t start = at + (closing ? 2 : 1);
        std::size_t end = start;
        while (end < html.size() &&
               ((html[end] >= 'a' && html[end] <= 'z') || (html[end] >= '0' && html[end] <= '9')))
            ++end;
        const std::string_view name = html.substr(start, end - start);
        if (!allowed.count(name)) std::abort();
        if (html.find('>', end) == std::string_view::npos) std::abort();
        if (!closing) {
            open.push_back(name);
        } else {
            if (open.empty() || open.back() != name) std::abort();
            open.pop_back();
        }
    }
    if (!open.empty()) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::optional<HelpDocument> document = HelpDocument::parse(text);
    if (!document) return 0;
    const auto& index = document->index();
    for (const HelpIndexEntry& entry : index)
        for (const std::string& id : entry.topics)
            if (!document->topic(id)) std::abort();
    for (std::string_view typed : {std::string_view(), text.substr(0, 3), text.substr(size / 2, 2)}) {
        const int found = document->findKeyword(typed);
        if (found < -1 || found >= static_cast<int>(index.size())) std::abort();
    }
    for (const HelpTopic& topic : document->topics())
        checkMarkup(document->topicHtml(topic.id));
    return 0;
}
