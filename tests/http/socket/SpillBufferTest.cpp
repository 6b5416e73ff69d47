#include "http/socket/SpillBuffer.h"

#include "platform/Error.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr std::int64_t Min = TSpillBuffer::MinimumCapacity;

std::string pattern(std::size_t n, unsigned seed) {
    std::string s(n, '\0');
    std::mt19937 random(seed);
    for (char& c : s)
        c = static_cast<char>('a' + random() % 26);
    return s;
}

std::int64_t write(TSpillBuffer& b, const std::string& s) {
    return b.Write(s.data(), static_cast<std::int64_t>(s.size()));
}

std::string read(TSpillBuffer& b, std::int64_t n) {
    std::string s(static_cast<std::size_t>(n), '\0');
    s.resize(static_cast<std::size_t>(b.Read(s.data(), n)));
    return s;
}

std::string peek(TSpillBuffer& b, std::int64_t n) {
    std::string s(static_cast<std::size_t>(n), '\0');
    s.resize(static_cast<std::size_t>(b.Peek(s.data(), n)));
    return s;
}

long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long kib = 0;
            status >> kib;
            return kib;
        }
        status.ignore(1 << 20, '\n');
    }
    return -1;
}

// Points TMPDIR at a directory of its own for the life of the test.
class TempDir {
public:
    TempDir() {
        char name[] = "/tmp/spilltestXXXXXX";
        path_ = ::mkdtemp(name);
        const char* old = std::getenv("TMPDIR");
        if (old) old_ = old, hadOld_ = true;
        ::setenv("TMPDIR", path_.c_str(), 1);
    }
    ~TempDir() {
        if (hadOld_)
            ::setenv("TMPDIR", old_.c_str(), 1);
        else
            ::unsetenv("TMPDIR");
        fs::remove_all(path_);
    }
    const std::string& path() const { return path_; }
    std::size_t entries() const {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(path_), fs::directory_iterator()));
    }

private:
    std::string path_;
    std::string old_;
    bool hadOld_ = false;
};

} // namespace

TEST(SpillBuffer, CapacityIsFivePercentOfFreeMemoryInWholeKiBAtLeast64KiB) {
    EXPECT_EQ(TSpillBuffer::capacityFor(1024 * 1024), 65536);
    EXPECT_EQ(TSpillBuffer::capacityFor(64ull * 1024 * 1024), 3354624);
    EXPECT_EQ(TSpillBuffer::capacityFor(0), 65536);
    EXPECT_EQ(TSpillBuffer::capacityFor(20ull * 65536 + 19), 65536);
    EXPECT_EQ(TSpillBuffer::capacityFor(20ull * 70 * 1024 + 20 * 1023), 70 * 1024);
    // Beyond 2^31 bytes the capacity must not wrap.
    EXPECT_EQ(TSpillBuffer::capacityFor(80ull << 30), 4ll << 30);

    const std::uint64_t free = TSpillBuffer::freeMemory();
    ASSERT_GT(free, 0u);
    TSpillBuffer buffer;
    EXPECT_EQ(buffer.capacity() % 1024, 0);
    EXPECT_GE(buffer.capacity(), Min);
    // Free memory moves a little between the two readings.
    EXPECT_NEAR(static_cast<double>(buffer.capacity()), static_cast<double>(TSpillBuffer::capacityFor(free)),
                static_cast<double>(free) * 0.01 + 2048);
}

TEST(SpillBuffer, LargeMemoryPartCostsNoResidentMemoryUntilUsed) {
    const long before = residentKiB();
    TSpillBuffer buffer(1ll << 30);
    const long after = residentKiB();
    ASSERT_GT(before, 0);
    EXPECT_LT(after - before, 16 * 1024) << "a 1 GiB memory part was paid for up front";
    const std::string data = pattern(4 << 20, 1);
    write(buffer, data);
    EXPECT_EQ(buffer.fileCount(), 0);
    EXPECT_EQ(read(buffer, static_cast<std::int64_t>(data.size())), data);
    buffer.checkInvariants();
}

TEST(SpillBuffer, ClearGivesBackThePagesOfAHugeResponse) {
    TSpillBuffer buffer(1ll << 30);
    const std::string data = pattern(64 << 20, 4);
    // Allocated and touched before the measurement, so that only the buffer's pages count.
    std::string out(data.size(), '\0');
    write(buffer, data);
    const long full = residentKiB();
    ASSERT_EQ(buffer.Read(out.data(), static_cast<std::int64_t>(out.size())),
              static_cast<std::int64_t>(out.size()));
    buffer.Clear();
    const long cleared = residentKiB();
    EXPECT_TRUE(out == data);
    EXPECT_GT(full - cleared, 48 * 1024) << "64 MiB of an emptied memory part stayed resident";

    // Writing into the pages given back works as before.
    const std::string again = pattern(8 << 20, 5);
    write(buffer, again);
    EXPECT_EQ(read(buffer, static_cast<std::int64_t>(again.size())), again);
    buffer.checkInvariants();
}

