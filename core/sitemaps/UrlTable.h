#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

// A set of URLs in insertion order, each with one number beside it, built to hold a million
// entries in little memory: the bytes of all URLs live in a few large blocks, each entry is a
// view into them and its number, and lookups go through an open-addressing table of entry
// indices rather than a node per URL. A URL goes in as its key (urlKey of http/Url: nearly every
// URL of a sitemap is its own key, told by one look at its bytes), so that two spellings of one
// page are one entry, and everything after the table (the selection, the page checks, the POST
// bodies, the store's rows) names the page by the same text.
class UrlTable {
public:
    UrlTable() = default;
    UrlTable(UrlTable&&) noexcept = default;
    UrlTable& operator=(UrlTable&&) noexcept = default;
    UrlTable(const UrlTable&) = delete;
    UrlTable& operator=(const UrlTable&) = delete;

    // The entry of the URL's key, and whether it was added now (false: it was there already and
    // keeps its number).
    std::pair<std::size_t, bool> insert(std::string_view url, std::int64_t value);
    // The entry of the URL's key.
    std::optional<std::size_t> find(std::string_view url) const;

    std::size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    // The key of an entry.
    std::string_view url(std::size_t i) const { return {entries_[i].text, entries_[i].length}; }
    std::int64_t value(std::size_t i) const { return entries_[i].value; }
    void setValue(std::size_t i, std::int64_t value) { entries_[i].value = value; }

    // The bytes the table holds on the heap, as an estimate for reports and benchmarks.
    std::size_t memoryBytes() const;

private:
    struct Entry {
        const char* text;
        std::uint32_t length;
        std::uint32_t hash;
        std::int64_t value;
    };
    std::pair<std::size_t, bool> insertKey(std::string_view key, std::int64_t value);
    std::optional<std::size_t> findKey(std::string_view key) const;
    const char* store(std::string_view url);
    void grow();
    std::size_t slotOf(std::string_view url, std::uint32_t hash) const;

    std::vector<Entry> entries_;
    // Entry index + 1 per slot, 0 for a free slot; the size is a power of two.
    std::vector<std::uint32_t> slots_;
    std::vector<std::unique_ptr<char[]>> blocks_;
    std::size_t blockBytes_ = 0;
    char* free_ = nullptr;
    std::size_t freeLeft_ = 0;
};
