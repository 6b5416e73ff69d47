#include "platform/Directories.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::optional<std::string> userDirectory(BaseDirectory base, std::string_view relative) {
    static constexpr struct {
        const char* variable;
        const char* underHome;
    } bases[] = {{"XDG_DATA_HOME", "/.local/share"},
                 {"XDG_STATE_HOME", "/.local/state"},
                 {"XDG_CONFIG_HOME", "/.config"}};
    const auto& b = bases[static_cast<int>(base)];
    std::string dir = environment(b.variable);
    if (dir.empty() || dir.front() != '/') {
        const std::string home = environment("HOME");
        if (home.empty()) return std::nullopt;
        dir = home + b.underHome;
    }
    return dir + "/" + std::string(relative);
}

bool isDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool pathExists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

bool isReadableFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), R_OK) == 0;
}

bool makePrivateDirectories(const std::string& path) {
    for (std::size_t at = path.find('/', 1);; at = path.find('/', at + 1)) {
        const std::string part = path.substr(0, at);
        if (!part.empty() && ::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
        if (at == std::string::npos) break;
    }
    if (isDirectory(path)) return true;
    errno = ENOTDIR;
    return false;
}

std::string absolutePath(const std::string& dir) {
    std::string out;
    if (dir.empty() || dir.front() != '/') {
        std::unique_ptr<char, void (*)(void*)> cwd(::getcwd(nullptr, 0), std::free);
        if (!cwd) return dir;
        out = cwd.get();
    }
    std::size_t at = 0;
    while (at <= dir.size()) {
        std::size_t end = dir.find('/', at);
        if (end == std::string::npos) end = dir.size();
        const std::string_view part(dir.data() + at, end - at);
        if (!part.empty() && part != ".") {
            if (out.empty() || out.back() != '/') out += '/';
            out += part;
        }
        at = end + 1;
    }
    return out.empty() ? "/" : out;
}

std::optional<std::vector<std::string>> namesEndingWith(const std::string& dir, std::string_view suffix) {
    std::unique_ptr<DIR, int (*)(DIR*)> listing(::opendir(dir.c_str()), ::closedir);
    if (!listing) return std::nullopt;
    std::vector<std::string> names;
    while (dirent* entry = ::readdir(listing.get())) {
        const std::string_view name = entry->d_name;
        if (name.size() >= suffix.size() && name.substr(name.size() - suffix.size()) == suffix)
            names.emplace_back(name.substr(0, name.size() - suffix.size()));
    }
    return names;
}

void removeFile(const std::string& path) {
    (void)::unlink(path.c_str());
}
