// Every byte of every encoding as a character, in both directions: what a
// byte means when it is read, and which byte a target writes for a character.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "convert/characters.hpp"
#include "convert/encoding_id.hpp"
#include "convert/registry.hpp"

namespace recodia {

// Byte to character; kNoCharacter where the encoding defines none.
struct CodePage {
  std::array<Character, 256> characters;
};

// What the bytes of an encoding mean when read: ASCII, and above it the upper
// half of its published code page (none for the encodings that are no code
// page; which those are is told by their form: a pointer compared with null
// is no constant under the address sanitizer).
constexpr CodePage read_page_of(const Encoding& e) {
  const bool has_upper_half = e.form != Form::transliteration && !is_unicode(e);
  CodePage p{};
  for (std::size_t b = 0; b < 256; ++b) {
    const Character c = b < 0x80 ? static_cast<Character>(b) : has_upper_half ? (*e.upper_half)[b - 0x80] : 0;
    // 0 marks an undefined place in the generated maps (byte 0 is NUL itself).
    p.characters[b] = b >= 0x80 && c == 0 ? kNoCharacter : c;
  }
  if (e.form == Form::kx) {
    p.characters[0xB0] = U'Ж';
    p.characters[0xB1] = U'ж';
  } else if (e.form == Form::koi7) {
    p.characters[0x24] = U'¤';
    for (std::size_t b = 0x80; b < 0xC0; ++b)
      p.characters[b] = b >= 0xA0 ? static_cast<Character>(b - 0x80) : kNoCharacter;
    p.characters[0xFF] = kNoCharacter;  // KOI-7 has no Ъ
  }
  return p;
}

// The same, worked out while compiling (transliteration, a target only, and
// the Unicode encodings read as ASCII here).
const CodePage& read_page(EncodingId id);

// The byte that a target writes for `c`, if it has the character. That is
// the byte the target reads as `c`, but for the characters it reads at two
// places: KX writes Ж ж at 0xB0 0xB1 and has no Ё ё to write (Е е stand in);
// KOI-7 writes space, digits and punctuation in its Cyrillic half.
std::optional<std::uint8_t> written_byte(EncodingId id, Character c);

}  // namespace recodia
