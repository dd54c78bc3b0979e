#pragma once

#include <string>

namespace galvorn::platform {

// The folder that holds the program file, without a trailing separator.
// Empty when the system cannot tell.
std::string executableDir();

// The user's configuration folder ($XDG_CONFIG_HOME, else ~/.config). The folder is
// not created; it may not exist.
std::string configHomeDir();

// The user's data folder ($XDG_DATA_HOME, else ~/.local/share). Not created.
std::string dataHomeDir();

// Creates a folder and its missing parents. True when the folder exists afterwards.
bool makePath(const std::string& dir);

// True when a file can be created in the folder.
bool isWritableDir(const std::string& dir);

} // namespace galvorn::platform
