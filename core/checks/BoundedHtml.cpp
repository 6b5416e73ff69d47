#include "core/checks/BoundedHtml.h"

#include <csetjmp>
#include <cstddef>
#include <cstdlib>
#include <ctime>

// Every block the parser asks for carries a header that links it into the arena's ring, so
// that a parse that stops half-way (by a jump out of the allocator, past the parser's frames)
// leaves nothing behind: the arena frees what is left when the parse is destroyed.
struct BoundedHtml::Arena {
    struct alignas(std::max_align_t) Block {
        Block* prev;
        Block* next;
        std::size_t size;
    };
    Block ring{&ring, &ring, 0};
    std::size_t live = 0;
    unsigned calls = 0;
    const HtmlBudget* budget = nullptr;
    std::jmp_buf escape;

    ~Arena() {
        while (ring.next != &ring) {
            Block* block = ring.next;
            ring.next = block->next;
            std::free(block);
        }
    }
};

namespace {

using Block = BoundedHtml::Arena::Block;

double threadSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Called by the parser; past a bound it does not return but jumps back to where the parse began.
// Its frame and the parser's hold nothing that needs destroying.
void* allocate(void* userdata, std::size_t size) {
    auto* arena = static_cast<BoundedHtml::Arena*>(userdata);
    const bool timeIsUp = ++arena->calls % 4096 == 0 && arena->budget->timeIsUp();
    // live never passes MaxBytes, so the sum cannot overflow once size is below it.
    const bool tooMuch =
        size > HtmlBudget::MaxBytes || arena->live + sizeof(Block) + size > HtmlBudget::MaxBytes;
    if (timeIsUp || tooMuch) std::longjmp(arena->escape, 1);
    auto* block = static_cast<Block*>(std::malloc(sizeof(Block) + size));
    if (!block) std::longjmp(arena->escape, 1);
    block->size = size;
    block->prev = &arena->ring;
    block->next = arena->ring.next;
    arena->ring.next->prev = block;
    arena->ring.next = block;
    arena->live += sizeof(Block) + size;
    return block + 1;
}

void deallocate(void* userdata, void* pointer) {
    if (!pointer) return;
    auto* arena = static_cast<BoundedHtml::Arena*>(userdata);
    Block* block = static_cast<Block*>(pointer) - 1;
    block->prev->next = block->next;
    block->next->prev = block->prev;
    arena->live -= sizeof(Block) + block->size;
    std::free(block);
}

GumboOutput* parseInArena(const GumboOptions& options, BoundedHtml::Arena& arena, std::string_view html) {
    if (setjmp(arena.escape) != 0) return nullptr;
    return gumbo_parse_with_options(&options, html.data(), html.size());
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The number of attributes of the tag that starts at html[at] ("<" and a letter); at ends past it.
std::uint64_t countAttributes(std::string_view html, std::size_t& at) {
    const auto ends = [&](std::string_view stops) {
        while (at < html.size() && !isBlank(html[at]) && stops.find(html[at]) == std::string_view::npos)
            ++at;
    };
    const auto skipBlanks = [&] {
        while (at < html.size() && isBlank(html[at]))
            ++at;
    };
    ++at;
    ends("/>");
    std::uint64_t count = 0;
    while (at < html.size()) {
        while (at < html.size() && (isBlank(html[at]) || html[at] == '/'))
            ++at;
        if (at >= html.size() || html[at] == '>') break;
        ++count;
        ++at; // a name's first character may be "="
        ends("/>=");
        skipBlanks();
        if (at >= html.size() || html[at] != '=') continue;
        ++at;
        skipBlanks();
        if (at < html.size() && (html[at] == '"' || html[at] == '\'')) {
            const std::size_t close = html.find(html[at], at + 1);
            at = close == std::string_view::npos ? html.size() : close + 1;
        } else {
            ends(">");
        }
    }
    return count;
}

} // namespace

HtmlBudget::HtmlBudget() : start_(threadSeconds()) {}

bool HtmlBudget::timeIsUp() const {
    return threadSeconds() - start_ > MaxSeconds;
}

std::uint64_t attributeWork(std::string_view html) {
    std::uint64_t work = 0;
    for (std::size_t at = html.find('<'); at != std::string_view::npos; at = html.find('<', at)) {
        if (at + 1 < html.size() && isLetter(html[at + 1])) {
            const std::uint64_t count = countAttributes(html, at);
            work += count * count;
        } else {
            ++at;
        }
    }
    return work;
}

BoundedHtml::BoundedHtml(std::string_view html, const HtmlBudget& budget)
    : arena_(std::make_unique<Arena>()), options_(kGumboDefaultOptions) {
    if (attributeWork(html) > HtmlBudget::MaxAttributeWork) return;
    arena_->budget = &budget;
    options_.allocator = allocate;
    options_.deallocator = deallocate;
    options_.userdata = arena_.get();
    options_.max_errors = 0;
    output_ = parseInArena(options_, *arena_, html);
}

BoundedHtml::~BoundedHtml() {
    if (output_) gumbo_destroy_output(&options_, output_);
}