TEST(SpillBuffer, AFailedRefillIsReportedAndClearLeavesAWorkingBuffer) {
    // The spill file loses its bytes behind the buffer's back, so the refill that the Read
    // starts cannot read them back.
    auto breakRefill = [](TSpillBuffer& buffer) {
        write(buffer, pattern(Min + 1000, 6));
        ASSERT_EQ(::truncate(buffer.fileName().c_str(), 0), 0);
        std::string head(static_cast<std::size_t>(Min), '\0');
        ASSERT_EQ(buffer.Read(head.data(), Min), Min);
    };
    {
        TSpillBuffer buffer(Min);
        breakRefill(buffer);
        EXPECT_THROW(buffer.checkInvariants(), std::system_error);
        // The bytes stay counted in the file part; nothing was silently dropped.
        EXPECT_EQ(buffer.totalCount(), 1000);
    }
    // Clear discards the bytes the failed refill was for, so it has nothing to report, and
    // the buffer works as a new one.
    TSpillBuffer buffer(Min);
    breakRefill(buffer);
    EXPECT_NO_THROW(buffer.Clear());
    buffer.checkInvariants();
    const std::string fresh = pattern(Min + 500, 7);
    write(buffer, fresh);
    EXPECT_EQ(read(buffer, static_cast<std::int64_t>(fresh.size())), fresh);
    buffer.checkInvariants();
}

TEST(SpillBuffer, SpillFileLivesInTmpdirWithBufPrefixAndGoesWithTheBuffer) {
    TempDir dir;
    std::string first;
    {
        TSpillBuffer buffer(Min);
        first = buffer.fileName();
        EXPECT_EQ(fs::path(first).parent_path(), fs::path(dir.path()));
        EXPECT_EQ(fs::path(first).filename().string().rfind("Buf", 0), 0u) << first;
        ASSERT_TRUE(fs::exists(first));
        EXPECT_EQ(fs::file_size(first), 1024u);
        struct stat st {};
        ::stat(first.c_str(), &st);
        EXPECT_EQ(st.st_mode & 077, 0u) << "the spill file must be private to its owner";

        // Clear keeps the file but none of its bytes: a new connection must not be able to
        // read back, nor leave on disk, what the last one received.
        write(buffer, pattern(Min + 5000, 2));
        ASSERT_EQ(buffer.fileCount(), 5000);
        buffer.Clear();
        EXPECT_EQ(buffer.fileName(), first);
        ASSERT_TRUE(fs::exists(first));
        EXPECT_EQ(fs::file_size(first), 1024u);
        {
            std::ifstream in(first, std::ios::binary);
            const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            EXPECT_EQ(content, std::string(1024, '\0')) << "bytes of before survived Clear";
        }
        EXPECT_EQ(buffer.totalCount(), 0);
        EXPECT_EQ(buffer.FindDelimiter("\n"), 0);
        EXPECT_EQ(dir.entries(), 1u);
        buffer.checkInvariants();

        // The cleared buffer spills and refills as a new one does.
        const std::string fresh = pattern(Min + 300, 3);
        write(buffer, fresh);
        EXPECT_EQ(buffer.fileCount(), 300);
        EXPECT_EQ(read(buffer, static_cast<std::int64_t>(fresh.size())), fresh);
        buffer.checkInvariants();
    }
    EXPECT_FALSE(fs::exists(first));
    EXPECT_EQ(dir.entries(), 0u);
}

TEST(SpillBuffer, NoTemporaryFileIsAnError) {
    ::setenv("TMPDIR", "/nonexistent/directory/for/spill", 1);
    try {
        TSpillBuffer buffer(Min);
        ::unsetenv("TMPDIR");
        FAIL() << "constructed without a spill file";
    } catch (const LarkspanError& e) {
        ::unsetenv("TMPDIR");
        EXPECT_STREQ(e.what(), "Can't create a temporary file");
    }
}

