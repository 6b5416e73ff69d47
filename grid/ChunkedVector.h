#pragma once

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <utility>
#include <vector>

// A sequence with indexed access in which moving one element to another place stays cheap when
// the sequence is long. The elements live in chunks of at most MaxChunk elements, so a move
// shifts the elements of at most two chunks and the chunks' start offsets, never the whole
// sequence: a table of results that gets one row put in place after each submission would
// otherwise shift half of all its rows every time.
template <typename T, std::size_t MaxChunk = 512> class ChunkedVector {
public:
    template <bool Const> class Iterator {
    public:
        using Owner = std::conditional_t<Const, const ChunkedVector, ChunkedVector>;
        using iterator_category = std::forward_iterator_tag;
        using value_type = T;
        using difference_type = std::ptrdiff_t;
        using pointer = std::conditional_t<Const, const T*, T*>;
        using reference = std::conditional_t<Const, const T&, T&>;

        Iterator() = default;
        Iterator(Owner* owner, std::size_t chunk, std::size_t index)
            : owner_(owner), chunk_(chunk), index_(index) {}
        reference operator*() const { return owner_->chunks_[chunk_][index_]; }
        pointer operator->() const { return &**this; }
        Iterator& operator++() {
            if (++index_ == owner_->chunks_[chunk_].size()) {
                ++chunk_;
                index_ = 0;
            }
            return *this;
        }
        Iterator operator++(int) {
            Iterator old = *this;
            ++*this;
            return old;
        }
        bool operator==(const Iterator& other) const {
            return chunk_ == other.chunk_ && index_ == other.index_;
        }

    private:
        Owner* owner_ = nullptr;
        std::size_t chunk_ = 0;
        std::size_t index_ = 0;
    };
    using iterator = Iterator<false>;
    using const_iterator = Iterator<true>;

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

    T& operator[](std::size_t i) {
        auto [c, k] = locate(i);
        return chunks_[c][k];
    }
    const T& operator[](std::size_t i) const {
        auto [c, k] = locate(i);
        return chunks_[c][k];
    }

    iterator begin() { return {this, 0, 0}; }
    iterator end() { return {this, chunks_.size(), 0}; }
    const_iterator begin() const { return {this, 0, 0}; }
    const_iterator end() const { return {this, chunks_.size(), 0}; }

    // Kept so that code written for a vector reads the same; chunks grow on their own.
    void reserve(std::size_t) {}

    void push_back(T value) {
        if (chunks_.empty() || chunks_.back().size() >= MaxChunk) {
            chunks_.emplace_back();
            chunks_.back().reserve(MaxChunk);
            starts_.push_back(size_);
        }
        chunks_.back().push_back(std::move(value));
        ++size_;
    }

    // Shrinks by dropping elements from the end, or grows by appending default values.
    void resize(std::size_t count) {
        while (size_ < count)
            push_back(T{});
        while (size_ > count) {
            std::size_t drop = std::min(size_ - count, chunks_.back().size());
            chunks_.back().resize(chunks_.back().size() - drop);
            size_ -= drop;
            if (chunks_.back().empty()) {
                chunks_.pop_back();
                starts_.pop_back();
            }
        }
    }

    void clear() { resize(0); }

    // Moves the element at from to the position to, shifting the elements in between by one,
    // as std::rotate of the range between them by one place would.
    void move(std::size_t from, std::size_t to) {
        if (from == to) return;
        T value = std::move((*this)[from]);
        erase(from);
        insert(to, std::move(value));
    }

    // Removes the element at i; the later elements move up by one.
    void erase(std::size_t i) {
        auto [c, k] = locate(i);
        chunks_[c].erase(chunks_[c].begin() + static_cast<std::ptrdiff_t>(k));
        --size_;
        for (std::size_t n = c + 1; n < starts_.size(); ++n)
            --starts_[n];
        if (chunks_[c].empty()) {
            chunks_.erase(chunks_.begin() + static_cast<std::ptrdiff_t>(c));
            starts_.erase(starts_.begin() + static_cast<std::ptrdiff_t>(c));
        }
    }

private:
    // The chunk holding index i, and the index within it. Chunks are never empty, so their
    // start offsets rise strictly.
    std::pair<std::size_t, std::size_t> locate(std::size_t i) const {
        if (starts_.size() == 1) return {0, i};
        auto after = std::upper_bound(starts_.begin(), starts_.end(), i);
        std::size_t c = static_cast<std::size_t>(after - starts_.begin()) - 1;
        return {c, i - starts_[c]};
    }

    void insert(std::size_t i, T value) {
        if (i == size_) {
            push_back(std::move(value));
            return;
        }
        auto [c, k] = locate(i);
        auto& chunk = chunks_[c];
        chunk.insert(chunk.begin() + static_cast<std::ptrdiff_t>(k), std::move(value));
        ++size_;
        for (std::size_t n = c + 1; n < starts_.size(); ++n)
            ++starts_[n];
        if (chunk.size() > MaxChunk) {
            // Split in two halves, so that the next inserts here shift little again.
            const std::size_t half = chunk.size() / 2;
            std::vector<T> tail;
            tail.reserve(MaxChunk);
            std::move(chunk.begin() + static_cast<std::ptrdiff_t>(half), chunk.end(),
                      std::back_inserter(tail));
            chunk.resize(half);
            chunks_.insert(chunks_.begin() + static_cast<std::ptrdiff_t>(c + 1), std::move(tail));
            starts_.insert(starts_.begin() + static_cast<std::ptrdiff_t>(c + 1), starts_[c] + half);
        }
    }

    std::vector<std::vector<T>> chunks_;
    std::vector<std::size_t> starts_;
    std::size_t size_ = 0;
};
