// Text on the console: standard output, or standard error when standard
// output is the converted file itself.
#pragma once

#include <string_view>

namespace recodia::platform {

enum class Stream { standard_output, standard_error };

class Console {
 public:
  virtual ~Console() = default;
  virtual void write(Stream stream, std::string_view bytes) = 0;
  virtual bool is_terminal(Stream stream) = 0;
  // Whether the user's locale writes text as UTF-8.
  virtual bool uses_utf8() = 0;
};

Console& posix_console();

// Opens the null device on any of the three standard streams that the program
// was started without. Otherwise the next file opened would take that stream's
// number, and the messages meant for the console would be written into it.
// Called first thing, before any file is opened.
void claim_standard_streams();

}  // namespace recodia::platform
