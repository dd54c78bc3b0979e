#pragma once

namespace galvorn {

// Adds the folder "plugins" beside the program to the toolkit's plug-in search path, for
// image formats and other plug-ins shipped with the program; a missing folder adds
// nothing. Never a folder relative to the working directory: the program would load code
// from wherever it happens to be started.
void addProgramPluginFolder();

} // namespace galvorn
