// Streams a gigabyte through TSpillBuffer and, as the peer, through a plain temporary file, in
// the same process, and prints the time of each and their ratio.
//
// The data goes in rounds: a round of 64 MiB is written in 64 KiB pieces and then read back in
// 64 KiB pieces, as a response is received and then captured. At the smallest memory part
// nearly all of a round spills to the file and comes back through refills; at the capacity the
// program would choose on this machine a round stays in memory when it fits.
//
// Usage: spill_bench [total MiB, default 1024]

#include "http/socket/SpillBuffer.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::int64_t Piece = 64 * 1024;
constexpr std::int64_t Round = 64 * 1024 * 1024;

using Clock = std::chrono::steady_clock;

struct Result {
    double seconds = 0;
    std::uint64_t checksum = 0;
};

std::uint64_t mix(std::uint64_t sum, const std::vector<char>& piece) {
    // Touches every 64th byte, enough to keep the reads honest without dominating the time.
    for (std::size_t i = 0; i < piece.size(); i += 64)
        sum = sum * 31 + static_cast<unsigned char>(piece[i]);
    return sum;
}

std::vector<char> makePiece(std::int64_t index) {
    std::vector<char> piece(Piece);
    for (std::size_t i = 0; i < piece.size(); ++i)
        piece[i] = static_cast<char>((i * 7 + index * 13) & 0xff);
    return piece;
}

Result throughBuffer(std::int64_t total, std::int64_t capacity) {
    TSpillBuffer buffer(capacity);
    std::vector<std::vector<char>> pieces;
    for (int i = 0; i < 16; ++i)
        pieces.push_back(makePiece(i));
    std::vector<char> in(Piece);
    Result result;
    const auto start = Clock::now();
    for (std::int64_t done = 0; done < total; done += Round) {
        for (std::int64_t at = 0; at < Round; at += Piece)
            buffer.Write(pieces[(at / Piece) % 16].data(), Piece);
        for (std::int64_t at = 0; at < Round; at += Piece) {
            if (buffer.Read(in.data(), Piece) != Piece) std::abort();
            result.checksum = mix(result.checksum, in);
        }
    }
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return result;
}

Result throughFile(std::int64_t total) {
    std::string dir = std::getenv("TMPDIR") && *std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp";
    std::string name = dir + "/BenchXXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd < 0) std::abort();
    std::vector<std::vector<char>> pieces;
    for (int i = 0; i < 16; ++i)
        pieces.push_back(makePiece(i));
    std::vector<char> in(Piece);
    Result result;
    const auto start = Clock::now();
    for (std::int64_t done = 0; done < total; done += Round) {
        for (std::int64_t at = 0; at < Round; at += Piece)
            if (::pwrite(fd, pieces[(at / Piece) % 16].data(), Piece, at) != Piece) std::abort();
        for (std::int64_t at = 0; at < Round; at += Piece) {
            if (::pread(fd, in.data(), Piece, at) != Piece) std::abort();
            result.checksum = mix(result.checksum, in);
        }
    }
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    ::close(fd);
    ::unlink(name.c_str());
    return result;
}

void report(const char* what, const Result& r, const Result& peer, std::int64_t total) {
    std::printf("%-34s %8.3f s %9.1f MiB/s   ratio to plain file %.2f\n", what, r.seconds,
                static_cast<double>(total) / (1 << 20) / r.seconds, r.seconds / peer.seconds);
}

} // namespace

int main(int argc, char** argv) {
    std::int64_t mib = argc > 1 ? std::atoll(argv[1]) : 1024;
    if (mib < 64) mib = 64;
    const std::int64_t total = (mib * 1024 * 1024 / Round) * Round;
    const std::int64_t large = TSpillBuffer::capacityFor(TSpillBuffer::freeMemory());

    std::printf("Streaming %lld MiB in rounds of %lld MiB, pieces of %lld KiB\n",
                static_cast<long long>(total >> 20), static_cast<long long>(Round >> 20),
                static_cast<long long>(Piece >> 10));
    const Result file = throughFile(total);
    const Result small = throughBuffer(total, TSpillBuffer::MinimumCapacity);
    const Result big = throughBuffer(total, large);
    if (small.checksum != file.checksum || big.checksum != file.checksum) {
        std::printf("checksums differ: the buffer changed the bytes\n");
        return 1;
    }
    report("plain temporary file (peer)", file, file, total);
    report("TSpillBuffer, 64 KiB memory part", small, file, total);
    const std::string label = "TSpillBuffer, " + std::to_string(large >> 20) + " MiB memory part";
    report(label.c_str(), big, file, total);
    return 0;
}
