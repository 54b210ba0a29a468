#include <langinfo.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstring>

#include "platform/native.hpp"

namespace recodia::platform {
namespace {

int descriptor(Stream stream) { return stream == Stream::standard_output ? STDOUT_FILENO : STDERR_FILENO; }

class PosixConsole final : public Console {
 public:
  bool write(Stream stream, std::string_view bytes) override {
    const int fd = descriptor(stream);
    while (!bytes.empty()) {
      const ssize_t n = ::write(fd, bytes.data(), bytes.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return !(n < 0 && errno == EPIPE);  // nothing else is checked
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
  }

  bool is_terminal(Stream stream) override { return ::isatty(descriptor(stream)) == 1; }

  bool uses_utf8() override {
    // Ask the user's locale once, then leave the C locale in place: nothing
    // else in the program depends on it.
    const char* previous = std::setlocale(LC_CTYPE, "");
    const bool utf8 = previous != nullptr && std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
    std::setlocale(LC_CTYPE, "C");
    return utf8;
  }
};

}  // namespace

Console& native_console() {
  static PosixConsole instance;
  return instance;
}

}  // namespace recodia::platform
