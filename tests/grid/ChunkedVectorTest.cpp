#include "grid/ChunkedVector.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

namespace {

// Small chunks, so that a few hundred elements already span many of them and every move
// crosses, splits or empties chunks.
using Small = ChunkedVector<int, 4>;

std::vector<int> contents(const Small& v) {
    std::vector<int> out;
    for (int x : v)
        out.push_back(x);
    return out;
}

TEST(ChunkedVector, BehavesLikeAVectorUnderMovesGrowthAndShrinking) {
    Small chunked;
    std::vector<int> plain;
    std::mt19937 random(7);
    int next = 0;
    for (int step = 0; step < 4000; ++step) {
        const int what = static_cast<int>(random() % 10);
        if (what < 4 || plain.empty()) {
            chunked.push_back(next);
            plain.push_back(next++);
        } else if (what < 8) {
            // Moves an element towards the front, as the sort does with a new row.
            std::size_t from = random() % plain.size();
            std::size_t to = random() % (from + 1);
            chunked.move(from, to);
            std::rotate(plain.begin() + static_cast<long>(to), plain.begin() + static_cast<long>(from),
                        plain.begin() + static_cast<long>(from) + 1);
        } else if (what == 8) {
            std::size_t count = random() % (plain.size() + 3);
            chunked.resize(count);
            plain.resize(count);
        } else {
            std::size_t a = random() % plain.size(), b = random() % plain.size();
            std::swap(chunked[a], chunked[b]);
            std::swap(plain[a], plain[b]);
        }
        ASSERT_EQ(chunked.size(), plain.size()) << "step " << step;
        for (std::size_t i = 0; i < plain.size(); ++i)
            ASSERT_EQ(chunked[i], plain[i]) << "step " << step << " index " << i;
        ASSERT_EQ(contents(chunked), plain) << "step " << step;
    }
    chunked.clear();
    EXPECT_TRUE(chunked.empty());
    EXPECT_EQ(chunked.begin(), chunked.end());
}

TEST(ChunkedVector, MovedElementsStayThemselves) {
    // The table keeps pointers into rows; a move must hand over the row, not copy it.
    ChunkedVector<std::unique_ptr<int>, 2> rows;
    std::vector<int*> addresses;
    for (int i = 0; i < 9; ++i) {
        rows.push_back(std::make_unique<int>(i));
        addresses.push_back(rows[static_cast<std::size_t>(i)].get());
    }
    rows.move(8, 0);
    rows.move(5, 2);
    EXPECT_EQ(rows[0].get(), addresses[8]);
    EXPECT_EQ(rows[2].get(), addresses[4]);
    EXPECT_EQ(*rows[2], 4);
    EXPECT_EQ(*rows[8], 7);
}

} // namespace
