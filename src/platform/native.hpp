// The services of the system that the program is built for: the build
// compiles exactly one implementation of these.
#pragma once

#include "platform/console.hpp"
#include "platform/files.hpp"

namespace recodia::platform {

// Readies the process; called first thing, before any file is opened. Opens
// the null device on any standard stream the program was started without (so
// that no file takes its number and receives the messages), keeps a closed
// pipe from killing the program while it writes a message, and arranges for
// the temporary file to be removed when the program is interrupted.
void prepare_process();

FileSystem& native_file_system();
Console& native_console();

}  // namespace recodia::platform
