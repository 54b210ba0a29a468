// Readable stand-ins for characters that a target lacks: Recodia's own
// fallbacks, a one-byte form for every character that has a rule and for many
// a spelled-out string as well.
#pragma once

#include <optional>
#include <string_view>

#include "convert/characters.hpp"
#include "convert/settings.hpp"

namespace recodia {

// What is written for a character that the target lacks: `text` where strings
// are allowed (or `single` when there is no text), `single` alone with "-nstr".
struct Substitute {
  std::u32string_view text;
  Character single = kNoCharacter;  // kNoCharacter: nothing at all
  // The text is Cyrillic letters to be written in their Latin transliteration.
  bool latin = false;
};

// The control-range bytes that DOS screens draw as the dash, the section
// sign, the pilcrow and the bullet.
inline constexpr Character kDashGlyph = 0x16, kSectionGlyph = 0x15, kParagraphGlyph = 0x14, kBulletGlyph = 0x07;

constexpr bool is_dos_glyph(Character c) {
  return c == kDashGlyph || c == kSectionGlyph || c == kParagraphGlyph || c == kBulletGlyph;
}

// The fallback of a character, if it has one. The signs that DOS text writes
// with control-range glyphs fall back to the glyph where `dos_glyphs` (a DOS
// target, special symbols on), else to a readable form: '-' for the dash and
// macron, '&' for the section sign, '$' for the pilcrow, '.' for the bullet
// and the dots.
std::optional<Substitute> apply_fallback(Character c, const ConversionSettings& settings, bool dos_glyphs);

}  // namespace recodia
