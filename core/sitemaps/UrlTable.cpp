#include "core/sitemaps/UrlTable.h"

#include "http/Url.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <stdexcept>

namespace {

// Large enough that the blocks' own bookkeeping is negligible, small enough that the last,
// partly used block wastes little.
constexpr std::size_t BlockSize = 1 << 20;

std::uint32_t hashOf(std::string_view url) {
    std::uint64_t h = std::hash<std::string_view>{}(url);
    return static_cast<std::uint32_t>(h ^ (h >> 32));
}

} // namespace

const char* UrlTable::store(std::string_view url) {
    if (url.size() > freeLeft_) {
        // A URL longer than a block gets a block of its own, so that blocks never waste more
        // than the tail a URL did not fit into.
        const std::size_t size = std::max(BlockSize, url.size());
        blocks_.push_back(std::make_unique<char[]>(size));
        blockBytes_ += size;
        free_ = blocks_.back().get();
        freeLeft_ = size;
    }
    char* at = free_;
    if (!url.empty()) std::memcpy(at, url.data(), url.size());
    free_ += url.size();
    freeLeft_ -= url.size();
    return at;
}

std::size_t UrlTable::slotOf(std::string_view url, std::uint32_t hash) const {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        const std::uint32_t held = slots_[slot];
        if (held == 0) return slot;
        const Entry& e = entries_[held - 1];
        if (e.hash == hash && std::string_view(e.text, e.length) == url) return slot;
    }
}

void UrlTable::grow() {
    const std::size_t size = slots_.empty() ? 1024 : slots_.size() * 2;
    slots_.assign(size, 0);
    const std::size_t mask = size - 1;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        std::size_t slot = entries_[i].hash & mask;
        while (slots_[slot] != 0)
            slot = (slot + 1) & mask;
        slots_[slot] = static_cast<std::uint32_t>(i + 1);
    }
}

std::pair<std::size_t, bool> UrlTable::insert(std::string_view url, std::int64_t value) {
    if (Url::isNormal(url)) return insertKey(url, value);
    return insertKey(urlKey(url), value);
}

std::optional<std::size_t> UrlTable::find(std::string_view url) const {
    if (Url::isNormal(url)) return findKey(url);
    return findKey(urlKey(url));
}

std::pair<std::size_t, bool> UrlTable::insertKey(std::string_view url, std::int64_t value) {
    if (url.size() > UINT32_MAX || entries_.size() >= UINT32_MAX - 1) throw std::length_error("UrlTable");
    // At most half the slots are used, which keeps the probe sequences short.
    if ((entries_.size() + 1) * 2 > slots_.size()) grow();
    const std::uint32_t hash = hashOf(url);
    const std::size_t slot = slotOf(url, hash);
    if (slots_[slot] != 0) return {slots_[slot] - 1, false};
    entries_.push_back({store(url), static_cast<std::uint32_t>(url.size()), hash, value});
    slots_[slot] = static_cast<std::uint32_t>(entries_.size());
    return {entries_.size() - 1, true};
}

std::optional<std::size_t> UrlTable::findKey(std::string_view url) const {
    if (slots_.empty()) return std::nullopt;
    const std::size_t slot = slotOf(url, hashOf(url));
    if (slots_[slot] == 0) return std::nullopt;
    return slots_[slot] - 1;
}

std::size_t UrlTable::memoryBytes() const {
    return blockBytes_ + entries_.capacity() * sizeof(Entry) + slots_.capacity() * sizeof(std::uint32_t) +
           blocks_.capacity() * sizeof(blocks_[0]);
}
