#include "platform/IniFile.h"

#include "platform/Error.h"
#include "platform/ReadFile.h"
#include "platform/Text.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The section name of a header line, or nothing when the line is not a header. A line whose
// first "=" comes before its first "]" is a key line, so that a key starting with "[" stays a
// key whatever its value holds.
bool sectionName(std::string_view line, std::string_view& name) {
    std::string_view t = trimmed(line);
    if (t.empty() || t.front() != '[') return false;
    auto close = t.find(']');
    if (close == std::string_view::npos || t.find('=') < close) return false;
    name = trimmed(t.substr(1, close - 1));
    return true;
}

bool hasLineBreak(std::string_view s) {
    return s.find_first_of("\r\n") != std::string_view::npos;
}

void checkNames(std::string_view section, std::string_view key) {
    const bool badSection = hasLineBreak(section) || trimmed(section) != section ||
                            section.find_first_of("]=") != std::string_view::npos;
    const bool badKey = hasLineBreak(key) || trimmed(key) != key || key.find('=') != std::string_view::npos ||
                        (!key.empty() && (key.front() == ';' || key.front() == '#')) ||
                        (!key.empty() && key.front() == '[' && key.find(']') != std::string_view::npos);
    if (badSection) throw std::invalid_argument("An INI section cannot be named " + std::string(section));
    if (badKey) throw std::invalid_argument("An INI key cannot be named " + std::string(key));
}

bool keyOfLine(std::string_view line, std::string_view& key, std::string_view& value) {
    auto eq = line.find('=');
    if (eq == std::string_view::npos) return false;
    key = trimmed(line.substr(0, eq));
    value = line.substr(eq + 1);
    return true;
}

