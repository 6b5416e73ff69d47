#include "platform/LineFile.h"

#include "platform/Error.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace {

int openFile(const std::string& path, int flags) {
    int fd;
    do {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_APPEND | flags, 0600);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

} // namespace

LineFile::LineFile(const std::string& path) : fd_(openFile(path, O_TRUNC)), owned_(true), name_(path) {
    if (fd_ < 0) throw LarkspanError("Cannot create " + path + ": " + std::strerror(errno));
}

std::optional<LineFile> LineFile::createNew(const std::string& path) {
    const int fd = openFile(path, O_EXCL);
    if (fd < 0 && errno == EEXIST) return std::nullopt;
    if (fd < 0) throw LarkspanError("Cannot create " + path + ": " + std::strerror(errno));
    return LineFile(fd, Ownership::Owned, path);
}

LineFile LineFile::borrow(int fd, std::string name) {
    return LineFile(fd, Ownership::Borrowed, std::move(name));
}

LineFile::~LineFile() {
    close();
}

LineFile::LineFile(LineFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), owned_(other.owned_), name_(std::move(other.name_)) {}

LineFile& LineFile::operator=(LineFile&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
        owned_ = other.owned_;
        name_ = std::move(other.name_);
    }
    return *this;
}

void LineFile::close() noexcept {
    if (fd_ >= 0 && owned_) ::close(fd_);
    fd_ = -1;
}

void LineFile::writeLine(std::string_view line) {
    // One call takes a line of a regular file whole; the loop only matters when a signal or a
    // nearly full disk cuts a write short, and then finishes the line rather than leaving half.
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t written = ::write(fd_, line.data() + done, line.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            const int error = written < 0 ? errno : ENOSPC;
            cutBack(done);
            throw LarkspanError("Unable to write to " + name_ + ": " + std::strerror(error));
        }
        done += static_cast<std::size_t>(written);
    }
}

void LineFile::cutBack(std::size_t bytes) noexcept {
    // The file is appended to, so its offset is its end: the part of the line that went is the
    // last bytes. A descriptor that cannot be cut (a pipe) keeps what it took.
    if (bytes == 0) return;
    const off_t end = ::lseek(fd_, 0, SEEK_CUR);
    if (end >= static_cast<off_t>(bytes)) (void)::ftruncate(fd_, end - static_cast<off_t>(bytes));
}
