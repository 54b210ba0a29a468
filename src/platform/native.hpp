// The services of the system that the program is built for: the build
// compiles exactly one implementation of these.
#pragma once

#include "platform/console.hpp"
#include "platform/files.hpp"

namespace recodia::platform {

// Readies the process; called first thing, before any file is opened, so
// that a standard stream the program was started without never turns out to
// be a file that receives the messages (POSIX opens the null device on it at
// once, Windows when it is first used), a closed pipe does not kill the
// program while it writes a message, and an interrupted run removes its
// temporary file.
void prepare_process();

// How in place makes the new file beside the original: without a name where
// the file system allows it, or always under a temporary name, which is the
// way where it does not (and on Windows); that way is chosen by tests only.
enum class NewFiles { nameless_where_possible, named };

FileSystem& native_file_system(NewFiles new_files = NewFiles::nameless_where_possible);

// Ends the program as a closed pipe ends cat: POSIX by SIGPIPE, so that the
// caller sees the same status; Windows returns, and the exit code says it.
void end_as_closed_pipe();

Console& native_console();

}  // namespace recodia::platform
