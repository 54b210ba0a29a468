// Characters as Unicode numbers them: the engine's common currency between
// reading a byte and writing one.
#pragma once

namespace recodia {

// A Unicode scalar value.
using Character = char32_t;

// Stands for no character: a byte that its code page leaves undefined. It
// lies outside Unicode, so no code page or decoder can hold it.
inline constexpr Character kNoCharacter = 0x110000;

inline constexpr Character kReplacementCharacter = U'\uFFFD';

constexpr bool is_printable_ascii(Character c) { return c >= 0x20 && c < 0x7F; }

// The letters of the Cyrillic blocks (the signs U+0482..U+0489 are not letters).
constexpr bool is_cyrillic_letter(Character c) { return (c >= 0x400 && c <= 0x481) || (c >= 0x48A && c <= 0x52F); }

}  // namespace recodia
