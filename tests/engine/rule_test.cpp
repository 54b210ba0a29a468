// The rule of what a character becomes, stated here on its own, over every
// byte of every source to every target, plain and with "-32", "-nstr" and
// "-html": read back through the target's code page, the output is the
// character where the target has it, else its first substitute that the
// target can show. The substitutes are Recodia's own data; the entities are
// held to HTML 4's list.
#include <algorithm>
#include <map>
#include <optional>

#include "convert/converter.hpp"
#include "convert/entities.hpp"
#include "convert/fallbacks.hpp"
#include "convert/pages.hpp"
#include "convert/registry.hpp"
#include "convert/transliteration.hpp"
#include "support.hpp"

namespace recodia::test {
namespace {

// A byte as the rule reads it. DOS text writes signs with the glyphs of
// control bytes (and has no entity for them); the smileys and the double
// exclamation mark, which it spells out, the rule leaves alone (nullopt).
struct SourceRead {
  Character c;
  bool control_symbol = false;
};
std::optional<SourceRead> read_by_rule(const ConversionSettings& s, int byte) {
  static const std::map<int, Character> kDosSigns = {{0x07, U'•'}, {0x14, U'¶'}, {0x15, U'§'}, {0x16, U'—'},
                                                     {0x01, 0},    {0x02, 0},    {0x13, 0},    {0x1C, 0}};
  const auto sign = kDosSigns.find(byte);
  if (!s.special_symbols || s.source != kDos866 || sign == kDosSigns.end())
    return SourceRead{read_page(s.source).characters[static_cast<std::size_t>(byte)]};
  if (sign->second == 0) return std::nullopt;
  return SourceRead{sign->second, true};
}

// What a target has: its characters (but KX writes Ё ё as Е е); the
// transliteration ASCII and the Cyrillic letters it spells.
bool target_has(EncodingId target, Character c) {
  if (is_unicode(encoding(target))) return true;
  if (target == kTransliteration) return c < 0x80 || !transliteration_of(c).empty();
  if (target == kKx && (c == U'Ё' || c == U'ё')) return false;
  return std::ranges::count(read_page(target).characters, c) != 0;
}

// The output as the target reads it; U+FFFD for a byte that it leaves undefined.
std::u32string read_back(EncodingId target, std::string_view bytes) {
  if (is_unicode(encoding(target))) return characters(iconv_convert(encoding(target).name.data(), "UTF-8", bytes));
  std::u32string out;
  for (unsigned char b : bytes) {
    const Character c = read_page(target).characters[b];
    out += c == kNoCharacter ? kReplacementCharacter : c;
  }
  return out;
}

// What the target reads for a text written in Latin letters, or as it is.
std::u32string spelled(EncodingId target, std::u32string_view text, bool no_quote_signs) {
  std::u32string out;
  for (Character c : text) out += target == kTransliteration && c >= 0x80 ? transliteration_of(c, no_quote_signs) : std::u32string(1, c);
  return out;
}

// The characters that the target must read back for `byte` of the source.
std::optional<std::u32string> by_rule(int byte, const ConversionSettings& s) {
  const EncodingId target = s.target;
  const auto read = read_by_rule(s, byte);
  if (!read) return std::nullopt;
  const Character c = read->c;
  const bool no_quote_signs = s.no_quote_signs && target == kTransliteration;
  if (c == kNoCharacter) {  // kept where the target reads the byte alike, else '?'
    const bool kept = read_page(s.source).characters == read_page(target).characters;
    return kept || is_unicode(encoding(target)) ? U"\uFFFD" : U"?";
  }
  // A quotation mark opens here (the byte comes first); ASCII passed on as it is stays straight.
  const bool ascii_as_is = has_trait(encoding(s.source), kAsciiAsIs) && byte < 0x80;
  const Character quote = c == '"' ? U'«' : U'‘';
  if ((c == '"' || c == '\'') && s.smart_quotes && !s.source_text && !ascii_as_is && target_has(target, quote))
    return std::u32string(1, quote);
  if (target_has(target, c)) return spelled(target, std::u32string(1, c), no_quote_signs);
  if (read->control_symbol && c == U'—') return U"_";
  // The first substitute that reads: the fallback; a Cyrillic letter's Latin
  // letters where the target has no Cyrillic; iconv's ASCII transliteration; '?'.
  const bool dos_target = has_trait(encoding(target), kDosGlyphs);
  const auto fallback = apply_fallback(c, s, dos_target);
  const auto readable = [&](Character x) {
    return is_printable_ascii(x) || (dos_target && s.special_symbols && is_dos_glyph(x)) ||
           (is_cyrillic_letter(x) && target_has(target, x));
  };
  std::u32string text;
  bool last_resort = false;
  if (fallback && std::ranges::all_of(fallback->text, readable) && readable(fallback->single)) {
    text = fallback->text.empty() ? std::u32string(1, fallback->single) : std::u32string(fallback->text);
    if (!s.strings_allowed) text = std::u32string(1, fallback->single);
  } else if (is_cyrillic_letter(c) && encoding(target).script != Script::cyrillic) {
    std::u32string letters = transliteration_of(c).empty() ? std::u32string(fallback->text) : std::u32string(1, c);
    if (letters.empty()) letters = std::u32string(1, fallback->single);
    for (Character letter : letters) text += transliteration_of(letter, no_quote_signs);
    if (!s.strings_allowed) text.resize(1);
  } else {
    text = ascii_transliteration_of(c).value_or(U"?");
    if (!s.strings_allowed) text.resize(std::min<std::size_t>(text.size(), 1));
    last_resort = true;
  }
  if (s.html && !s.no_html_entities && !read->control_symbol && s.strings_allowed) {
    if (!html_entity(c).empty()) text = html_entity(c);
    const std::string number = std::to_string(c);
    if (html_entity(c).empty() && last_resort && c != kReplacementCharacter && (c < 0x80 || c > 0x9F)) text = U"&#" + std::u32string(number.begin(), number.end()) + U";";
  }
  return spelled(target, text, no_quote_signs);
}

TEST(Rule, EveryByteOfEverySourceToEveryTarget) {
  int exceptions = 0;
  std::string shown;
  for (const char* mode : {"-ni", "-32", "-nstr", "-html"}) {
    for (const Encoding& source : kEncodings) {
      if (!is_single_byte_source(source)) continue;
      for (const Encoding& target : kEncodings) {
        if (!is_target(target)) continue;
        const auto s = resolved({std::string(source.source_switches[0]), std::string(target.target_switches[0]), mode});
        for (int b = 0; b < 256; ++b) {
          const auto expected = by_rule(b, s);
          if (!expected) continue;
          Converter converter(s);
          const Converted out = converter.convert_byte(static_cast<std::uint8_t>(b));
          const Bytes bytes(out.bytes.begin(), out.bytes.begin() + out.size);
          // With "-html" no substitute holds markup.
          const Character c = read_by_rule(s, b)->c;
          const std::u32string read = read_back(s.target, bytes);
          const bool markup = s.html && c != '<' && c != '>' && read.find_first_of(U"<>") != std::u32string::npos;
          if ((read == *expected && !markup) || ++exceptions > 20) continue;
          shown += std::string(source.name) + " to " + std::string(target.name) + " " + mode + ", byte " +
                   hex(Bytes(1, static_cast<char>(b))) + ": wrote " + hex(bytes) + "\n";
        }
      }
    }
  }
  EXPECT_EQ(exceptions, 0) << shown;
}

// Every entity is the one HTML 4 has for its character, or one of the
// stand-ins listed with HTML 4's list (tests/data/html4-entities.txt); and
// every character HTML 4 names is written by that name.
TEST(Rule, EntitiesAreThoseOfHtml4) {
  std::map<std::u32string, std::vector<Character>> named;
  std::map<Character, std::vector<std::u32string>> names;
  for (const auto& row : data_rows("html4-entities.txt", ' ')) {
    const std::string entity = "&" + row[0] + ";";
    const auto c = static_cast<Character>(std::stoul(row[1], nullptr, 16));
    named[std::u32string(entity.begin(), entity.end())].push_back(c);
    names[c].emplace_back(entity.begin(), entity.end());
  }
  for (const auto& [c, entities] : names)
    EXPECT_EQ(std::ranges::count(entities, std::u32string(html_entity(c))), 1) << "U+" << std::hex << static_cast<unsigned>(c);
  int with_entity = 0;
  for (const Encoding& e : kEncodings) {
    for (const Character c : read_page(e.id).characters) {
      if (html_entity(c).empty()) continue;
      ++with_entity;
      EXPECT_EQ(std::ranges::count(named[std::u32string(html_entity(c))], c), 1) << e.name << " U+" << std::hex << static_cast<unsigned>(c);
    }
  }
  EXPECT_GT(with_entity, 500);
}

}  // namespace
}  // namespace recodia::test
