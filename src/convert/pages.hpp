// Every byte of every encoding as a character, in both directions: what a
// byte means when it is read, and which byte a target writes for a character.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "convert/characters.hpp"
#include "convert/encoding_id.hpp"

namespace recodia {

// Byte to character; kNoCharacter where the encoding defines none.
struct CodePage {
  std::array<Character, 256> characters;
};

// What the bytes of an encoding mean when read (transliteration, a target
// only, reads as ASCII).
const CodePage& read_page(EncodingId id);

// The byte that a target writes for `c`, if it has the character. That is
// the byte the target reads as `c`, but for the characters it reads at two
// places: KX writes Ж ж at 0xB0 0xB1 and has no Ё ё to write (Е е stand in);
// KOI-7 writes space, digits and punctuation in its Cyrillic half.
std::optional<std::uint8_t> written_byte(EncodingId id, Character c);

}  // namespace recodia