bool writeAll(int fd, const std::string& data) {
    const char* p = data.data();
    std::size_t left = data.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

IniFile IniFile::load(const std::string& path) {
    const std::optional<std::string> content = readWholeFile(path);
    return content ? parse(*content) : IniFile{};
}

IniFile IniFile::parse(std::string_view content) {
    IniFile ini;
    // A UTF-8 byte-order mark, as some editors on other systems write one, is no text of the
    // first line; it is written back as it was read.
    constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";
    if (content.starts_with(ByteOrderMark)) {
        content.remove_prefix(ByteOrderMark.size());
        ini.byteOrderMark_ = true;
    }
    std::size_t start = 0;
    bool first = true;
    while (start < content.size()) {
        auto nl = content.find('\n', start);
        if (nl == std::string_view::npos) {
            ini.lines_.push_back({std::string(content.substr(start)), ""});
            ini.finalNewline_ = false;
            break;
        }
        std::string_view line = content.substr(start, nl - start);
        const bool crlf = !line.empty() && line.back() == '\r';
        if (first) ini.eol_ = crlf ? "\r\n" : "\n";
        first = false;
        // In a file of LF lines a CR before the LF is text of the line, not part of its end.
        if (crlf && ini.eol_ == "\r\n")
            ini.lines_.push_back({std::string(line.substr(0, line.size() - 1)), "\r\n"});
        else
            ini.lines_.push_back({std::string(line), "\n"});
        start = nl + 1;
    }
    return ini;
}

long IniFile::findSection(std::string_view section) const {
    std::string_view name;
    for (std::size_t i = 0; i < lines_.size(); ++i)
        if (sectionName(lines_[i].text, name) && equalsIgnoringCase(name, section))
            return static_cast<long>(i);
    return -1;
}

long IniFile::sectionEnd(long header) const {
    std::string_view name;
    std::size_t i = static_cast<std::size_t>(header) + 1;
    while (i < lines_.size() && !sectionName(lines_[i].text, name))
        ++i;
    return static_cast<long>(i);
}

long IniFile::findKey(long header, std::string_view key) const {
    std::string_view k, v;
    long end = sectionEnd(header);
    for (long i = header + 1; i < end; ++i)
        if (keyOfLine(lines_[static_cast<std::size_t>(i)].text, k, v) && equalsIgnoringCase(k, key)) return i;
    return -1;
}

std::string IniFile::read(std::string_view section, std::string_view key, std::string_view fallback) const {
    long header = findSection(section);
    long line = header < 0 ? -1 : findKey(header, key);
    if (line < 0) return std::string(fallback);
    std::string_view k, v;
    keyOfLine(lines_[static_cast<std::size_t>(line)].text, k, v);
    std::string value = decodeValue(v);
    if (value.size() > MaxValueLength) value.resize(utf8Prefix(value, MaxValueLength));
    return value;
}

void IniFile::write(std::string_view section, std::string_view key, std::string_view value) {
    checkNames(section, key);
    std::string line = std::string(key) + "=" + encodeValue(value);
    long header = findSection(section);
    if (header < 0) {
        lines_.push_back({"[" + std::string(section) + "]", ""});
        lines_.push_back({std::move(line), ""});
        return;
    }
    long existing = findKey(header, key);
    if (existing >= 0) {
        // Keep the key's spelling as the file has it; only the value changes.
        std::string& text = lines_[static_cast<std::size_t>(existing)].text;
        text = text.substr(0, text.find('=') + 1) + encodeValue(value);
        return;
    }
    // Append after the section's last non-empty line, so that a blank line that separates
    // it from the next section stays where it is.
    long end = sectionEnd(header);
    long at = end;
    while (at > header + 1 && trimmed(lines_[static_cast<std::size_t>(at - 1)].text).empty())
        --at;
    lines_.insert(lines_.begin() + at, {std::move(line), ""});
}

std::vector<std::string> IniFile::sections() const {
    std::vector<std::string> names;
    std::string_view name;
    for (const Line& line : lines_)
        if (sectionName(line.text, name)) names.emplace_back(name);
    return names;
}

std::vector<IniFile::KeyLine> IniFile::keyLines() const {
    std::vector<KeyLine> keys;
    std::size_t section = std::string::npos;
    std::string_view name, key, value;
    for (const Line& line : lines_) {
        if (sectionName(line.text, name)) {
            section = section == std::string::npos ? 0 : section + 1;
            continue;
        }
        std::string_view t = trimmed(line.text);
        if (t.empty() || t.front() == ';' || t.front() == '#') continue;
        if (keyOfLine(line.text, key, value)) keys.push_back({section, std::string(key)});
    }
    return keys;
}

std::vector<std::string> IniFile::strayLines() const {
    std::vector<std::string> stray;
    std::string_view name, key, value;
    for (const Line& line : lines_) {
        std::string_view t = trimmed(line.text);
        if (t.empty() || t.front() == ';' || t.front() == '#' || sectionName(line.text, name) ||
            keyOfLine(line.text, key, value))
            continue;
        stray.push_back(line.text);
    }
    return stray;
}

std::string IniFile::text() const {
    std::string out = byteOrderMark_ ? "\xEF\xBB\xBF" : "";
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        out += lines_[i].text;
        if (i + 1 < lines_.size() || finalNewline_) out += lines_[i].eol.empty() ? eol_ : lines_[i].eol;
    }
    return out;
}

