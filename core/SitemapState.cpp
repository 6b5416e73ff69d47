#include "core/SitemapState.h"

#include "core/SitemapReader.h"
#include "platform/Error.h"
#include "platform/Text.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr std::string_view SnapshotHeader = "larkspan-state 1";

// Texts go into tab-separated lines; these escapes keep a tab or line break inside one.
void appendEscaped(std::string& out, std::string_view text) {
    if (text.find_first_of("\\\t\n\r") == std::string_view::npos)
        out += text;
    else
        out += backslashEscaped(text, "\t\n\r");
}

std::string unescape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
    }
    return out;
}

// The next tab-separated field of the line; the last field takes the rest.
std::string_view nextField(std::string_view& line, bool last = false) {
    if (last) return std::exchange(line, std::string_view());
    const auto tab = line.find('\t');
    std::string_view field = line.substr(0, tab);
    line = tab == std::string_view::npos ? std::string_view() : line.substr(tab + 1);
    return field;
}

std::optional<std::int64_t> parseTime(std::string_view text) {
    std::int64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::string directoryOf(const std::string& file) {
    const auto slash = file.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : file.substr(0, slash);
}

// Makes a rename or a new file in the directory durable.
void syncDirectory(const std::string& file) {
    const int fd = ::open(directoryOf(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

[[noreturn]] void unableToWrite(const std::string& file) {
    throw LarkspanError("Unable to write to " + file + ": " + std::strerror(errno));
}

void writeAll(int fd, std::string_view bytes, const std::string& file) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            const int error = errno;
            ::close(fd);
            errno = error;
            unableToWrite(file);
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

// Calls back with each whole line of the file (without its "\n"); a last line without one
// was cut off while it was written and is left out. False when the file does not exist.
template <typename Callback> bool forEachLine(const std::string& file, Callback&& callback) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return false;
        throw LarkspanError("The state file " + file + " cannot be read: " + std::strerror(errno));
    }
    std::string buffer;
    std::string chunk(1 << 20, '\0');
    while (true) {
        const ssize_t n = ::read(fd, chunk.data(), chunk.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            const int error = errno;
            ::close(fd);
            throw LarkspanError("The state file " + file + " cannot be read: " + std::strerror(error));
        }
        if (n == 0) break;
        buffer.append(chunk.data(), static_cast<std::size_t>(n));
        std::size_t start = 0;
        for (std::size_t end; (end = buffer.find('\n', start)) != std::string::npos; start = end + 1)
            callback(std::string_view(buffer).substr(start, end - start));
        buffer.erase(0, start);
    }
    ::close(fd);
    return true;
}

// Holds the profile's state lock for its lifetime: writers of the same state in other
// processes (the window and a headless run, say) take turns.
class StateLock {
public:
    explicit StateLock(const std::string& file) {
        fd_ = ::open((file + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        // Without a lock file (a directory that cannot be written) there is nothing to guard:
        // every write there fails anyway.
        if (fd_ >= 0)
            while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
            }
    }
    ~StateLock() {
        if (fd_ >= 0) ::close(fd_);
    }
    StateLock(const StateLock&) = delete;
    StateLock& operator=(const StateLock&) = delete;

private:
    int fd_ = -1;
};

// Which file a name stands for and in which version; a snapshot is only ever replaced whole.
std::string identityOf(const std::string& file) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) return {};
    return std::to_string(st.st_ino) + ":" + std::to_string(st.st_size) + ":" +
           std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
}

std::int64_t fileSize(const std::string& file) {
    struct stat st {};
    return ::stat(file.c_str(), &st) == 0 ? static_cast<std::int64_t>(st.st_size) : 0;
}

} // namespace

std::string SitemapState::fileName(const std::string& directory, const std::string& profileName) {
    if (directory.empty()) return profileName + ".state";
    return directory + (directory.back() == '/' ? "" : "/") + profileName + ".state";
}

