#include "tables_sources.hpp"

#include <iconv.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "test_support.hpp"

namespace recodia::test {
namespace {

// Runs a shell command and returns its standard output; `status` gets the
// exit status (-1 when it did not end normally).
std::string run_command(const std::string& command, int& status) {
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    status = -1;
    return {};
  }
  std::string out;
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
  const int raw = ::pclose(pipe);
  status = (raw != -1 && WIFEXITED(raw)) ? WEXITSTATUS(raw) : -1;
  return out;
}

bool command_works(const std::string& command) {
  int status = 0;
  run_command(command + " >/dev/null 2>&1", status);
  return status == 0;
}

class IconvHandle {
 public:
  IconvHandle(const char* to, const char* from) : cd_(::iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1))
      throw std::runtime_error(std::string("iconv does not know ") + from + " -> " + to);
  }
  ~IconvHandle() { ::iconv_close(cd_); }
  IconvHandle(const IconvHandle&) = delete;
  IconvHandle& operator=(const IconvHandle&) = delete;

  // Converts the whole input or returns nothing.
  std::optional<std::string> convert(std::string_view input) {
    ::iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    std::string out(64, '\0');
    char* in_ptr = const_cast<char*>(input.data());
    std::size_t in_left = input.size();
    char* out_ptr = out.data();
    std::size_t out_left = out.size();
    if (::iconv(cd_, &in_ptr, &in_left, &out_ptr, &out_left) == static_cast<std::size_t>(-1)) return std::nullopt;
    if (::iconv(cd_, nullptr, nullptr, &out_ptr, &out_left) == static_cast<std::size_t>(-1)) return std::nullopt;
    if (in_left != 0) return std::nullopt;
    out.resize(out.size() - out_left);
    return out;
  }

 private:
  iconv_t cd_;
};

bool iconv_knows(const char* charset) {
  iconv_t cd = ::iconv_open("UTF-32LE", charset);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  ::iconv_close(cd);
  return true;
}

SourceHalf from_iconv(const std::string& name) {
  SourceHalf half{};
  for (int b = 0x80; b <= 0xFF; ++b) half[static_cast<std::size_t>(b - 0x80)] =
      iconv_decode(name.c_str(), static_cast<std::uint8_t>(b));
  return half;
}

unsigned long parse_hex(std::string_view s, std::size_t& pos) {
  unsigned long v = 0;
  std::size_t start = pos;
  for (; pos < s.size(); ++pos) {
    const char c = s[pos];
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else break;
    v = v * 16 + static_cast<unsigned long>(d);
  }
  if (pos == start) throw std::runtime_error("charmap line without a hex number: " + std::string(s));
  return v;
}

// A glibc charmap: lines "<U0410>     /x80   CYRILLIC CAPITAL LETTER A" between
// CHARMAP and END CHARMAP; "<U0080>..<U009F> /x80" ranges are allowed too.
SourceHalf parse_charmap(const std::string& text) {
  SourceHalf half{};
  std::array<bool, 128> seen{};
  std::istringstream lines(text);
  std::string line;
  bool inside = false;
  while (std::getline(lines, line)) {
    if (line.rfind("CHARMAP", 0) == 0) { inside = true; continue; }
    if (line.rfind("END CHARMAP", 0) == 0) break;
    if (!inside || line.rfind("<U", 0) != 0) continue;
    std::size_t pos = 2;
    const unsigned long first = parse_hex(line, pos);
    unsigned long last = first;
    if (line.compare(pos, 4, ">..<") == 0 && line.compare(pos + 4, 1, "U") == 0) {
      pos += 5;
      last = parse_hex(line, pos);
    }
    pos = line.find('/', pos);
    if (pos == std::string::npos || line.compare(pos, 2, "/x") != 0) continue;
    pos += 2;
    const unsigned long byte = parse_hex(line, pos);
    if (pos < line.size() && line[pos] == '/') continue;  // a sequence of several bytes
    for (unsigned long cp = first, b = byte; cp <= last; ++cp, ++b) {
      if (b < 0x80 || b > 0xFF) continue;
      const std::size_t i = b - 0x80;
      if (seen[i]) throw std::runtime_error("charmap lists byte twice");
      seen[i] = true;
      half[i] = static_cast<char32_t>(cp);
    }
  }
  if (!inside) throw std::runtime_error("not a charmap");
  return half;
}

std::optional<SourceHalf> from_charmap(const std::string& name, std::string& why) {
  const std::filesystem::path file = "/usr/share/i18n/charmaps/" + name + ".gz";
  if (!std::filesystem::exists(file)) {
    why = "glibc's charmap " + file.string() + " is not installed (package locales)";
    return std::nullopt;
  }
  int status = 0;
  const std::string text = run_command("zcat '" + file.string() + "' 2>/dev/null", status);
  if (status != 0) {
    why = "zcat could not read " + file.string();
    return std::nullopt;
  }
  return parse_charmap(text);
}

// Starting python3 is slow on some machines, so one run decodes every codec
// asked for so far, and the answers are kept.
std::vector<std::string>& python_wanted() {
  static std::vector<std::string> names;
  return names;
}

