#include "convert/transliteration.hpp"

#include <cstddef>

namespace recodia {
namespace {

// Capitals keep only their first letter upper case ("Sch", "Ya").
constexpr const char* kCapitals[32] = {
    "A", "B", "V", "G", "D", "E", "J", "Z", "I", "Y", "K",  "L", "M", "N",  "O",  "P",
    "R", "S", "T", "U", "F", "H", "C", "Ch", "Sh", "Sch", "`", "Y", "`", "E", "Yu", "Ya"};
constexpr const char* kSmall[32] = {
    "a", "b", "v", "g", "d", "e", "j", "z", "i", "y", "k",  "l", "m", "n",  "o",  "p",
    "r", "s", "t", "u", "f", "h", "c", "ch", "sh", "sch", "`", "y", "`", "e", "yu", "ya"};
// Ё ё Є є Ї ї Ў ў at 0xF0..0xF7.
constexpr const char* kExtra[8] = {"Yo", "yo", "E", "e", "I", "i", "Y", "y"};

constexpr TransliterationTable build_transliteration_table() {
  TransliterationTable t{};
  for (auto& entry : t) entry = "";
  for (std::size_t i = 0; i < 32; ++i) t[0x80 + i] = kCapitals[i];
  for (std::size_t i = 0; i < 16; ++i) t[0xA0 + i] = kSmall[i];       // а..п
  for (std::size_t i = 16; i < 32; ++i) t[0xE0 + i - 16] = kSmall[i]; // р..я
  for (std::size_t i = 0; i < 8; ++i) t[0xF0 + i] = kExtra[i];
  return t;
}

constexpr TransliterationTable kTable = build_transliteration_table();

constexpr bool is_transliterated(std::uint8_t b) {
  return (b >= 0x80 && b <= 0xAF) || (b >= 0xE0 && b <= 0xF7);
}

}  // namespace

const TransliterationTable& transliteration_table() { return kTable; }

void apply_transliteration(ByteInProgress& byte, const ConversionSettings& settings) {
  const std::uint8_t b = byte.working;
  if (!is_transliterated(b)) return;
  byte.attach(kTable[b]);
  if (!settings.no_quote_signs) return;
  if (b == 0x9A || b == 0x9C) {  // Ъ Ь
    byte.string_pending = false;
    byte.working = 'Q';
  } else if (b == 0xEA || b == 0xEC) {  // ъ ь
    byte.string_pending = false;
    byte.working = 'q';
  }
}

}  // namespace recodia
