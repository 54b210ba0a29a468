#include "convert/fallbacks.hpp"

#include <array>
#include <cstddef>
#include <cstdint>

namespace recodia {
namespace {

// Some fallback bytes are settings rather than constants: the byte that
// stands in for typographic double quotes, and the four DOS sign bytes.
enum class ByteFrom : std::uint8_t { literal, double_quote, dash, section, paragraph, bullet };

struct FallbackRow {
  SymbolCode code;
  std::uint8_t byte;
  const char* string;  // nullptr: no fallback string
  ByteFrom from = ByteFrom::literal;
};

constexpr FallbackRow setting(SymbolCode code, ByteFrom from, const char* string = nullptr) {
  return {code, 0, string, from};
}

// Strings are stored in the pivot code page; the four made of Cyrillic
// letters are re-encoded for the target with every replacement string.
constexpr FallbackRow kRows[] = {
    // Box drawing and blocks (the '+' ranges are added below).
    {300, '-', nullptr}, {301, '|', nullptr}, {319, 'f', nullptr}, {320, '+', nullptr},
    {327, 'j', nullptr}, {332, '-', nullptr}, {333, '|', nullptr},
    // Mathematical signs.
    {322, 'V', "sqrt "}, {323, '=', "=~="}, {324, '<', "<="}, {325, '>', ">="},
    {331, '/', nullptr}, {613, '\\', "=/="}, {616, '@', "OXO"}, {622, 'd', nullptr},
    // Cyrillic letters outside the pivot code page.
    {402, 'T', "Th"}, {403, 0x83, nullptr}, {404, 'E', nullptr}, {405, 'S', nullptr},
    {406, 'I', nullptr}, {407, 'I', nullptr}, {408, 'J', nullptr},
    {409, 0x8B, "\x8B\x9C"},  // ЛЬ
    {410, 0x8D, "\x8D\x9C"},  // НЬ
    {411, 'T', "Th"}, {412, 'K', nullptr}, {413, 'Y', nullptr}, {414, 'U', nullptr},
    {416, 'N', "No."}, {418, 'h', nullptr}, {419, 0xA3, nullptr}, {420, 'e', nullptr},
    {421, 's', nullptr}, {422, 'i', nullptr}, {423, 'i', nullptr}, {424, 'j', nullptr},
    {425, 0xAB, "\xAB\xEC"},  // ль
    {426, 0xAD, "\xAD\xEC"},  // нь
    {427, 'h', nullptr}, {428, 'K', nullptr}, {430, 'y', nullptr}, {431, 'u', nullptr},
    {450, 0x83, nullptr}, {451, 0xA3, nullptr},
    // Punctuation, quotation marks and typographic signs.
    {502, '`', nullptr}, {503, 'f', nullptr}, setting(504, ByteFrom::double_quote),
    {505, '.', "..."}, {506, '+', nullptr}, {507, '+', nullptr}, {508, '^', nullptr},
    {509, '%', "O/oo"}, {511, '<', nullptr}, {517, '`', nullptr}, {518, '`', nullptr},
    setting(519, ByteFrom::double_quote), setting(520, ByteFrom::double_quote),
    setting(521, ByteFrom::bullet), {522, '-', nullptr}, setting(523, ByteFrom::dash),
    {525, 'T', "(TM)"}, {527, '>', nullptr}, {533, '!', nullptr}, {536, '@', nullptr},
    {538, '|', nullptr}, setting(539, ByteFrom::section), {541, 'c', "(C)"},
    {542, 'a', nullptr}, setting(543, ByteFrom::double_quote, "<<"), {544, '-', "(NOT)"},
    {545, 'R', "(R)"}, setting(546, ByteFrom::dash), {548, 'o', nullptr}, {549, '+', "+-"},
    {550, '2', nullptr}, {551, '3', nullptr}, {552, '`', nullptr},
    setting(554, ByteFrom::paragraph), setting(555, ByteFrom::bullet), {556, ',', nullptr},
    {557, '1', nullptr}, setting(559, ByteFrom::double_quote, ">>"), {560, '/', "1/4"},
    {561, '/', "1/2"}, {562, '/', "3/4"}, {563, '?', nullptr}, {860, 'm', "mu"},
    // Latin letters and currency.
    {510, 'S', "S^"}, {512, 'O', "OE"}, {514, 'Z', "Z^"}, {526, 's', "s^"},
    {528, 'o', "oe"}, {530, 'z', "z^"}, {531, 'Y', nullptr}, {534, 'c', "cents"},
    {535, 'L', "Pounds"}, {537, 'Y', "Y="}, {607, 'b', nullptr},
};

// With "-html" these codes fall back without '<' or '>', which would be markup.
constexpr FallbackRow kHtmlRows[] = {
    {324, '_', "LE"}, {325, '_', "GE"}, {511, '`', nullptr}, {527, '`', nullptr},
    {543, '`', "``"}, {559, '`', "``"},
};

constexpr std::size_t kIndexSize = kLastSymbolCode - kFirstSymbolCode + 1;
constexpr std::int16_t kNoRow = -1;
constexpr std::int16_t kPlusRow = -2;  // the corners, tees, crossings and blocks

using RowIndex = std::array<std::int16_t, kIndexSize>;

template <std::size_t N>
constexpr RowIndex index_rows(const FallbackRow (&rows)[N], bool with_plus_ranges) {
  RowIndex index{};
  for (auto& slot : index) slot = kNoRow;
  if (with_plus_ranges) {
    for (SymbolCode c = 302; c <= 318; ++c) index[static_cast<std::size_t>(c - kFirstSymbolCode)] = kPlusRow;
    for (SymbolCode c = 334; c <= 362; ++c) index[static_cast<std::size_t>(c - kFirstSymbolCode)] = kPlusRow;
  }
  for (std::size_t i = 0; i < N; ++i) {
    auto& slot = index[static_cast<std::size_t>(rows[i].code - kFirstSymbolCode)];
    if (slot >= 0) throw "a symbol code has two fallback rows";
    slot = static_cast<std::int16_t>(i);
  }
  return index;
}

constexpr RowIndex kRowIndex = index_rows(kRows, true);
constexpr RowIndex kHtmlRowIndex = index_rows(kHtmlRows, false);

std::uint8_t fallback_byte(const FallbackRow& row, const ConversionSettings& s) {
  switch (row.from) {
    case ByteFrom::literal: return row.byte;
    case ByteFrom::double_quote: return s.double_quote_byte;
    case ByteFrom::dash: return s.dash_byte;
    case ByteFrom::section: return s.section_byte;
    case ByteFrom::paragraph: return s.paragraph_byte;
    case ByteFrom::bullet: return s.bullet_byte;
  }
  return row.byte;
}

}  // namespace

void apply_fallback(ByteInProgress& byte, const ConversionSettings& settings) {
  if (byte.code < kFirstSymbolCode || byte.code > kLastSymbolCode) return;
  const auto slot = static_cast<std::size_t>(byte.code - kFirstSymbolCode);
  const FallbackRow* row = nullptr;
  if (settings.html && kHtmlRowIndex[slot] >= 0) {
    row = &kHtmlRows[kHtmlRowIndex[slot]];
  } else if (kRowIndex[slot] == kPlusRow) {
    byte.working = '+';
    return;
  } else if (kRowIndex[slot] >= 0) {
    row = &kRows[kRowIndex[slot]];
  } else {
    return;
  }
  byte.working = fallback_byte(*row, settings);
  if (row->string != nullptr) byte.attach(row->string);
}

}  // namespace recodia
