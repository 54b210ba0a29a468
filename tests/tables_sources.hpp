// Code page data from sources that have nothing to do with Recodia's own
// tables: glibc's iconv(3) and charmaps, Python's codecs and ICU's uconv. The
// table tests compare every byte of Recodia's tables against these.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace recodia::test {

// The characters of bytes 0x80..0xFF; 0 where the source has no character.
using SourceHalf = std::array<char32_t, 128>;

enum class Source { iconv, charmap, python, uconv };

const char* source_name(Source source);

// The upper half of a code page as one source has it, or nothing when the
// source is not installed on this machine (then `why` says what is missing).
// iconv(3) is part of the C library and always there: a charset that it does
// not know is reported as missing too, and the callers treat that as a fault.
std::optional<SourceHalf> upper_half_from(Source source, const std::string& name, std::string& why);

// Announces a code page that will be asked for, so that sources that are slow
// to start can answer several at once.
void prefetch(Source source, const std::string& name);

// One byte decoded by iconv(3): its code point, or 0 when the charset has no
// character there. Throws when iconv does not know the charset.
char32_t iconv_decode(const char* charset, std::uint8_t byte);

// The byte of one character in a charset by iconv(3), or nothing when the
// charset lacks it (or would need more than one byte). Throws when iconv does
// not know the charset.
std::optional<std::uint8_t> iconv_encode(const char* charset, char32_t character);

// The Russian alphabet: the 33 capitals and 33 small letters (Ё and ё included).
bool is_russian_letter(char32_t c);

}  // namespace recodia::test
