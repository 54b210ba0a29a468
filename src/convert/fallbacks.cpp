#include "convert/fallbacks.hpp"

#include <algorithm>

namespace recodia {
namespace {

// Some fallbacks are settings or depend on the target rather than constants:
// the stand-in for typographic double quotes, and the four DOS signs.
enum class Stand : std::uint8_t { literal, double_quote, dash, section, paragraph, bullet };

struct FallbackRow {
  Character character;
  Character single;
  std::u32string_view text = {};
  Stand stand = Stand::literal;
};

constexpr FallbackRow sign(Character c, Stand stand) { return {c, 0, {}, stand}; }

constexpr FallbackRow kRows[] = {
    // Box drawing and blocks (the corners, tees, crossings and blocks are below).
    {U'─', '-'}, {U'│', '|'}, {U'⌠', 'f'}, {U'■', '+'}, {U'⌡', 'j'}, {U'═', '-'}, {U'║', '|'},
    // Mathematical signs.
    {U'√', 'V', U"sqrt "}, {U'≈', '=', U"=~="}, {U'≤', '<', U"<="}, {U'≥', '>', U">="}, {U'÷', '/'},
    {U'≠', '\\', U"=/="}, {U'∞', '@', U"OXO"}, {U'∂', 'd'},
    // Cyrillic letters beyond the Russian alphabet, and the numero sign.
    {U'Ђ', 'T', U"Th"}, {U'Ѓ', U'Г'}, {U'Є', 'E'}, {U'Ѕ', 'S'}, {U'І', 'I'}, {U'Ї', 'I'}, {U'Ј', 'J'},
    {U'Љ', U'Л', U"ЛЬ"}, {U'Њ', U'Н', U"НЬ"}, {U'Ћ', 'T', U"Th"}, {U'Ќ', 'K'}, {U'Ў', 'Y'}, {U'Џ', 'U'},
    {U'№', 'N', U"No."}, {U'ђ', 'h'}, {U'ѓ', U'г'}, {U'є', 'e'}, {U'ѕ', 's'}, {U'і', 'i'}, {U'ї', 'i'},
    {U'ј', 'j'}, {U'љ', U'л', U"ль"}, {U'њ', U'н', U"нь"}, {U'ћ', 'h'}, {U'ќ', 'K'}, {U'ў', 'y'}, {U'џ', 'u'},
    {U'Ґ', U'Г'}, {U'ґ', U'г'},
    // The Cyrillic targets that lack these letters (KX, KOI-7) write their neighbours.
    {U'Ё', U'Е'}, {U'ё', U'е'}, {U'Ъ', U'Ь'},
    // Punctuation, quotation marks and typographic signs.
    {U'‚', '`'}, {U'ƒ', 'f'}, sign(U'„', Stand::double_quote), {U'…', '.', U"..."}, {U'†', '+'}, {U'‡', '+'},
    {U'ˆ', '^'}, {U'‰', '%', U"O/oo"}, {U'‹', '<'}, {U'‘', '`'}, {U'’', '`'}, sign(U'“', Stand::double_quote),
    sign(U'”', Stand::double_quote), sign(U'•', Stand::bullet), {U'–', '-'}, sign(U'—', Stand::dash),
    {U'™', 'T', U"(TM)"}, {U'›', '>'}, {U'¡', '!'}, {U'¤', '@'}, {U'¦', '|'}, sign(U'§', Stand::section),
    {U'©', 'c', U"(C)"}, {U'ª', 'a'}, {U'«', 0, U"<<", Stand::double_quote}, {U'¬', '-', U"(NOT)"},
    {U'®', 'R', U"(R)"}, sign(U'¯', Stand::dash), {U'°', 'o'}, {U'±', '+', U"+-"}, {U'²', '2'}, {U'³', '3'},
    {U'´', '`'}, sign(U'¶', Stand::paragraph), sign(U'·', Stand::bullet), {U'¸', ','}, {U'¹', '1'},
    {U'»', 0, U">>", Stand::double_quote}, {U'¼', '/', U"1/4"}, {U'½', '/', U"1/2"}, {U'¾', '/', U"3/4"},
    {U'¿', '?'}, {U'µ', 'm', U"mu"},
    // Look-alikes that share the fallback of a similar sign.
    {U'º', 'o'}, sign(U'∙', Stand::bullet),
    // Latin letters and currency.
    {U'Š', 'S', U"S^"}, {U'Œ', 'O', U"OE"}, {U'Ž', 'Z', U"Z^"}, {U'š', 's', U"s^"}, {U'œ', 'o', U"oe"},
    {U'ž', 'z', U"z^"}, {U'Ÿ', 'Y'}, {U'¢', 'c', U"cents"}, {U'£', 'L', U"Pounds"}, {U'¥', 'Y', U"Y="},
    {U'ß', 'b'},
};

// With "-html" these fall back without '<' or '>', which would be markup.
constexpr FallbackRow kHtmlRows[] = {
    {U'≤', '_', U"LE"}, {U'≥', '_', U"GE"}, {U'‹', '`'}, {U'›', '`'}, {U'«', '`', U"``"}, {U'»', '`', U"``"},
};

constexpr std::u32string_view kPlusSigns = U"┌┐└┘├┤┬┴┼▀▄█▌▐░▒▓╒╓╔╕╖╗╘╙╚╛╜╝╞╟╠╡╢╣╤╥╦╧╨╩╪╫╬";
constexpr FallbackRow kPlus{0, '+'};

template <std::size_t N>
const FallbackRow* find_row(const FallbackRow (&rows)[N], Character c) {
  const FallbackRow* row = std::find_if(std::begin(rows), std::end(rows), [c](const FallbackRow& r) {
    return r.character == c;
  });
  return row == std::end(rows) ? nullptr : row;
}

Character single_of(const FallbackRow& row, const ConversionSettings& s, bool dos_glyphs) {
  const bool glyph = s.special_symbols && dos_glyphs;
  switch (row.stand) {
    case Stand::literal: return row.single;
    case Stand::double_quote: return s.double_quote_byte;
    case Stand::dash: return glyph ? kDashGlyph : '-';
    case Stand::section: return glyph ? kSectionGlyph : '&';
    case Stand::paragraph: return glyph ? kParagraphGlyph : '$';
    case Stand::bullet: return glyph ? kBulletGlyph : '.';
  }
  return row.single;
}

}  // namespace

std::optional<Substitute> apply_fallback(Character c, const ConversionSettings& settings, bool dos_glyphs) {
  const FallbackRow* row = settings.html ? find_row(kHtmlRows, c) : nullptr;
  if (row == nullptr) row = find_row(kRows, c);
  if (row == nullptr && kPlusSigns.find(c) != std::u32string_view::npos) row = &kPlus;
  if (row == nullptr) return std::nullopt;
  return Substitute{row->text, single_of(*row, settings, dos_glyphs)};
}

}  // namespace recodia