void IniFile::save(const std::string& path, NewFile access) const {
    const LarkspanError failure("Unable to write to " + path);
    // Replace the file a symbolic link points to, not the link itself.
    std::string target = path;
    if (char* real = ::realpath(path.c_str(), nullptr)) {
        target = real;
        std::free(real);
    }
    struct stat st {};
    mode_t mode = 0;
    if (::stat(target.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode) || ::access(target.c_str(), W_OK) != 0) throw failure;
        mode = st.st_mode & 07777;
    } else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        mode = (access == NewFile::OwnerOnly ? 0600 : 0666) & ~mask;
    }
    auto slash = target.rfind('/');
    std::string dir = slash == std::string::npos ? std::string(".") : target.substr(0, slash);
    std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    // The temporary name is eight bytes longer than the file's, so a name near the file
    // system's limit is shortened for it; the file itself keeps its full name.
    const long nameMax = ::pathconf(dir.c_str(), _PC_NAME_MAX);
    const std::size_t tempMax = nameMax > 0 ? static_cast<std::size_t>(nameMax) : NAME_MAX;
    std::string stem = base.substr(0, utf8Prefix(base, tempMax > 8 ? tempMax - 8 : 0));
    std::string temp = dir + "/." + stem + ".XXXXXX";
    if (temp.size() >= PATH_MAX) throw failure;
    int fd = ::mkstemp(temp.data());
    if (fd < 0) throw failure;
    bool ok = ::fchmod(fd, mode) == 0 && writeAll(fd, text()) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (!ok || ::rename(temp.c_str(), target.c_str()) != 0) {
        ::unlink(temp.c_str());
        throw failure;
    }
}

std::string IniFile::encodeValue(std::string_view value) {
    if (value.find_first_of("\r\n\\") == std::string_view::npos) return std::string(value);
    return backslashEscaped(value, "\n\r");
}

std::string IniFile::decodeValue(std::string_view stored) {
    if (stored.find('\\') == std::string_view::npos) return std::string(stored);
    std::string out;
    out.reserve(stored.size());
    for (std::size_t i = 0; i < stored.size(); ++i) {
        char c = stored[i];
        if (c == '\\' && i + 1 < stored.size()) {
            char n = stored[i + 1];
            if (n == '\\' || n == 'n' || n == 'r') {
                out += n == '\\' ? '\\' : n == 'n' ? '\n' : '\r';
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

std::vector<std::string> IniFile::beyondSchema(const Schema& schema, const std::string& origin) const {
    std::vector<std::string> found;
    const std::vector<std::string> names = sections();
    // For each header: the schema's section it opens, or null; and whether it is the first
    // header of that name, which is the only one that reads see.
    std::vector<const Schema::Section*> sectionOf(names.size(), nullptr);
    std::vector<bool> firstOfName(names.size(), true);
    for (std::size_t i = 0; i < names.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j)
            if (equalsIgnoringCase(names[j], names[i])) firstOfName[i] = false;
        for (const Schema::Section& known : schema.sections)
            if (equalsIgnoringCase(known.name, names[i])) sectionOf[i] = &known;
        if (!sectionOf[i])
            found.push_back(origin + ": unknown section [" + names[i] + "] is ignored");
        else if (!firstOfName[i])
            found.push_back(origin + ": section [" + names[i] +
                            "] appears again; only its first appearance counts");
    }
    const std::vector<KeyLine> keys = keyLines();
    for (std::size_t k = 0; k < keys.size(); ++k) {
        const KeyLine& line = keys[k];
        if (line.sectionIndex == std::string::npos) {
            found.push_back(origin + ": key " + line.key + " outside any section is ignored");
            continue;
        }
        const Schema::Section* known = sectionOf[line.sectionIndex];
        if (!known || !firstOfName[line.sectionIndex]) continue; // already told with its section
        const std::string& sectionName = names[line.sectionIndex];
        const bool isKnown = std::any_of(known->keys.begin(), known->keys.end(), [&](const std::string& key) {
            return equalsIgnoringCase(key, line.key);
        });
        const bool repeated = std::any_of(
            keys.begin(), keys.begin() + static_cast<std::ptrdiff_t>(k), [&](const KeyLine& other) {
                return other.sectionIndex == line.sectionIndex && equalsIgnoringCase(other.key, line.key);
            });
        if (!isKnown)
            found.push_back(origin + ": unknown key " + line.key + " in section [" + sectionName +
                            "] is ignored");
        else if (repeated)
            found.push_back(origin + ": key " + line.key + " appears again in section [" + sectionName +
                            "]; only the first counts");
    }
    for (const std::string& line : strayLines())
        found.push_back(origin + ": line \"" + line +
                        "\" is neither a section, a key nor a comment; ignored");
    return found;
}