std::optional<SourceHalf> from_python(const std::string& name, std::string& why) {
  static const bool available = command_works("python3 -c pass");
  static std::map<std::string, SourceHalf> decoded;
  if (!available) {
    why = "python3 is not installed";
    return std::nullopt;
  }
  if (const auto it = decoded.find(name); it != decoded.end()) return it->second;
  std::vector<std::string> names = python_wanted();
  names.push_back(name);
  std::string command =
      "python3 -c 'import sys\n"
      "for n in sys.argv[1:]:\n"
      "    t = bytes(range(128, 256)).decode(n, \"replace\")\n"
      "    print(n, \" \".join(\"%x\" % (0 if c == \"\\ufffd\" else ord(c)) for c in t))'";
  for (const std::string& n : names) command += " '" + n + "'";
  int status = 0;
  const std::string out = run_command(command + " 2>&1", status);
  if (status != 0) throw std::runtime_error("python3 cannot decode with these codecs: " + out);
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string codec;
    words >> codec;
    SourceHalf half{};
    std::size_t i = 0;
    for (std::string w; words >> w; ++i) {
      if (i >= half.size()) throw std::runtime_error("python3 gave more than 128 characters for " + codec);
      half[i] = static_cast<char32_t>(std::stoul(w, nullptr, 16));
    }
    if (i != half.size()) throw std::runtime_error("python3 gave fewer than 128 characters for " + codec);
    decoded[codec] = half;
  }
  if (const auto it = decoded.find(name); it != decoded.end()) return it->second;
  throw std::runtime_error("python3 gave nothing for codec " + name);
}

std::optional<SourceHalf> from_uconv(const std::string& name, std::string& why) {
  static const bool available = command_works("uconv --version");
  if (!available) {
    why = "ICU's uconv is not installed (package icu-devtools)";
    return std::nullopt;
  }
  // Each byte on a line of its own, so that an undefined byte (substituted by
  // U+FFFD) cannot shift the ones after it.
  TempDir dir;
  std::string input;
  for (int b = 0x80; b <= 0xFF; ++b) {
    input += static_cast<char>(b);
    input += '\n';
  }
  write_file(dir / "bytes", input);
  int status = 0;
  const std::string out = run_command("uconv --from-callback substitute -f '" + name + "' -t UTF-32BE '" +
                                          (dir / "bytes").string() + "' 2>/dev/null",
                                      status);
  if (status != 0 || out.size() != 128 * 8) throw std::runtime_error("uconv cannot decode " + name);
  SourceHalf half{};
  for (std::size_t i = 0; i < 128; ++i) {
    auto at = [&](std::size_t k) { return static_cast<char32_t>(static_cast<unsigned char>(out[k])); };
    const std::size_t k = i * 8;
    const char32_t cp = (at(k) << 24) | (at(k + 1) << 16) | (at(k + 2) << 8) | at(k + 3);
    const char32_t nl = (at(k + 4) << 24) | (at(k + 5) << 16) | (at(k + 6) << 8) | at(k + 7);
    if (nl != 0x0A) throw std::runtime_error("uconv output out of step for " + name);
    half[i] = cp == 0xFFFD ? 0 : cp;
  }
  return half;
}

}  // namespace

const char* source_name(Source source) {
  switch (source) {
    case Source::iconv: return "iconv";
    case Source::charmap: return "charmap";
    case Source::python: return "python";
    case Source::uconv: return "uconv";
  }
  return "?";
}

void prefetch(Source source, const std::string& name) {
  if (source == Source::python) python_wanted().push_back(name);
}

std::optional<SourceHalf> upper_half_from(Source source, const std::string& name, std::string& why) {
  switch (source) {
    case Source::iconv:
      if (!iconv_knows(name.c_str())) {
        why = "iconv(3) does not know " + name;
        return std::nullopt;
      }
      return from_iconv(name);
    case Source::charmap: return from_charmap(name, why);
    case Source::python: return from_python(name, why);
    case Source::uconv: return from_uconv(name, why);
  }
  why = "unknown source";
  return std::nullopt;
}

namespace {

// Opening a converter costs more than using it, and the tests ask for the
// same few many thousands of times.
IconvHandle& iconv_for(const std::string& to, const std::string& from) {
  static std::map<std::pair<std::string, std::string>, std::unique_ptr<IconvHandle>> open;
  auto& slot = open[{to, from}];
  if (!slot) slot = std::make_unique<IconvHandle>(to.c_str(), from.c_str());
  return *slot;
}

}  // namespace

char32_t iconv_decode(const char* charset, std::uint8_t byte) {
  IconvHandle& cd = iconv_for("UTF-32LE", charset);
  const char in = static_cast<char>(byte);
  const std::optional<std::string> out = cd.convert(std::string_view(&in, 1));
  if (!out || out->size() != 4) return 0;
  char32_t cp = 0;
  for (int i = 3; i >= 0; --i) cp = (cp << 8) | static_cast<unsigned char>((*out)[static_cast<std::size_t>(i)]);
  return cp;
}

std::optional<std::uint8_t> iconv_encode(const char* charset, char32_t character) {
  IconvHandle& cd = iconv_for(charset, "UTF-32LE");
  char in[4];
  for (int i = 0; i < 4; ++i) in[i] = static_cast<char>((character >> (8 * i)) & 0xFF);
  const std::optional<std::string> out = cd.convert(std::string_view(in, 4));
  if (!out || out->size() != 1) return std::nullopt;
  return static_cast<std::uint8_t>((*out)[0]);
}

bool is_russian_letter(char32_t c) { return (c >= 0x0410 && c <= 0x044F) || c == 0x0401 || c == 0x0451; }

}  // namespace recodia::test
