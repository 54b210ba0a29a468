// The rule of what a character becomes, stated on its own: for a byte of a
// source, the characters that the target must read back from the output. The
// substitutes are Recodia's own data (fallbacks, entities, transliterations);
// which of them applies, and what the bytes read as, is worked out here.
#pragma once

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/options.hpp"
#include "convert/converter.hpp"
#include "convert/entities.hpp"
#include "convert/fallbacks.hpp"
#include "convert/pages.hpp"
#include "convert/registry.hpp"
#include "convert/transliteration.hpp"
#include "test_support.hpp"

namespace recodia::test {

inline ConversionSettings resolved(const std::vector<std::string_view>& switches) {
  ConversionSettings settings;
  CommandLine command_line;
  parse_arguments(switches, settings, command_line);
  resolve_settings(settings, command_line);
  return settings;
}

// A byte of a source as the rule reads it: its character, and whether it is
// one of DOS 866's control symbols (which have no entity), or one that DOS
// text spells out (the smileys, the double exclamation mark) and the rule
// leaves alone.
struct SourceRead {
  Character c;
  bool control_symbol = false;
  bool spelled_out = false;
};

inline SourceRead read_by_rule(EncodingId source, int byte, bool special_symbols) {
  if (special_symbols && source == kDos866) {
    switch (byte) {
      case 0x07: return {U'•', true};
      case 0x14: return {U'¶', true};
      case 0x15: return {U'§', true};
      case 0x16: return {U'—', true};
      case 0x01: case 0x02: case 0x13: case 0x1C: return {kNoCharacter, true, true};
      default: break;
    }
  }
  return {read_page(source).characters[static_cast<std::size_t>(byte)]};
}

// What a target has: its characters, but KX writes Ё ё as Е е; the
// transliteration writes ASCII and spells Cyrillic letters.
inline bool target_has(EncodingId target, Character c) {
  if (target == kUtf8) return true;
  if (target == kTransliteration) return c < 0x80 || !transliteration_of(c).empty();
  if (target == kKx && (c == U'Ё' || c == U'ё')) return false;
  static const auto sorted_pages = [] {  // looked up millions of times
    std::array<std::array<Character, 256>, kEncodingCount> pages{};
    for (const Encoding& e : kEncodings) {
      pages[static_cast<std::size_t>(e.id)] = read_page(e.id).characters;
      std::ranges::sort(pages[static_cast<std::size_t>(e.id)]);
    }
    return pages;
  }();
  return std::ranges::binary_search(sorted_pages[static_cast<std::size_t>(target)], c);
}

// The output as the target reads it; U+FFFD for a byte it leaves undefined.
inline std::u32string read_back(EncodingId target, std::string_view bytes) {
  std::u32string out;
  if (target == kUtf8) {
    const Bytes utf32 = iconv_convert("UTF-8", "UTF-32LE", bytes);
    for (std::size_t i = 0; i + 3 < utf32.size(); i += 4) {
      out += static_cast<Character>(static_cast<unsigned char>(utf32[i]) | static_cast<unsigned char>(utf32[i + 1]) << 8 |
                                    static_cast<unsigned char>(utf32[i + 2]) << 16);
    }
    return out;
  }
  for (unsigned char b : bytes) {
    const Character c = read_page(target).characters[b];
    out += c == kNoCharacter ? kReplacementCharacter : c;
  }
  return out;
}

inline std::u32string to_u32(std::string_view ascii) { return {ascii.begin(), ascii.end()}; }

// What the target reads for a character written in Latin letters, or as is.
inline std::u32string spelled(EncodingId target, std::u32string_view text, bool no_quote_signs) {
  std::u32string out;
  for (Character c : text) {
    if (target == kTransliteration && c >= 0x80) out += transliteration_of(c, no_quote_signs);
    else out += c;
  }
  return out;
}

// The characters that the target must read back for `byte` of the source;
// nothing for the bytes that DOS text spells out.
inline std::optional<std::u32string> by_rule(int byte, const ConversionSettings& s, bool opening) {
  const EncodingId target = s.target;
  const SourceRead read = read_by_rule(s.source, byte, s.special_symbols);
  const Character c = read.c;
  const bool no_quote_signs = s.no_quote_signs && target == kTransliteration;
  if (read.spelled_out) return std::nullopt;
  if (c == kNoCharacter) {
    // No character: the byte kept where the target reads it alike, else '?'
    // (U+FFFD in UTF-8).
    const bool kept = read_page(s.source).characters == read_page(target).characters;
    return kept || target == kUtf8 ? U"\uFFFD" : U"?";
  }
  const bool ascii_as_is = has_trait(encoding(s.source), kAsciiAsIs) && byte < 0x80;
  if ((c == '"' || c == '\'') && s.smart_quotes && !s.source_text && !ascii_as_is) {
    const Character q = c == '"' ? (opening ? U'«' : U'»') : (opening ? U'‘' : U'’');
    if (target_has(target, q)) return std::u32string(1, q);
  }
  if (target_has(target, c)) return spelled(target, std::u32string(1, c), no_quote_signs);
  if (read.control_symbol && c == U'—') return U"_";
  // The target lacks it: the first readable substitute.
  const bool dos_target = has_trait(encoding(target), kDosGlyphs);
  const auto fallback = apply_fallback(c, s, dos_target);
  auto readable = [&](Character x) {
    return is_printable_ascii(x) || (dos_target && s.special_symbols && is_dos_glyph(x)) ||
           (is_cyrillic_letter(x) && target_has(target, x));
  };
  std::u32string text;
  Character single = kNoCharacter;
  bool last_resort = false;
  if (fallback && std::ranges::all_of(fallback->text, readable) && readable(fallback->single)) {
    text = fallback->text.empty() ? std::u32string(1, fallback->single) : std::u32string(fallback->text);
    single = fallback->single;
  } else if (is_cyrillic_letter(c) && encoding(target).script != Script::cyrillic) {
    std::u32string letters = transliteration_of(c).empty() ? std::u32string(fallback->text) : std::u32string(1, c);
    if (letters.empty()) letters = std::u32string(1, fallback->single);
    for (Character letter : letters) text += transliteration_of(letter, no_quote_signs);
    single = text.front();
  } else {
    text = ascii_transliteration_of(c).value_or(U"?");
    single = text.empty() ? kNoCharacter : text.front();
    last_resort = true;
  }
  if (s.html && !s.no_html_entities && !read.control_symbol) {
    if (!html_entity(c).empty()) text = html_entity(c);
    else if (last_resort) text = U"&#" + to_u32(std::to_string(c)) + U";";
  }
  if (s.strings_allowed) return spelled(target, text, no_quote_signs);
  return single == kNoCharacter ? U"" : spelled(target, std::u32string(1, single), no_quote_signs);
}

// What the converter of old wrote (tests/data/legacy-outcomes.txt.gz): for one
// source, target and set of switches, each byte after a line end (0..255) and
// after the letter A (256..511).
struct LegacyRun {
  std::vector<std::string> switches;
  std::vector<Bytes> outcomes;
};

const std::vector<LegacyRun>& legacy_runs();

}  // namespace recodia::test
