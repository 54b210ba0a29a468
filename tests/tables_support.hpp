// What the table tests share: code page data from sources that owe nothing
// to Recodia's own tables (glibc's iconv(3) and charmaps, Python's codecs,
// ICU's uconv), and the text of failure messages.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "test_support.hpp"

namespace recodia::test {

// The characters of bytes 0x80..0xFF; 0 where the source has no character.
using SourceHalf = std::array<char32_t, 128>;

enum class Source { iconv, charmap, python, uconv };
inline constexpr const char* kSourceNames[] = {"iconv", "charmap", "python", "uconv"};

// The upper half of a code page as one source has it, or nothing when the
// source is not installed (then `why` says what is missing). iconv(3) is part
// of the C library: a charset that it lacks throws instead.
std::optional<SourceHalf> upper_half_from(Source source, const std::string& name, std::string& why);

// glibc's character at a byte of a charset (0 where it has none).
char32_t glibc_char(const std::string& charset, int byte);

// The standard output of a shell command, or nothing when it fails.
std::optional<std::string> command_output(const std::string& command);

inline std::string byte_text(int b) { return "0x" + hex(Bytes(1, static_cast<char>(b))); }

inline std::string cp_text(char32_t c) {
  char buf[16];
  return std::string(buf, static_cast<std::size_t>(std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(c))));
}

}  // namespace recodia::test