TEST(SpillBuffer, OverflowGoesToTheFileAndComesBackByRefill) {
    TSpillBuffer buffer(Min);
    const std::string data = pattern(Min + 10, 3);
    EXPECT_EQ(write(buffer, data), Min + 10);
    EXPECT_EQ(buffer.memoryCount(), Min);
    EXPECT_EQ(buffer.fileCount(), 10);
    buffer.checkInvariants();

    EXPECT_EQ(read(buffer, Min), data.substr(0, Min));
    // The refill has moved the ten bytes into memory and reset the file.
    EXPECT_EQ(buffer.memoryCount(), 10);
    EXPECT_EQ(buffer.fileCount(), 0);
    buffer.checkInvariants();

    // A byte written while the file is not empty goes behind it, even though the memory part
    // has room again after a partial read.
    const std::string more = pattern(2 * Min, 4);
    write(buffer, more);
    EXPECT_GT(buffer.fileCount(), 0);
    std::string expected = data.substr(Min) + more;
    EXPECT_EQ(read(buffer, 100), expected.substr(0, 100));
    write(buffer, "Z");
    buffer.checkInvariants();
    EXPECT_EQ(read(buffer, buffer.totalCount()), expected.substr(100) + "Z");
    EXPECT_EQ(buffer.totalCount(), 0);
    buffer.checkInvariants();
}

TEST(SpillBuffer, ReadAndPeekAcrossMemoryAndFile) {
    TSpillBuffer buffer(Min);
    const std::string data = pattern(3 * Min + 77, 5);
    write(buffer, data);
    EXPECT_EQ(peek(buffer, 2 * Min), data.substr(0, 2 * Min));
    EXPECT_EQ(buffer.totalCount(), static_cast<std::int64_t>(data.size()));
    EXPECT_EQ(read(buffer, 2 * Min), data.substr(0, 2 * Min));
    EXPECT_EQ(peek(buffer, 5), data.substr(2 * Min, 5));
    EXPECT_EQ(read(buffer, Min + 77), data.substr(2 * Min));
    EXPECT_EQ(read(buffer, 1), "");
    EXPECT_EQ(peek(buffer, 1), "");
    EXPECT_EQ(buffer.Write("x", 0), 0);
    EXPECT_EQ(buffer.Write("x", -3), 0);
    buffer.checkInvariants();
}

TEST(SpillBuffer, NullPointersAreRefusedWithTheirMessages) {
    TSpillBuffer buffer(Min);
    try {
        buffer.Write(nullptr, 3);
        FAIL();
    } catch (const LarkspanError& e) {
        EXPECT_STREQ(e.what(), "Can't read the source buffer");
    }
    write(buffer, "abc");
    for (int peekOnly = 0; peekOnly < 2; ++peekOnly) {
        try {
            peekOnly ? buffer.Peek(nullptr, 2) : buffer.Read(nullptr, 2);
            FAIL();
        } catch (const LarkspanError& e) {
            EXPECT_STREQ(e.what(), "Can't write to the destination buffer");
        }
    }
    EXPECT_EQ(read(buffer, 3), "abc");
}

TEST(SpillBuffer, FindDelimiterCountsThroughTheMatch) {
    TSpillBuffer buffer(Min);
    EXPECT_EQ(buffer.FindDelimiter("\n"), 0) << "empty buffer";
    write(buffer, "x");
    EXPECT_EQ(buffer.FindDelimiter("ab"), -1) << "fewer bytes than the delimiter";
    EXPECT_EQ(buffer.FindDelimiter(std::string(65536, 'x')), -1) << "delimiter too long";
    read(buffer, 1);
    write(buffer, "ab\ncd");
    EXPECT_EQ(buffer.FindDelimiter("\n"), 3);
    read(buffer, 3);
    write(buffer, "\r\n");
    EXPECT_EQ(buffer.FindDelimiter("\r\n"), 4);
    read(buffer, 4);
    write(buffer, "abcd");
    EXPECT_EQ(buffer.FindDelimiter("\n"), 0);

    // A zero byte is data like any other: it must not hide the line end behind it.
    read(buffer, 4);
    write(buffer, std::string("HTTP\0/1.0\r\n", 11));
    EXPECT_EQ(buffer.FindDelimiter("\n"), 11);
    EXPECT_EQ(buffer.FindDelimiter(std::string("\0/", 2)), 6);
    buffer.checkInvariants();
}

TEST(SpillBuffer, FindDelimiterSearchesTheJunctionAndTheFileWindows) {
    TSpillBuffer buffer(Min);
    // "\r\n" split between the last byte of the memory part and the first of the file.
    std::string data(Min - 1, 'a');
    data += "\r\n";
    write(buffer, data);
    ASSERT_EQ(buffer.fileCount(), 1);
    EXPECT_EQ(buffer.FindDelimiter("\r\n"), Min + 1);
    EXPECT_EQ(buffer.FindDelimiter("\n"), Min + 1);

    // Deep in the file, past the first scan window, and across a window boundary.
    buffer.Clear();
    std::string deep(Min + 200000, 'b');
    deep[Min + 150000] = '\n';
    write(buffer, deep);
    EXPECT_EQ(buffer.FindDelimiter("\n"), Min + 150001);
    buffer.Clear();
    std::string across(Min + 2 * 65535 + 10, 'c');
    const std::int64_t at = Min + 65535 - 1; // the last byte of the first file window
    across[static_cast<std::size_t>(at)] = 'X';
    across[static_cast<std::size_t>(at) + 1] = 'Y';
    across[static_cast<std::size_t>(at) + 2] = 'Z';
    write(buffer, across);
    EXPECT_EQ(buffer.FindDelimiter("XYZ"), at + 3);
    EXPECT_EQ(buffer.FindDelimiter("ZZZ"), 0);
    buffer.checkInvariants();
}