SitemapState SitemapState::load(const std::string& directory, const std::string& profileName) {
    SitemapState state;
    state.file_ = fileName(directory, profileName);
    state.journal_ = state.file_ + ".journal";
    StateLock lock(state.file_);
    state.readSnapshot();
    if (state.replayJournal()) {
        state.journalKnown_ = fileSize(state.journal_);
        // What a run left in the journal becomes part of the snapshot, so the journal stays
        // short. Should the directory not be writable now, the journal simply stays.
        try {
            state.writeSnapshot();
        } catch (const LarkspanError&) {
        }
    }
    return state;
}

void SitemapState::readSnapshot() {
    Channel* current = nullptr;
    bool first = true;
    bool known = true;
    snapshotIdentity_ = identityOf(file_);
    forEachLine(file_, [&](std::string_view line) {
        if (first) {
            first = false;
            known = line == SnapshotHeader;
        }
        if (known) applySnapshotLine(line, current);
    });
    if (!known) throw LarkspanError("The state file " + file_ + " is not one this program wrote");
}

bool SitemapState::replayJournal() {
    return forEachLine(journal_, [&](std::string_view line) { applyJournalLine(line); });
}

SitemapState::Channel& SitemapState::channel(std::string_view name) {
    for (auto& c : channels_)
        if (c->name == name) return *c;
    channels_.push_back(std::make_unique<Channel>());
    channels_.back()->name = std::string(name);
    return *channels_.back();
}

const SitemapState::Channel* SitemapState::findChannel(std::string_view name) const {
    for (const auto& c : channels_)
        if (c->name == name) return c.get();
    return nullptr;
}

void SitemapState::accept(Channel& c, std::string_view url, std::int64_t time) {
    auto [i, added] = c.accepted.insert(url, time);
    // Replaying a journal over a snapshot that already holds it must not move a time back.
    if (!added) c.accepted.setValue(i, std::max(c.accepted.value(i), time));
}

void SitemapState::applySnapshotLine(std::string_view line, Channel*& current) {
    const std::string_view kind = nextField(line);
    if (kind == "C") {
        current = &channel(unescape(nextField(line, true)));
    } else if (kind == "A" && current) {
        auto time = parseTime(nextField(line));
        std::string_view url = nextField(line, true);
        if (!time) return;
        if (url.find('\\') == std::string_view::npos)
            accept(*current, url, *time);
        else
            accept(*current, unescape(url), *time);
    } else if (kind == "N" && current) {
        // Every note set anywhere went to a journal before it was held in memory, and journals
        // end up in the snapshot in order: what the files say is the latest value.
        std::string key = unescape(nextField(line));
        current->notes[key] = unescape(nextField(line, true));
    }
}

void SitemapState::applyJournalLine(std::string_view line) {
    const std::string_view kind = nextField(line);
    if (kind != "A" && kind != "N") return;
    Channel& c = channel(unescape(nextField(line)));
    if (kind == "A") {
        auto time = parseTime(nextField(line));
        if (time) accept(c, unescape(nextField(line, true)), *time);
    } else {
        std::string key = unescape(nextField(line));
        c.notes[key] = unescape(nextField(line, true));
    }
}

void SitemapState::append(const std::string& lines) {
    StateLock lock(file_);
    const int fd = ::open(journal_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) unableToWrite(journal_);
    // Lines that another process appended since are not held here yet.
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size != journalKnown_) journalKnown_ = -1;
    writeAll(fd, lines, journal_);
    if (journalKnown_ >= 0) journalKnown_ += static_cast<std::int64_t>(lines.size());
    if (::fsync(fd) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        unableToWrite(journal_);
    }
    ::close(fd);
    syncDirectory(journal_);
}

void SitemapState::recordAccepted(std::string_view channelName, const std::vector<std::string_view>& urls,
                                  std::int64_t time) {
    if (urls.empty()) return;
    std::string lines;
    std::string prefix = "A\t";
    appendEscaped(prefix, channelName);
    prefix += '\t' + std::to_string(time) + '\t';
    for (std::string_view url : urls) {
        lines += prefix;
        appendEscaped(lines, url);
        lines += '\n';
    }
    // Only what is on the disk counts as remembered.
    append(lines);
    Channel& c = channel(channelName);
    for (std::string_view url : urls)
        accept(c, url, time);
}

