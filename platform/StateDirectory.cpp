#include "platform/StateDirectory.h"

#include "platform/Error.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

bool isDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

std::string stateDirectory(std::string_view relative, DirectoryLookup lookup) {
    const char* state = std::getenv("XDG_STATE_HOME");
    std::string base;
    // The base directory specification says a relative value is to be ignored.
    if (state && state[0] == '/') {
        base = state;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || home[0] == '\0')
            throw LarkspanError(
                "The state directory cannot be found: neither XDG_STATE_HOME nor HOME is set");
        base = std::string(home) + "/.local/state";
    }
    std::string dir = base + "/" + std::string(relative);
    if (lookup == DirectoryLookup::Find) return dir;
    for (std::size_t at = dir.find('/', 1);; at = dir.find('/', at + 1)) {
        const std::string part = dir.substr(0, at);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            throw LarkspanError("The directory " + part + " cannot be created: " + std::strerror(errno));
        if (at == std::string::npos) break;
    }
    if (!isDirectory(dir))
        throw LarkspanError("The directory " + dir + " cannot be created: it is not a directory");
    return dir;
}
