#pragma once

#include <string>

namespace galvorn::platform {

// The folder that holds the program file, without a trailing separator.
// Empty when the system cannot tell.
std::string executableDir();

// The folder holding the language/ and example/ folders. A build tree keeps them beside
// the program; an installation keeps them in its data folder (<prefix>/share/galvorn),
// found from the program's own place, so that an installation works from any prefix.
// Empty when the system cannot tell where the program is.
std::string dataDir();

// True when language/ sits beside the program, as in a build tree. An installed program
// writes nothing beside itself: its folder belongs to the system.
bool runsFromBuildTree();

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
