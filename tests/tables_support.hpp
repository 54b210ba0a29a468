// What the table tests share: code page data from sources that owe nothing
// to Recodia's own tables (glibc's iconv(3) and charmaps, Python's codecs,
// ICU's uconv), one byte through the converter, and the text of failure
// messages.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "convert/converter.hpp"
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

// glibc's character at a byte of a charset (0 where it has none), and the
// byte of a character (nothing where the charset lacks it).
char32_t glibc_char(const std::string& charset, int byte);
std::optional<std::uint8_t> glibc_byte(const std::string& charset, char32_t character);

inline std::string byte_text(int b) { return "0x" + hex(Bytes(1, static_cast<char>(b))); }

inline std::string cp_text(char32_t c) {
  char buf[16];
  return std::string(buf, static_cast<std::size_t>(std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(c))));
}

// The 33 capitals and 33 small letters of the Russian alphabet.
inline bool is_russian_letter(char32_t c) { return (c >= 0x0410 && c <= 0x044F) || c == 0x0401 || c == 0x0451; }

struct Outcome {
  int byte;  // what the run writes when it writes a byte
  bool string_pending;
};

// One byte through a fresh converter with the default settings but for the
// source and the target.
inline Outcome convert_one(EncodingId source, EncodingId target, std::uint8_t input) {
  ConversionSettings settings;
  settings.source = source;
  settings.target = target;
  Converter converter(settings);
  const std::uint8_t out = converter.convert_byte(input);
  return {out == 0 ? input : out, converter.result().string_pending};
}

}  // namespace recodia::test
