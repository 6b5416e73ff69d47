#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Directories and files as the profile store, the configuration and the kept runs use them.

// The value of an environment variable; empty when it is not set.
std::string environment(const char* name);

// The user's XDG base directories.
enum class BaseDirectory {
    Data,   // $XDG_DATA_HOME, else ~/.local/share
    State,  // $XDG_STATE_HOME, else ~/.local/state
    Config, // $XDG_CONFIG_HOME, else ~/.config
};
// The base directory followed by "/" and relative. A relative value of the variable is
// ignored, as XDG requires; nothing when neither it nor HOME gives a directory.
std::optional<std::string> userDirectory(BaseDirectory base, std::string_view relative);

bool isDirectory(const std::string& path);
bool isRegularFile(const std::string& path);
bool pathExists(const std::string& path);
// A regular file that this process may read.
bool isReadableFile(const std::string& path);
// Creates the directory and its missing parents, open to their owner alone: what the program
// keeps there is the user's own business. False, with errno set, when that fails.
bool makePrivateDirectories(const std::string& path);
// The directory's full name: a relative one is taken from the working directory. Only "."
// parts are dropped; ".." stays, since it may follow a symbolic link.
std::string absolutePath(const std::string& dir);
// The names of the directory's entries that end in suffix, without it, in the directory's
// order; nothing, with errno set, when the directory cannot be read.
std::optional<std::vector<std::string>> namesEndingWith(const std::string& dir, std::string_view suffix);
// Deletes a file; a file that is missing or cannot be deleted is left as it is.
void removeFile(const std::string& path);
