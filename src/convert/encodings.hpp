// The pivot code page (DOS 866) and the letter part of every encoding: how a
// source byte becomes a pivot letter and how a pivot letter becomes a target
// byte. Everything else travels as a symbol code.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "convert/encoding_id.hpp"

namespace recodia {

// A byte of one encoding to the pivot letter at that position, 0 for no letter.
using LetterTable = std::array<std::uint8_t, 256>;

struct LetterTables {
  LetterTable koi8r{};        // also KOI8-U and ISO-IR-111
  LetterTable dos855{};
  LetterTable mac_cyrillic{};  // also Mac Ukrainian
  LetterTable iso8859_5{};
  LetterTable koi7{};          // KOI-7 in its 8-bit form: the high bit marks the Cyrillic half
};

// Derived at compile time from the published code pages.
const LetterTables& letter_tables();

// Pivot letters: А..Я 0x80..0x9F, а..п 0xA0..0xAF, р..я 0xE0..0xEF, Ё 0xF0, ё 0xF1.
constexpr bool is_pivot_letter(std::uint8_t b) {
  return (b >= 0x80 && b <= 0xAF) || (b >= 0xE0 && b <= 0xF1);
}

// The pivot byte of a source byte: the pivot letter, the byte itself, or 0
// when a letter-table encoding has no Russian letter there.
std::uint8_t source_to_pivot(EncodingId source, std::uint8_t byte);

// The letter part of the output: the working byte encoded for the target.
std::uint8_t pivot_to_target(EncodingId target, std::uint8_t pivot, bool special_symbols);

// The first index whose entry equals `c`; `c` itself when none does.
constexpr std::uint8_t find_letter(std::uint8_t c, const LetterTable& table) {
  for (int i = 0; i < 256; ++i)
    if (table[static_cast<std::size_t>(i)] == c) return static_cast<std::uint8_t>(i);
  return c;
}

// Rewrites a NUL-terminated replacement string in place from pivot letters
// into the target's letters; ASCII is left alone.
void reencode_string(char* s, EncodingId target);

}  // namespace recodia
