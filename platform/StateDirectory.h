#pragma once

#include <string>
#include <string_view>

// Whether looking up a state directory may create it.
enum class DirectoryLookup { Create, Find };

// A directory below the user's state directory: $XDG_STATE_HOME/relative when XDG_STATE_HOME is
// an absolute path, else $HOME/.local/state/relative. With Create, the directory and its missing
// parents are made with mode 0700, since what is kept there is the user's own business.
// Throws LarkspanError when neither variable is usable or a directory cannot be made.
std::string stateDirectory(std::string_view relative, DirectoryLookup lookup);
