// The Windows console: text shown through WriteConsoleW, so that the Russian
// messages read right whatever the console's code page; a file or a pipe gets
// the stored bytes, as on POSIX.
#include <windows.h>

#include "platform/native.hpp"
#include "platform/windows_text.hpp"

namespace recodia::platform {
namespace {

HANDLE handle(Stream stream) {
  return ::GetStdHandle(stream == Stream::standard_output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

bool is_console(HANDLE h) {
  DWORD mode = 0;
  return h != nullptr && h != INVALID_HANDLE_VALUE && ::GetConsoleMode(h, &mode) != 0;
}

class WindowsConsole final : public Console {
 public:
  bool write(Stream stream, std::string_view bytes) override {
    const HANDLE h = handle(stream);
    if (h == nullptr || h == INVALID_HANDLE_VALUE) return true;  // started without it
    if (is_console(h)) {
      const std::wstring wide = to_wide(bytes);
      return write_all(wide.data(), wide.size(), [h](const wchar_t* data, DWORD size, DWORD* done) {
        return ::WriteConsoleW(h, data, size, done, nullptr);
      });
    }
    return write_all(bytes.data(), bytes.size(), [h](const char* data, DWORD size, DWORD* done) {
      return ::WriteFile(h, data, size, done, nullptr);
    });
  }

  bool is_terminal(Stream stream) override { return is_console(handle(stream)); }

  // A console takes the messages as UTF-8 (see write); elsewhere the
  // question does not arise, as only a terminal is given UTF-8.
  bool uses_utf8() override { return true; }

 private:
  // What the console does with the text is not checked, as on POSIX, but for
  // a pipe whose reader has gone (false).
  template <typename Char, typename Write>
  static bool write_all(const Char* data, std::size_t size, Write write) {
    while (size > 0) {
      DWORD done = 0;
      const DWORD chunk = size > 0x10000 ? 0x10000 : static_cast<DWORD>(size);
      if (!write(data, chunk, &done)) {
        const DWORD error = ::GetLastError();
        return error != ERROR_NO_DATA && error != ERROR_BROKEN_PIPE && error != ERROR_PIPE_NOT_CONNECTED;
      }
      if (done == 0) return true;
      data += done;
      size -= done;
    }
    return true;
  }
};

}  // namespace

Console& native_console() {
  static WindowsConsole instance;
  return instance;
}

}  // namespace recodia::platform