// Millions of mixed operations against a plain string queue, on the smallest memory part, so
// that writes spill and reads trigger refills all the time. LARKSPAN_SPILL_OPS sets the count.
TEST(SpillBuffer, BehavesLikeAPlainQueueUnderRandomOperations) {
    long operations = 1000000;
    if (const char* env = std::getenv("LARKSPAN_SPILL_OPS")) operations = std::atol(env);
    std::mt19937_64 random(20240601);
    auto below = [&](std::uint64_t n) { return static_cast<std::int64_t>(random() % n); };

    TSpillBuffer buffer(Min);
    std::string model; // the queue's bytes from modelHead on
    std::size_t modelHead = 0;
    const char alphabet[] = {'a', 'b', '\n', '\r', '\0', 'z'};
    const std::string delimiters[] = {"\n", "\r\n", "ab", std::string("\0\n", 2), "zzz"};
    bool filling = true;
    long spills = 0, refills = 0;
    std::string scratch;
    // Written bytes are cut from a long random text, which is much cheaper than drawing each.
    std::string source(1 << 20, '\0');
    for (char& c : source)
        c = alphabet[below(sizeof alphabet)];

    auto size = [&] { return static_cast<std::int64_t>(model.size() - modelHead); };
    auto randomLength = [&]() -> std::int64_t {
        const auto kind = below(100);
        if (kind < 70) return 1 + below(64);
        if (kind < 98) return 1 + below(4096);
        return 1 + below(2 * Min);
    };

    for (long i = 0; i < operations; ++i) {
        if (size() > 4 * Min) filling = false;
        if (size() == 0) filling = true;
        const auto op = below(100);
        const bool fileBefore = buffer.fileCount() > 0;
        if (op < (filling ? 45 : 20)) {
            std::int64_t n = randomLength();
            scratch.assign(source,
                           static_cast<std::size_t>(below(source.size() - static_cast<std::size_t>(n))),
                           static_cast<std::size_t>(n));
            ASSERT_EQ(buffer.Write(scratch.data(), n), n);
            model += scratch;
            spills += buffer.fileCount() > 0 && !fileBefore;
        } else if (op < 75) {
            const std::int64_t n = std::min(randomLength(), size());
            const std::int64_t memoryBefore = buffer.memoryCount();
            scratch.assign(static_cast<std::size_t>(n), '\x7f');
            ASSERT_EQ(buffer.Read(scratch.data(), n), n);
            refills += fileBefore && n >= memoryBefore && buffer.memoryCount() > 0;
            ASSERT_EQ(0, model.compare(modelHead, static_cast<std::size_t>(n), scratch)) << "operation " << i;
            modelHead += static_cast<std::size_t>(n);
        } else if (op < 88) {
            const std::int64_t n = std::min(randomLength(), size());
            scratch.assign(static_cast<std::size_t>(n), '\x7f');
            ASSERT_EQ(buffer.Peek(scratch.data(), n), n);
            ASSERT_EQ(0, model.compare(modelHead, static_cast<std::size_t>(n), scratch)) << "operation " << i;
        } else if (op < 99) {
            const std::string& d = delimiters[below(std::size(delimiters))];
            std::int64_t expected = 0;
            if (size() == 0)
                expected = 0;
            else if (size() < static_cast<std::int64_t>(d.size()))
                expected = -1;
            else {
                const auto hit = model.find(d, modelHead);
                expected =
                    hit == std::string::npos ? 0 : static_cast<std::int64_t>(hit - modelHead + d.size());
            }
            ASSERT_EQ(buffer.FindDelimiter(d), expected)
                << "operation " << i << " delimiter size " << d.size();
        } else if (below(20) == 0) {
            buffer.Clear();
            model.clear();
            modelHead = 0;
        }
        ASSERT_EQ(buffer.totalCount(), size());
        ASSERT_NO_THROW(buffer.checkInvariants()) << "operation " << i;
        if (modelHead > (1u << 20)) {
            model.erase(0, modelHead);
            modelHead = 0;
        }
    }
    // The run must actually have exercised the file part and the worker.
    EXPECT_GT(spills, operations / 1000);
    EXPECT_GT(refills, operations / 1000);
}
