#include "http/socket/SpillBuffer.h"

#include "platform/Error.h"
#include "platform/TemporaryFiles.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sstream>
#include <stdexcept>
#include <sys/mman.h>
#include <system_error>
#include <unistd.h>
#include <vector>

TSimpleThread::TSimpleThread(Routine routine, void* pointer, std::int64_t value)
    : thread_([routine, pointer, value] { routine(pointer, value); }) {}

TSimpleThread::~TSimpleThread() {
    if (thread_.joinable()) thread_.join();
}

namespace {

// The size the spill file is given when it is created.
constexpr off_t InitialFileSize = 1024;

[[noreturn]] void throwErrno(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

// Searches needle in [begin, end) whatever bytes the range holds; returns the offset or -1.
std::int64_t search(const char* begin, std::int64_t length, std::string_view needle) {
    if (length < static_cast<std::int64_t>(needle.size())) return -1;
    if (needle.size() == 1) {
        const void* hit = std::memchr(begin, needle[0], static_cast<std::size_t>(length));
        return hit ? static_cast<const char*>(hit) - begin : -1;
    }
    const void* hit = ::memmem(begin, static_cast<std::size_t>(length), needle.data(), needle.size());
    return hit ? static_cast<const char*>(hit) - begin : -1;
}

} // namespace

TSpillBuffer::TSpillBuffer() : TSpillBuffer(capacityFor(freeMemory())) {}

TSpillBuffer::TSpillBuffer(std::int64_t capacity) : capacity_(std::max(capacity, MinimumCapacity)) {
    initialise();
}

TSpillBuffer::~TSpillBuffer() {
    try {
        release();
    } catch (...) {
        // A refill that failed has nothing left to report to once the buffer is gone.
    }
}

std::int64_t TSpillBuffer::capacityFor(std::uint64_t freeBytes) {
    const auto fivePercent = static_cast<std::int64_t>(freeBytes / 20);
    const std::int64_t wholeKiB = fivePercent - fivePercent % 1024;
    return std::max(wholeKiB, MinimumCapacity);
}

std::uint64_t TSpillBuffer::freeMemory() {
    return availableMemory();
}

void TSpillBuffer::initialise() {
    auto [fd, name] = createTemporaryFile("Buf");
    if (::ftruncate(fd, InitialFileSize) != 0) {
        const int error = errno;
        ::close(fd);
        ::unlink(name.c_str());
        throw std::system_error(error, std::generic_category(), "ftruncate " + name);
    }
    // Anonymous pages cost nothing until they are written, so even a memory part of a few
    // hundred megabytes is free for the responses that never fill it. The mapping comes zeroed,
    // which also puts the zero byte after the block.
    void* block = ::mmap(nullptr, static_cast<std::size_t>(capacity_ + 1), PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (block == MAP_FAILED) {
        ::close(fd);
        ::unlink(name.c_str());
        throw std::bad_alloc();
    }
    fd_ = fd;
    fileName_ = std::move(name);
    fileCount_ = fileWritePos_ = fileReadPos_ = totalCount_ = 0;
    memory_ = static_cast<char*>(block);
    memoryCount_ = memoryWritePos_ = memoryReadPos_ = 0;
    refilling_.store(false, std::memory_order_relaxed);
}

void TSpillBuffer::release() {
    // The worker owns the file and the block while it runs, so it has to finish first; its
    // error, if any, is still reported after everything has been released.
    std::exception_ptr error;
    try {
        waitForRefill();
    } catch (...) {
        error = std::current_exception();
    }
    if (fd_ >= 0) {
        ::close(fd_);
        ::unlink(fileName_.c_str());
        fd_ = -1;
    }
    if (memory_) {
        ::munmap(memory_, static_cast<std::size_t>(capacity_ + 1));
        memory_ = nullptr;
    }
    fileCount_ = fileWritePos_ = fileReadPos_ = totalCount_ = 0;
    memoryCount_ = memoryWritePos_ = memoryReadPos_ = 0;
    if (error) std::rethrow_exception(error);
}

void TSpillBuffer::Clear() {
    // Every connection starts with a Clear, so it reuses what it can: making a new spill file
    // and a new mapping took about half the time of a small request. What the last
    // connection left behind is still dropped: the file's bytes, and the memory pages beyond
    // the few that ordinary responses use again.
    try {
        waitForRefill();
    } catch (...) {
        // The failed refill was bringing back bytes that are being discarded now, so its
        // error no longer concerns anyone; the buffer itself is sound (the counters were
        // left as they were) and is emptied below.
    }
    fileCount_ = fileWritePos_ = fileReadPos_ = totalCount_ = 0;
    memoryCount_ = memoryWritePos_ = memoryReadPos_ = 0;
    if (memoryTouched_ > KeptResident) {
        // A huge response must not keep its pages resident until the buffer goes. MADV_DONTNEED
        // gives them back at once (MADV_FREE would leave them counted until the system runs
        // short of memory); the next write there gets fresh zero pages.
        const auto page = static_cast<std::int64_t>(::sysconf(_SC_PAGESIZE));
        const std::int64_t from = KeptResident / page * page;
        const std::int64_t to = std::min(memoryTouched_, capacity_ + 1);
        if (to > from) (void)::madvise(memory_ + from, static_cast<std::size_t>(to - from), MADV_DONTNEED);
    }
    memoryTouched_ = 0;
    if (fileDirty_) {
        // Cut to nothing first, so that not even the first KiB keeps bytes of the last
        // connection, then back to the size a new spill file has. Should this fail, the
        // buffer is still empty and the next Clear tries again.
        if (::ftruncate(fd_, 0) != 0 || ::ftruncate(fd_, InitialFileSize) != 0)
            throwErrno("truncate the spill file");
        fileDirty_ = false;
    }
}

void TSpillBuffer::waitForRefill() const {
    // The worker clears the flag and then notifies, so blocking on the flag wakes up the
    // moment the refill is done instead of sleeping through a fixed polling interval.
    while (refilling_.load(std::memory_order_acquire))
        refilling_.wait(true, std::memory_order_acquire);
    worker_.reset();
    if (refillError_) {
        std::exception_ptr error = refillError_;
        refillError_ = nullptr;
        std::rethrow_exception(error);
    }
}

void TSpillBuffer::refillRoutine(void* self, std::int64_t) {
    auto* buffer = static_cast<TSpillBuffer*>(self);
    try {
        buffer->refill();
    } catch (...) {
        buffer->refillError_ = std::current_exception();
    }
    buffer->refilling_.store(false, std::memory_order_release);
    buffer->refilling_.notify_all();
}

void TSpillBuffer::refill() {
    const std::int64_t r = std::min(fileCount_, capacity_);
    // Counters change only once the bytes are in memory, so a failed read loses nothing:
    // the bytes stay in the file part and Read takes them from there.
    readFile(memory_, r, fileReadPos_);
    memoryTouched_ = std::max(memoryTouched_, r);
    memoryCount_ = r;
    memoryWritePos_ = r;
    memoryReadPos_ = 0;
    fileCount_ -= r;
    if (fileCount_ <= 0) {
        fileWritePos_ = 0;
        fileReadPos_ = 0;
    } else {
        fileReadPos_ += r;
    }
}

void TSpillBuffer::writeFile(const char* p, std::int64_t n, std::int64_t offset) {
    fileDirty_ = true;
    std::int64_t done = 0;
    while (done < n) {
        const ssize_t w = ::pwrite(fd_, p + done, static_cast<std::size_t>(n - done), offset + done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            // Whatever reached the file before the failure stays counted, in order.
            fileCount_ += done;
            fileWritePos_ += done;
            totalCount_ += done;
            if (w == 0) errno = ENOSPC;
            throwErrno("write to the spill file");
        }
        done += w;
    }
    fileCount_ += n;
    fileWritePos_ += n;
    totalCount_ += n;
}

void TSpillBuffer::readFile(char* p, std::int64_t n, std::int64_t offset) const {
    std::int64_t done = 0;
    while (done < n) {
        const ssize_t r = ::pread(fd_, p + done, static_cast<std::size_t>(n - done), offset + done);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) throwErrno("read from the spill file");
        if (r == 0) {
            errno = EIO;
            throwErrno("spill file shorter than its contents");
        }
        done += r;
    }
}

std::int64_t TSpillBuffer::Write(const void* p, std::int64_t n) {
    waitForRefill();
    if (n < 1) return 0;
    if (!p) throw LarkspanError("Can't read the source buffer");
    const char* source = static_cast<const char*>(p);
    const std::int64_t k = std::min(n, capacity_ - memoryWritePos_);
    if (k > 0) {
        std::memcpy(memory_ + memoryWritePos_, source, static_cast<std::size_t>(k));
        memoryCount_ += k;
        memoryWritePos_ += k;
        totalCount_ += k;
        memoryTouched_ = std::max(memoryTouched_, memoryWritePos_);
    }
    if (k < n) writeFile(source + k, n - k, fileWritePos_);
    return n;
}

std::int64_t TSpillBuffer::copyOut(char* p, std::int64_t n) const {
    const std::int64_t k = std::min(n, memoryCount_);
    if (k > 0) std::memcpy(p, memory_ + memoryReadPos_, static_cast<std::size_t>(k));
    const std::int64_t rest = std::min(n - k, fileCount_);
    if (rest > 0) readFile(p + k, rest, fileReadPos_);
    return k + rest;
}

std::int64_t TSpillBuffer::Read(void* p, std::int64_t n) {
    waitForRefill();
    if (n <= 0 || totalCount_ <= 0) return 0;
    if (!p) throw LarkspanError("Can't write to the destination buffer");
    n = std::min(n, totalCount_);
    char* target = static_cast<char*>(p);
    const std::int64_t taken = copyOut(target, n);
    const std::int64_t fromMemory = std::min(taken, memoryCount_);
    const std::int64_t fromFile = taken - fromMemory;
    memoryCount_ -= fromMemory;
    memoryReadPos_ += fromMemory;
    fileCount_ -= fromFile;
    fileReadPos_ += fromFile;
    totalCount_ -= taken;
    if (fileCount_ == 0) {
        // An emptied file is reused from its start.
        fileWritePos_ = 0;
        fileReadPos_ = 0;
    }
    if (memoryCount_ == 0) {
        memoryWritePos_ = 0;
        memoryReadPos_ = 0;
        if (fileCount_ > 0) {
            refilling_.store(true, std::memory_order_release);
            worker_ = std::make_unique<TSimpleThread>(&TSpillBuffer::refillRoutine, this, 0);
        }
    }
    return taken;
}

std::int64_t TSpillBuffer::Peek(void* p, std::int64_t n) {
    waitForRefill();
    if (n < 1 || totalCount_ < 1) return 0;
    if (!p) throw LarkspanError("Can't write to the destination buffer");
    return copyOut(static_cast<char*>(p), std::min(n, totalCount_));
}

std::int64_t TSpillBuffer::FindDelimiter(std::string_view d) {
    const auto length = static_cast<std::int64_t>(d.size());
    waitForRefill();
    if (memoryCount_ < 1) return 0;
    if (totalCount_ < length || length > ScanWindow) return -1;
    if (length == 0) return 0;

    // The valid memory bytes are searched as bytes, not as text: a zero byte in a response
    // must not hide the line end after it.
    const std::int64_t inMemory = search(memory_ + memoryReadPos_, memoryCount_, d);
    if (inMemory >= 0) return inMemory + length;
    if (fileCount_ <= 0) return 0;

    std::vector<char> scratch(static_cast<std::size_t>(ScanWindow));
    // A match that starts in the memory part and ends in the file part.
    if (length > 1) {
        const std::int64_t tail = std::min(length - 1, memoryCount_);
        const std::int64_t head = std::min(length - 1, fileCount_);
        std::memcpy(scratch.data(), memory_ + memoryReadPos_ + memoryCount_ - tail,
                    static_cast<std::size_t>(tail));
        readFile(scratch.data() + tail, head, fileReadPos_);
        const std::int64_t hit = search(scratch.data(), tail + head, d);
        if (hit >= 0) return memoryCount_ + hit + length - tail;
    }
    // The file part, window by window; consecutive windows overlap by length - 1 bytes so that
    // a match across a window boundary is found too.
    std::int64_t start = 0;
    while (start < fileCount_) {
        const std::int64_t window = std::min(ScanWindow, fileCount_ - start);
        if (window < length) break;
        readFile(scratch.data(), window, fileReadPos_ + start);
        const std::int64_t hit = search(scratch.data(), window, d);
        if (hit >= 0) return memoryCount_ + start + hit + length;
        if (start + window >= fileCount_) break;
        start += window - (length - 1);
    }
    return 0;
}

std::int64_t TSpillBuffer::totalCount() const {
    // The worker never changes the total, so it can be read while a refill runs.
    return totalCount_;
}

std::int64_t TSpillBuffer::memoryCount() const {
    waitForRefill();
    return memoryCount_;
}

std::int64_t TSpillBuffer::fileCount() const {
    waitForRefill();
    return fileCount_;
}

void TSpillBuffer::checkInvariants() const {
    waitForRefill();
    auto fail = [this](const char* what) {
        std::ostringstream out;
        out << "TSpillBuffer invariant broken: " << what << " (total " << totalCount_ << ", capacity "
            << capacity_ << ", memory " << memoryCount_ << " at " << memoryReadPos_ << ".." << memoryWritePos_
            << ", file " << fileCount_ << " at " << fileReadPos_ << ".." << fileWritePos_ << ")";
        throw std::logic_error(out.str());
    };
    if (capacity_ < MinimumCapacity) fail("capacity below the minimum");
    if (!memory_ || fd_ < 0) fail("memory block or spill file missing");
    if (memory_[capacity_] != 0) fail("guard byte after the memory block is not zero");
    if (totalCount_ != memoryCount_ + fileCount_) fail("total differs from memory plus file");
    if (memoryCount_ < 0 || memoryReadPos_ < 0) fail("negative memory count or position");
    if (memoryReadPos_ + memoryCount_ != memoryWritePos_) fail("memory positions disagree with the count");
    if (memoryWritePos_ > capacity_) fail("memory write position beyond the capacity");
    if (fileCount_ < 0 || fileReadPos_ < 0) fail("negative file count or position");
    if (fileWritePos_ - fileReadPos_ != fileCount_) fail("file positions disagree with the count");
    if (fileCount_ > 0 && memoryWritePos_ != capacity_)
        fail("file holds bytes while the memory part has room");
    if (memoryCount_ == 0 && fileCount_ > 0) fail("memory part empty while the file holds bytes");
    if (memoryCount_ == 0 && (memoryReadPos_ != 0 || memoryWritePos_ != 0))
        fail("empty memory part not reset");
}
