#include "platform/StateDirectory.h"

#include "platform/Directories.h"
#include "platform/Error.h"

#include <cerrno>
#include <cstring>

std::string stateDirectory(std::string_view relative, DirectoryLookup lookup) {
    const std::optional<std::string> dir = userDirectory(BaseDirectory::State, relative);
    if (!dir)
        throw LarkspanError("The state directory cannot be found: neither XDG_STATE_HOME nor HOME is set");
    if (lookup == DirectoryLookup::Create && !makePrivateDirectories(*dir))
        throw LarkspanError("The directory " + *dir + " cannot be created: " + std::strerror(errno));
    return *dir;
}
