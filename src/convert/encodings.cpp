#include "convert/encodings.hpp"

#include <cstddef>

#include "convert/code_pages.hpp"

namespace recodia {
namespace {

using code_pages::UpperHalf;

// The pivot byte of a Russian letter, 0 for any other character.
constexpr std::uint8_t pivot_of(char32_t c) {
  for (std::size_t i = 0; i < 128; ++i)
    if (code_pages::kDos866[i] == c && is_pivot_letter(static_cast<std::uint8_t>(0x80 + i)))
      return static_cast<std::uint8_t>(0x80 + i);
  return 0;
}

constexpr LetterTable letters_of(const UpperHalf& page) {
  LetterTable t{};
  int letters = 0;
  for (std::size_t i = 0; i < 128; ++i) {
    t[0x80 + i] = pivot_of(page[i]);
    letters += t[0x80 + i] != 0;
  }
  if (letters != 66) throw "a Cyrillic code page must hold the 66 Russian letters";
  return t;
}

// KOI-7 in 8-bit form: 0xC0..0xFE are the KOI8-R letters (no Ъ at 0xFF and no
// Ё/ё), 0xA0..0xBF the space, digits and punctuation of the Cyrillic half,
// and 0x24 the currency sign that KOI-7 has where ASCII has the dollar.
constexpr LetterTable koi7_from(const LetterTable& koi8r) {
  LetterTable t{};
  for (int b = 0xC0; b <= 0xFE; ++b) t[static_cast<std::size_t>(b)] = koi8r[static_cast<std::size_t>(b)];
  for (int b = 0xA0; b <= 0xBF; ++b) t[static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(b - 0x80);
  t[0x24] = 0xFD;
  return t;
}

constexpr LetterTables build_letter_tables() {
  LetterTables t;
  t.koi8r = letters_of(code_pages::kKoi8r);
  t.dos855 = letters_of(code_pages::kDos855);
  t.mac_cyrillic = letters_of(code_pages::kMacCyrillic);
  t.iso8859_5 = letters_of(code_pages::kIso8859_5);
  t.koi7 = koi7_from(t.koi8r);
  return t;
}

constexpr LetterTables kLetterTables = build_letter_tables();

// `find_letter` of every byte, worked out while compiling, so that output
// costs one read instead of a scan: each byte is its own answer unless some
// index holds it, and a downward pass leaves the lowest such index.
constexpr LetterTable reverse_of(const LetterTable& table) {
  LetterTable r{};
  for (int c = 0; c < 256; ++c) r[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(c);
  for (int i = 255; i >= 0; --i) r[table[static_cast<std::size_t>(i)]] = static_cast<std::uint8_t>(i);
  return r;
}

struct ReverseTables {
  LetterTable koi8r, dos855, mac_cyrillic, iso8859_5, koi7;
};

constexpr ReverseTables kReverse = {
    reverse_of(kLetterTables.koi8r),        reverse_of(kLetterTables.dos855),
    reverse_of(kLetterTables.mac_cyrillic), reverse_of(kLetterTables.iso8859_5),
    reverse_of(kLetterTables.koi7),
};

// The letter table that decodes a source, or nullptr when the source's bytes
// are used as they are.
constexpr const LetterTable* source_letters(EncodingId id) {
  switch (id) {
    case kKoi8r: case kIsoIr111: case kKoi8u: return &kLetterTables.koi8r;
    case kDos855: return &kLetterTables.dos855;
    case kMacCyrillic: case kMacUkrainian: return &kLetterTables.mac_cyrillic;
    case kIso8859_5: return &kLetterTables.iso8859_5;
    case kKoi7: return &kLetterTables.koi7;
    default: return nullptr;
  }
}

// The reverse table that writes pivot letters in a target (KOI-7 uses KOI8-R's
// for replacement strings: it places the letters where KOI-7's 8-bit form does).
constexpr const LetterTable* target_reverse(EncodingId id, bool koi7_as_koi8r) {
  switch (id) {
    case kKoi8r: case kIsoIr111: case kKoi8u: return &kReverse.koi8r;
    case kDos855: return &kReverse.dos855;
    case kMacCyrillic: case kMacUkrainian: return &kReverse.mac_cyrillic;
    case kIso8859_5: return &kReverse.iso8859_5;
    case kKoi7: return koi7_as_koi8r ? &kReverse.koi8r : &kReverse.koi7;
    default: return nullptr;
  }
}

// The letters that KOI-7 lacks, written as their nearest neighbours.
constexpr std::uint8_t koi7_substitute(std::uint8_t p) {
  switch (p) {
    case 0xF0: return 0x85;  // Ё as Е
    case 0xF1: return 0xA5;  // ё as е
    case 0x9A: return 0x9C;  // Ъ as Ь
    case 0xF2: return 0x9D;  // Є as Э
    case 0xF3: return 0xED;  // є as э
    case 0xF4: return 0x49;  // Ї as Latin I
    case 0xF5: return 0x69;  // ї as Latin i
    case 0xF6: return 0x93;  // Ў as У
    case 0xF7: return 0xE3;  // ў as у
    case 0xFC: return 0x4E;  // № as Latin N
    default: return p;
  }
}

constexpr std::uint8_t windows1251_to_pivot(std::uint8_t b) {
  if (b >= 0xF0) return static_cast<std::uint8_t>(b - 0x10);
  if (b >= 0xC0) return static_cast<std::uint8_t>(b - 0x40);
  if (b == 0xA8) return 0xF0;
  if (b == 0xB8) return 0xF1;
  return b;
}

constexpr std::uint8_t pivot_to_windows1251(std::uint8_t p, bool special_symbols) {
  if (p >= 0x80 && p <= 0xAF) return static_cast<std::uint8_t>(p + 0x40);
  if (p >= 0xE0 && p <= 0xEF) return static_cast<std::uint8_t>(p + 0x10);
  if (p == 0xF0) return 0xA8;
  if (p == 0xF1) return 0xB8;
  if (special_symbols) {
    // The DOS control-range glyphs that stand for these signs while special
    // symbols are on: bullet, pilcrow, section sign, dash (as soft hyphen).
    switch (p) {
      case 0x07: return 0x95;
      case 0x14: return 0xB6;
      case 0x15: return 0xA7;
      case 0x16: return 0xAD;
      default: break;
    }
  }
  return p;
}

constexpr std::uint8_t pivot_to_kx(std::uint8_t p) {
  switch (p) {
    case 0xF0: return 0x85;  // Ё as Е
    case 0xF1: return 0xA5;  // ё as е
    case 0x86: return 0xB0;  // Ж
    case 0xA6: return 0xB1;  // ж
    default: return p;
  }
}

}  // namespace

const LetterTables& letter_tables() { return kLetterTables; }

std::uint8_t source_to_pivot(EncodingId source, std::uint8_t byte) {
  if (const LetterTable* table = source_letters(source)) return (*table)[byte];
  switch (source) {
    case kKx:
      if (byte == 0xB0) return 0x86;
      if (byte == 0xB1) return 0xA6;
      return byte;
    case kWindows1251: return windows1251_to_pivot(byte);
    default: return byte;  // DOS 866 and the Turkish and West-European code pages
  }
}

std::uint8_t pivot_to_target(EncodingId target, std::uint8_t pivot, bool special_symbols) {
  switch (target) {
    case kKx: return pivot_to_kx(pivot);
    case kWindows1251: return pivot_to_windows1251(pivot, special_symbols);
    case kKoi7: return kReverse.koi7[koi7_substitute(pivot)];
    default: break;
  }
  if (const LetterTable* reverse = target_reverse(target, false)) return (*reverse)[pivot];
  return pivot;  // DOS 866, transliteration, the Turkish and West-European code pages
}

void reencode_string(char* s, EncodingId target) {
  const LetterTable* reverse = target_reverse(target, true);
  if (reverse == nullptr) return;
  for (; *s != '\0'; ++s)
    *s = static_cast<char>((*reverse)[static_cast<std::uint8_t>(*s)]);
}

}  // namespace recodia
