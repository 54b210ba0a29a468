#include "tables_support.hpp"

#include <sys/wait.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <stdexcept>

namespace recodia::test {

std::optional<std::string> command_output(const std::string& command) {
  FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return std::nullopt;
  std::string out;
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
  const int status = ::pclose(pipe);
  if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return out;
}

namespace {

// A command's lines "byte character" in hex as an upper half; U+FFFD, the
// replacement character, marks a byte without a character.
SourceHalf half_from_command(const std::string& command) {
  std::istringstream lines(command_output(command).value_or(""));
  SourceHalf half{};
  int listed = 0;
  for (unsigned long b = 0, cp = 0; lines >> std::hex >> b >> cp;) {
    if (b < 0x80 || b > 0xFF) continue;
    half[b - 0x80] = cp == 0xFFFD ? 0 : static_cast<char32_t>(cp);
    ++listed;
  }
  if (listed < 96) throw std::runtime_error("no code page from: " + command);
  return half;
}

// glibc's whole charset, decoded once: the tests ask for the same few many times.
const std::array<char32_t, 256>& glibc_page(const std::string& charset) {
  static std::map<std::string, std::array<char32_t, 256>> pages;
  if (const auto it = pages.find(charset); it != pages.end()) return it->second;
  std::array<char32_t, 256> page{};
  for (int b = 0; b < 256; ++b) {
    try {
      const Bytes u = iconv_convert(charset.c_str(), "UTF-32LE", Bytes(1, static_cast<char>(b)));
      for (std::size_t k = u.size(); k-- > 0;) page[b] = (page[b] << 8) | static_cast<unsigned char>(u[k]);
    } catch (const std::runtime_error&) {  // no character at this byte
    }
  }
  if (page['A'] != U'A') throw std::runtime_error("iconv(3) does not know " + charset);
  return pages[charset] = page;
}

}  // namespace

std::optional<SourceHalf> upper_half_from(Source source, const std::string& name, std::string& why) {
  SourceHalf half{};
  switch (source) {
    case Source::iconv:
      for (int b = 0x80; b <= 0xFF; ++b) half[b - 0x80] = glibc_char(name, b);
      return half;
    case Source::charmap: {
      const std::string file = "/usr/share/i18n/charmaps/" + name + ".gz";
      why = file + " is not installed (package locales)";
      if (!std::filesystem::exists(file)) return std::nullopt;
      // Lines such as "<U0410>     /x80         CYRILLIC CAPITAL LETTER A".
      return half_from_command("zcat " + file +
                               " | sed -n 's|^<U\\([0-9A-Fa-f]*\\)> */x\\([0-9A-Fa-f][0-9A-Fa-f]\\) .*|\\2 \\1|p'");
    }
    case Source::python: {
      // The real interpreter, not a wrapper script: it starts once per code page.
      static const auto python = command_output("python3 -c 'import sys; print(sys.executable)'");
      why = "python3 is not installed";
      if (!python) return std::nullopt;
      return half_from_command(python->substr(0, python->find('\n')) +
                               " -c 'import sys\nfor b in range(128, 256): print(\"%x %x\" % (b, ord(bytes([b]).decode("
                               "sys.argv[1], \"replace\"))))' " + name);
    }
    case Source::uconv: {
      why = "ICU's uconv is not installed (package icu-devtools)";
      if (!command_output("uconv --version")) return std::nullopt;
      // Each byte on a line of its own, so that nothing can shift the bytes
      // after it; printf(1) takes them as octal escapes.
      std::string bytes;
      char octal[8];
      for (int b = 0x80; b <= 0xFF; ++b) bytes.append(octal, std::snprintf(octal, sizeof octal, "\\%o\\n", b));
      return half_from_command("printf '" + bytes + "' | uconv --from-callback substitute -f " + name + " -t UTF-32BE" +
                               " | od -An -v -w8 -tx4 --endian=big | awk '{printf \"%x %s\\n\", NR + 127, $1}'");
    }
  }
  return std::nullopt;
}

char32_t glibc_char(const std::string& charset, int b) { return glibc_page(charset)[static_cast<std::uint8_t>(b)]; }

}  // namespace recodia::test