std::vector<std::size_t> SitemapState::changed(std::string_view channelName, const UrlTable& urls) const {
    std::vector<std::size_t> out;
    const Channel* c = findChannel(channelName);
    for (std::size_t i = 0; i < urls.size(); ++i) {
        if (!c) {
            out.push_back(i);
            continue;
        }
        auto at = c->accepted.find(urls.url(i));
        if (!at || (urls.value(i) != NoLastmod && urls.value(i) > c->accepted.value(*at))) out.push_back(i);
    }
    return out;
}

std::optional<std::int64_t> SitemapState::acceptedAt(std::string_view channelName,
                                                     std::string_view url) const {
    const Channel* c = findChannel(channelName);
    if (!c) return std::nullopt;
    auto at = c->accepted.find(url);
    if (!at) return std::nullopt;
    return c->accepted.value(*at);
}

std::size_t SitemapState::acceptedCount(std::string_view channelName) const {
    const Channel* c = findChannel(channelName);
    return c ? c->accepted.size() : 0;
}

std::string SitemapState::note(std::string_view channelName, std::string_view key) const {
    const Channel* c = findChannel(channelName);
    if (!c) return {};
    auto it = c->notes.find(key);
    return it == c->notes.end() ? std::string() : it->second;
}

void SitemapState::setNote(std::string_view channelName, std::string_view key, std::string_view value) {
    std::string line = "N\t";
    appendEscaped(line, channelName);
    line += '\t';
    appendEscaped(line, key);
    line += '\t';
    appendEscaped(line, value);
    line += '\n';
    append(line);
    channel(channelName).notes[std::string(key)] = std::string(value);
}

void SitemapState::compact() {
    StateLock lock(file_);
    // Another process may have written the state since it was read here: what it wrote is
    // merged in first (acceptances keep their latest time), so that nothing it recorded is lost.
    // The journal needs no replay when it holds only what was appended here.
    const bool snapshotChanged = identityOf(file_) != snapshotIdentity_;
    if (snapshotChanged) readSnapshot();
    if (snapshotChanged || journalKnown_ < 0 || fileSize(journal_) != journalKnown_) replayJournal();
    writeSnapshot();
}

void SitemapState::writeSnapshot() {
    const std::string temporary = file_ + ".tmp";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) unableToWrite(file_);
    std::string out;
    out.reserve(1 << 20);
    out += SnapshotHeader;
    out += '\n';
    auto flushIfLarge = [&] {
        if (out.size() >= (1 << 20)) {
            writeAll(fd, out, file_);
            out.clear();
        }
    };
    for (const auto& c : channels_) {
        out += "C\t";
        appendEscaped(out, c->name);
        out += '\n';
        for (const auto& [key, value] : c->notes) {
            out += "N\t";
            appendEscaped(out, key);
            out += '\t';
            appendEscaped(out, value);
            out += '\n';
        }
        for (std::size_t i = 0; i < c->accepted.size(); ++i) {
            out += "A\t";
            out += std::to_string(c->accepted.value(i));
            out += '\t';
            appendEscaped(out, c->accepted.url(i));
            out += '\n';
            flushIfLarge();
        }
    }
    writeAll(fd, out, file_);
    // The new snapshot is on the disk before it replaces the old one, and it has replaced it
    // before the journal that it now holds goes away.
    const bool synced = ::fsync(fd) == 0;
    const int error = errno;
    if (::close(fd) != 0 || !synced) {
        if (!synced) errno = error;
        unableToWrite(file_);
    }
    if (::rename(temporary.c_str(), file_.c_str()) != 0) unableToWrite(file_);
    syncDirectory(file_);
    snapshotIdentity_ = identityOf(file_);
    if (::unlink(journal_.c_str()) == 0) syncDirectory(journal_);
    journalKnown_ = 0;
}
