#include "http/socket/Stream.h"

#include "platform/Error.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

void TMemoryStream::seek(std::int64_t position) {
    position_ = std::clamp<std::int64_t>(position, 0, size());
}

std::int64_t TMemoryStream::read(void* p, std::int64_t n) {
    const std::int64_t k = std::clamp<std::int64_t>(size() - position_, 0, std::max<std::int64_t>(n, 0));
    if (k > 0) std::memcpy(p, data_.data() + position_, static_cast<std::size_t>(k));
    position_ += k;
    return k;
}

std::int64_t TMemoryStream::write(const void* p, std::int64_t n) {
    if (n <= 0) return 0;
    const auto at = static_cast<std::size_t>(position_);
    const auto count = static_cast<std::size_t>(n);
    if (at + count > data_.size()) data_.resize(at + count);
    std::memcpy(data_.data() + at, p, count);
    position_ += n;
    return n;
}

namespace {

[[noreturn]] void fail(const char* what, const std::string& name) {
    throw LarkspanError(std::string(what) + " \"" + name + "\". " + std::strerror(errno));
}

} // namespace

TFileStream::TFileStream(const std::string& name, Mode mode) : name_(name) {
    if (mode == Mode::Read) {
        fd_ = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) fail("Cannot open file", name);
    } else {
        fd_ = ::open(name.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd_ < 0) fail("Cannot create file", name);
    }
}

TFileStream::~TFileStream() {
    if (fd_ >= 0) ::close(fd_);
}

std::int64_t TFileStream::size() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return 0;
    return st.st_size;
}

void TFileStream::seek(std::int64_t position) {
    position_ = std::max<std::int64_t>(position, 0);
}

std::int64_t TFileStream::read(void* p, std::int64_t n) {
    std::int64_t done = 0;
    while (done < n) {
        const ssize_t r = ::pread(fd_, static_cast<char*>(p) + done, static_cast<std::size_t>(n - done),
                                  static_cast<off_t>(position_ + done));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) fail("Cannot read file", name_);
        if (r == 0) break;
        done += r;
    }
    position_ += done;
    return done;
}

std::int64_t TFileStream::write(const void* p, std::int64_t n) {
    std::int64_t done = 0;
    while (done < n) {
        const ssize_t r = ::pwrite(fd_, static_cast<const char*>(p) + done,
                                   static_cast<std::size_t>(n - done), static_cast<off_t>(position_ + done));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) fail("Cannot write file", name_);
        done += r;
    }
    position_ += done;
    return done;
}
