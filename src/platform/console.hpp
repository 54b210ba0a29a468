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

}  // namespace recodia::platform
