#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

// A thread that runs one routine once, starting as soon as it is created. The owner joins it
// (by destroying it) once the routine has signalled that it is done, so no thread outlives
// the data it works on.
class TSimpleThread {
public:
    using Routine = void (*)(void* pointer, std::int64_t value);
    TSimpleThread(Routine routine, void* pointer, std::int64_t value);
    ~TSimpleThread();
    TSimpleThread(const TSimpleThread&) = delete;
    TSimpleThread& operator=(const TSimpleThread&) = delete;

private:
    std::thread thread_;
};

// First-in-first-out byte buffer that holds a response of any size without exhausting memory.
//
// The first bytes live in a memory block sized from the machine's free memory; everything
// beyond it goes to a temporary file ("Buf" prefix, in $TMPDIR or /tmp) that lives as long as
// the buffer. When the memory part has been read empty while the file still holds data, a
// worker thread copies the next block from the file back into memory; every other operation
// first waits for that worker, so callers see one ordered byte stream.
//
// Main thread only, except for the refill worker, which shares nothing but the `refilling`
// flag with it: while the flag is set the worker alone touches the memory part, the file and
// the counters.
//
// Counts are 64-bit so that a stream of more than 2 GiB neither wraps nor corrupts the order.
class TSpillBuffer {
public:
    // The smallest memory part; a capacity below it is raised to it.
    static constexpr std::int64_t MinimumCapacity = 65536;
    // Size of the scratch window through which FindDelimiter scans the file part; also the
    // longest delimiter it accepts.
    static constexpr std::int64_t ScanWindow = 65535;
    // Bytes at the start of the memory part that stay resident across Clear; the pages
    // written beyond them are given back. Ordinary responses, and a large one that the socket
    // client streams through the buffer a megabyte at a time, stay within them.
    static constexpr std::int64_t KeptResident = 2 << 20;

    // Memory part of 5 % of the free memory (MemAvailable), see capacityFor.
    TSpillBuffer();
    // Memory part of the given size (raised to MinimumCapacity), for tests and benchmarks.
    explicit TSpillBuffer(std::int64_t capacity);
    ~TSpillBuffer();
    TSpillBuffer(const TSpillBuffer&) = delete;
    TSpillBuffer& operator=(const TSpillBuffer&) = delete;

    // 5 % of freeBytes rounded down to whole KiB, never below MinimumCapacity.
    static std::int64_t capacityFor(std::uint64_t freeBytes);
    // The free physical memory of the machine: MemAvailable of /proc/meminfo, else sysinfo.
    static std::uint64_t freeMemory();

    // Appends n bytes; returns the count stored. Throws LarkspanError "Can't read the source
    // buffer" for a null source; file errors pass on as std::system_error.
    std::int64_t Write(const void* p, std::int64_t n);
    // Takes up to n bytes; returns the count taken. Throws LarkspanError "Can't write to the
    // destination buffer" for a null destination.
    std::int64_t Read(void* p, std::int64_t n);
    // Copies up to n bytes without taking them.
    std::int64_t Peek(void* p, std::int64_t n);
    // The count of bytes up to and including the first occurrence of d; 0 when d is not
    // buffered (or the buffer is empty); -1 when fewer bytes than d has are buffered or d is
    // longer than ScanWindow. Every buffered byte is searched, zero bytes included.
    std::int64_t FindDelimiter(std::string_view d);
    // Empties the buffer. It keeps its mapping and its spill file, but the file is cut back to
    // its initial size (no bytes of before survive in it) and the memory pages written beyond
    // KeptResident are given back to the system.
    void Clear();

    // Bytes buffered in memory and file together.
    std::int64_t totalCount() const;
    std::int64_t capacity() const { return capacity_; }
    std::int64_t memoryCount() const;
    std::int64_t fileCount() const;
    const std::string& fileName() const { return fileName_; }

    // Throws std::logic_error naming the first broken invariant; waits for a refill first.
    void checkInvariants() const;

private:
    void initialise();
    void release();
    // Blocks while a refill runs and rethrows an error the worker met.
    void waitForRefill() const;
    static void refillRoutine(void* self, std::int64_t);
    void refill();
    void writeFile(const char* p, std::int64_t n, std::int64_t offset);
    void readFile(char* p, std::int64_t n, std::int64_t offset) const;
    std::int64_t copyOut(char* p, std::int64_t n) const;

    std::int64_t totalCount_ = 0;
    std::int64_t capacity_ = MinimumCapacity;
    char* memory_ = nullptr; // capacity_ + 1 bytes, mapped without touching the pages
    std::int64_t memoryCount_ = 0;
    std::int64_t memoryWritePos_ = 0;
    std::int64_t memoryReadPos_ = 0;
    // The end of the memory part's pages written since the last Clear.
    std::int64_t memoryTouched_ = 0;
    std::string fileName_;
    int fd_ = -1;
    std::int64_t fileCount_ = 0;
    std::int64_t fileWritePos_ = 0;
    std::int64_t fileReadPos_ = 0;
    // The spill file holds bytes written since the last Clear.
    bool fileDirty_ = false;
    // The only state the worker and the main thread share while a refill runs.
    mutable std::atomic<bool> refilling_ = false;
    // Set by the worker before it clears refilling_, read by the main thread after.
    mutable std::exception_ptr refillError_;
    mutable std::unique_ptr<TSimpleThread> worker_;
};
