#include "convert/transliteration.hpp"

#include <algorithm>
#include <array>

#include "convert/ascii_transliteration.hpp"

namespace recodia {
namespace {

// А..Я, then а..я, in alphabetical order.
constexpr std::array<std::u32string_view, 32> kCapitals = {
    U"A", U"B", U"V", U"G", U"D", U"E", U"J", U"Z", U"I", U"Y", U"K", U"L", U"M", U"N", U"O", U"P",
    U"R", U"S", U"T", U"U", U"F", U"H", U"C", U"Ch", U"Sh", U"Sch", U"`", U"Y", U"`", U"E", U"Yu", U"Ya"};
constexpr std::array<std::u32string_view, 32> kSmall = {
    U"a", U"b", U"v", U"g", U"d", U"e", U"j", U"z", U"i", U"y", U"k", U"l", U"m", U"n", U"o", U"p",
    U"r", U"s", U"t", U"u", U"f", U"h", U"c", U"ch", U"sh", U"sch", U"`", U"y", U"`", U"e", U"yu", U"ya"};

struct Extra {
  Character letter;
  std::u32string_view latin;
};
constexpr Extra kExtra[] = {{U'Ё', U"Yo"}, {U'ё', U"yo"}, {U'Є', U"E"}, {U'є', U"e"},
                            {U'Ї', U"I"},  {U'ї', U"i"},  {U'Ў', U"Y"}, {U'ў', U"y"}};

constexpr bool ascending(const auto& rows) {
  for (std::size_t i = 1; i < rows.size(); ++i)
    if (rows[i - 1].character >= rows[i].character) return false;
  return true;
}
static_assert(ascending(ascii_transliteration::kRows), "looked up by binary search");

}  // namespace

std::u32string_view transliteration_of(Character c, bool no_quote_signs) {
  if (no_quote_signs && (c == U'Ъ' || c == U'Ь')) return U"Q";
  if (no_quote_signs && (c == U'ъ' || c == U'ь')) return U"q";
  if (c >= U'А' && c <= U'Я') return kCapitals[c - U'А'];
  if (c >= U'а' && c <= U'я') return kSmall[c - U'а'];
  for (const Extra& e : kExtra)
    if (e.letter == c) return e.latin;
  return {};
}

std::optional<std::u32string_view> ascii_transliteration_of(Character c) {
  const auto& rows = ascii_transliteration::kRows;
  const auto it = std::lower_bound(rows.begin(), rows.end(), c, [](const auto& row, Character x) {
    return row.character < x;
  });
  if (it == rows.end() || it->character != c) return std::nullopt;
  return std::u32string_view(it->ascii);
}

}  // namespace recodia
