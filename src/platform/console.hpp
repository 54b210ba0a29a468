// Text on the console: standard output, or standard error.
#pragma once

#include <string_view>

namespace recodia::platform {

enum class Stream { standard_output, standard_error };

class Console {
 public:
  virtual ~Console() = default;
  // What the console does with the bytes is not checked: a message that
  // cannot be written is no reason to stop converting. False only when the
  // stream is a pipe whose reader has gone, which a list of answers heeds.
  virtual bool write(Stream stream, std::string_view bytes) = 0;
  virtual bool is_terminal(Stream stream) = 0;
  // Whether the user's locale writes text as UTF-8.
  virtual bool uses_utf8() = 0;
};

}  // namespace recodia::platform
