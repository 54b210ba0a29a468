// Every encoding Recodia knows, once: its id, its name, the switches that
// select it, the line ends it asks for as a target, the code page behind it
// and how its bytes behave. The switch table, the code pages, the converter,
// the documents and the tests' loops over all encodings derive from this list.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

#include "convert/code_pages.hpp"
#include "convert/encoding_id.hpp"
#include "convert/settings.hpp"

namespace recodia {

enum class Script : std::uint8_t { cyrillic, turkish, west_european, latin_transliteration, unicode };

struct ScriptName {
  Script script;
  std::string_view key;    // as the tables' dump names it
  std::string_view title;  // as the documents title its encodings
};

// Every script, in the order the documents list their encodings (an encoding
// whose script is missing here stops the build, below).
inline constexpr ScriptName kScripts[] = {
    {Script::unicode, "unicode", "Unicode"},
    {Script::cyrillic, "cyrillic", "Cyrillic"},
    {Script::turkish, "turkish", "Turkish"},
    {Script::west_european, "west_european", "West-European"},
    {Script::latin_transliteration, "latin_transliteration", "Latin transliteration of Cyrillic"},
};

// How an encoding's bytes stand for characters.
enum class Form : std::uint8_t {
  code_page,        // a published code page: ASCII below 0x80, `upper_half` above
  kx,               // DOS 866 (`upper_half`) with Ж ж at 0xB0 0xB1, where DOS 866 has two
                    // shades; as a target it writes Ё ё as Е е
  koi7,             // KOI-7 in 8 bits: ASCII with ¤ for $ below, the Cyrillic half of the
                    // 7-bit set above (punctuation 0xA0..0xBF, KOI8-R's letters 0xC0..0xFE)
  transliteration,  // Latin letters for Cyrillic ones: a target only
  utf8,             // every Unicode character, in one to four bytes
  utf16,            // every Unicode character in one 16-bit unit, or two (a surrogate pair)
  utf32,            // every Unicode character in one 32-bit unit
};

// What sets an encoding's bytes apart beyond their characters.
enum Trait : unsigned {
  kNoTraits = 0,
  // As a source: its ASCII bytes are passed on as they are, never turned into
  // typographic quotes (the encodings that the letter tables of old decoded).
  kAsciiAsIs = 1,
  // As a target: shown on DOS screens, which draw the control-range bytes
  // 0x07, 0x14, 0x15 and 0x16 as the bullet, pilcrow, section sign and dash.
  kDosGlyphs = 2,
  // As a source: DOS text that uses those glyphs (and the smileys) as signs.
  kDosControlSymbols = 4,
  // UTF-16 and UTF-32: the high byte of a unit first. A byte-order mark at the
  // start of the text overrides it when reading, and is written first.
  kBigEndian = 8,
};

using SwitchNames = std::array<std::string_view, 3>;  // unused places are empty

constexpr SwitchNames switches(std::string_view a = {}, std::string_view b = {}, std::string_view c = {}) {
  return {a, b, c};
}

struct Encoding {
  EncodingId id;
  std::string_view name;         // as messages and "-detect" name it, e.g. "KOI8-R"
  std::string_view description;  // what the help says it is
  Script script;
  SwitchNames source_switches;   // none: not a source; the first is the one messages name
  SwitchNames target_switches;
  // The line ends that a target switch chooses; nothing for the ones that
  // leave the line style as it was.
  std::optional<LineStyle> target_line_style;
  Form form;
  // The published code page's upper half, byte to character (for KX and KOI-7
  // the page they are made from); nullptr for transliteration and Unicode.
  const code_pages::UpperHalf* upper_half;
  unsigned traits;
  // Where the detector answers with this encoding when several read a text
  // alike: 1 the most widespread, then 2, 3, ...; every single-byte source has
  // a rank of its own (checked below), everything else 0.
  int detection_rank = 0;
};

inline constexpr std::array<Encoding, kEncodingCount> kEncodings = {{
    {kKx, "KX", "KX: DOS 866 with Zh zh at 0xB0 0xB1 and Yo yo as E e", Script::cyrillic,
     switches("-kx"), switches("-tokx"), LineStyle::crlf, Form::kx, &code_pages::kDos866, kDosGlyphs, 10},
    {kDos866, "CP866", "DOS 866", Script::cyrillic,
     switches("-dos", "-866"), switches("-todos", "-to866"), LineStyle::crlf, Form::code_page, &code_pages::kDos866,
     kDosGlyphs | kDosControlSymbols, 3},
    {kWindows1251, "Windows-1251", "Windows 1251", Script::cyrillic,
     switches("-w", "-win", "-1251"), switches("-tow", "-towin", "-to1251"), LineStyle::crlf, Form::code_page,
     &code_pages::kWindows1251, kNoTraits, 1},
    {kKoi8r, "KOI8-R", "KOI8-R", Script::cyrillic,
     switches("-koi8", "-u", "-koi8r"), switches("-tokoi8", "-tou", "-tokoi8r"), LineStyle::lf, Form::code_page,
     &code_pages::kKoi8r, kAsciiAsIs, 2},
    {kDos855, "CP855", "DOS 855", Script::cyrillic,
     switches("-855"), switches("-to855"), LineStyle::crlf, Form::code_page, &code_pages::kDos855,
     kAsciiAsIs | kDosGlyphs, 8},
    {kMacCyrillic, "MacCyrillic", "Mac Cyrillic", Script::cyrillic,
     switches("-mac"), switches("-tomac"), LineStyle::lf, Form::code_page, &code_pages::kMacCyrillic, kAsciiAsIs, 6},
    {kIso8859_5, "ISO-8859-5", "ISO 8859-5", Script::cyrillic,
     switches("-iso", "-iso8859_5"), switches("-toiso", "-toiso8859_5"), LineStyle::lf, Form::code_page,
     &code_pages::kIso8859_5, kAsciiAsIs, 5},
    {kKoi7, "KOI-7", "KOI-7 in its 8-bit form (the high bit marks the Cyrillic half)", Script::cyrillic,
     switches("-koi7"), switches("-tokoi7"), LineStyle::crlf, Form::koi7, &code_pages::kKoi8r, kAsciiAsIs, 11},
    {kTransliteration, "translit", "Latin transliteration of Cyrillic", Script::latin_transliteration,
     switches(), switches("-translit", "-totl"), std::nullopt, Form::transliteration, nullptr, kNoTraits, 0},
    {kIsoIr111, "ISO-IR-111", "ISO-IR-111 (ECMA Cyrillic)", Script::cyrillic,
     switches("-iso_ir_111", "-isoir111"), switches("-toiso_ir_111", "-toisoir111"), LineStyle::lf, Form::code_page,
     &code_pages::kIsoIr111, kAsciiAsIs, 9},
    {kKoi8u, "KOI8-U", "KOI8-U", Script::cyrillic,
     switches("-koi8u"), switches("-tokoi8u"), LineStyle::lf, Form::code_page, &code_pages::kKoi8u, kAsciiAsIs, 4},
    {kMacUkrainian, "MacUkrainian", "Mac Ukrainian", Script::cyrillic,
     switches("-macu", "-mac_u"), switches("-tomacu", "-tomac_u"), LineStyle::lf, Form::code_page,
     &code_pages::kMacUkrainian, kAsciiAsIs, 7},
    {kWindows1254, "Windows-1254", "Windows 1254", Script::turkish,
     switches("-1254"), switches("-to1254"), LineStyle::crlf, Form::code_page, &code_pages::kWindows1254, kNoTraits, 15},
    {kDos857, "CP857", "DOS 857", Script::turkish,
     switches("-857"), switches("-to857"), LineStyle::crlf, Form::code_page, &code_pages::kDos857, kDosGlyphs, 18},
    {kMacTurkish, "MacTurkish", "Mac Turkish", Script::turkish,
     switches("-macturk"), switches("-tomacturk"), LineStyle::lf, Form::code_page, &code_pages::kMacTurkish,
     kNoTraits, 20},
    {kIso8859_9, "ISO-8859-9", "ISO 8859-9", Script::turkish,
     switches("-iso8859_9"), switches("-toiso8859_9"), LineStyle::lf, Form::code_page, &code_pages::kIso8859_9,
     kNoTraits, 16},
    {kDos850, "CP850", "DOS 850", Script::west_european,
     switches("-850"), switches("-to850"), LineStyle::crlf, Form::code_page, &code_pages::kDos850, kDosGlyphs, 17},
    {kWindows1252, "Windows-1252", "Windows 1252", Script::west_european,
     switches("-1252"), switches("-to1252"), LineStyle::crlf, Form::code_page, &code_pages::kWindows1252, kNoTraits, 12},
    {kIso8859_1, "ISO-8859-1", "ISO 8859-1 (with the Windows 1252 signs at 0x80..0x9F)", Script::west_european,
     switches("-iso8859_1"), switches("-toiso8859_1"), LineStyle::lf, Form::code_page, &code_pages::kWindows1252,
     kNoTraits, 14},
    {kIso8859_15, "ISO-8859-15", "ISO 8859-15", Script::west_european,
     switches("-iso8859_15"), switches("-toiso8859_15"), LineStyle::lf, Form::code_page, &code_pages::kIso8859_15,
     kNoTraits, 13},
    {kMacRoman, "MacRoman", "Mac Roman", Script::west_european,
     switches("-macroman"), switches("-tomacroman"), LineStyle::lf, Form::code_page, &code_pages::kMacRoman,
     kNoTraits, 19},
    {kUtf8, "UTF-8", "UTF-8 (Unicode)", Script::unicode,
     switches("-utf8"), switches("-toutf8"), LineStyle::lf, Form::utf8, nullptr, kAsciiAsIs, 0},
    // Windows' "Unicode": what Notepad, PowerShell and Excel read without asking.
    {kUtf16, "UTF-16LE", "UTF-16 little-endian (a byte-order mark decides; written with one)", Script::unicode,
     switches("-utf16"), switches("-toutf16"), LineStyle::crlf, Form::utf16, nullptr, kAsciiAsIs, 0},
    {kUtf16be, "UTF-16BE", "UTF-16 big-endian (a byte-order mark decides; written with one)", Script::unicode,
     switches("-utf16be"), switches("-toutf16be"), LineStyle::lf, Form::utf16, nullptr, kAsciiAsIs | kBigEndian, 0},
    {kUtf32, "UTF-32LE", "UTF-32 little-endian (a byte-order mark decides)", Script::unicode,
     switches("-utf32"), switches(), std::nullopt, Form::utf32, nullptr, kAsciiAsIs, 0},
    {kUtf32be, "UTF-32BE", "UTF-32 big-endian (a byte-order mark decides)", Script::unicode,
     switches("-utf32be"), switches(), std::nullopt, Form::utf32, nullptr, kAsciiAsIs | kBigEndian, 0},
}};

constexpr const Encoding& encoding(EncodingId id) { return kEncodings[static_cast<std::size_t>(id)]; }

constexpr bool is_source(const Encoding& e) { return !e.source_switches[0].empty(); }

constexpr bool is_target(const Encoding& e) { return !e.target_switches[0].empty(); }

// UTF-8, UTF-16 or UTF-32: every Unicode character, and nothing else.
constexpr bool is_unicode(const Encoding& e) {
  return e.form == Form::utf8 || e.form == Form::utf16 || e.form == Form::utf32;
}

// UTF-16 or UTF-32: units of several bytes, in a byte order.
constexpr bool is_wide_unicode(const Encoding& e) { return e.form == Form::utf16 || e.form == Form::utf32; }

// A source read one byte at a time (every source but the Unicode ones).
constexpr bool is_single_byte_source(const Encoding& e) { return is_source(e) && !is_unicode(e); }

constexpr bool has_trait(const Encoding& e, Trait t) { return (e.traits & t) != 0; }

// Whether the encoding writes Cyrillic letters as themselves.
constexpr bool has_cyrillic_letters(const Encoding& e) {
  return e.script == Script::cyrillic || e.script == Script::unicode;
}

constexpr bool has_switch(const SwitchNames& names, std::string_view text) {
  for (std::string_view n : names)
    if (!n.empty() && n == text) return true;
  return false;
}

// The registry is in id order, so that encoding(id) is one read.
consteval bool registry_in_id_order() {
  for (std::size_t i = 0; i < kEncodings.size(); ++i)
    if (static_cast<std::size_t>(kEncodings[i].id) != i) return false;
  return true;
}
static_assert(registry_in_id_order());

consteval bool scripts_named() {
  for (const Encoding& e : kEncodings) {
    bool named = false;
    for (const ScriptName& s : kScripts) named = named || s.script == e.script;
    if (!named) return false;
  }
  return true;
}
static_assert(scripts_named(), "every encoding's script needs its row in kScripts");

// Every single-byte source has a detection rank of its own, 1 to the number
// of them, so that a new encoding cannot be forgotten (and silently tie with
// another); nothing else has one.
consteval bool detection_ranks_complete() {
  std::array<bool, kEncodingCount + 1> taken{};
  std::size_t sources = 0;
  for (const Encoding& e : kEncodings) {
    if (!is_single_byte_source(e)) {
      if (e.detection_rank != 0) return false;
      continue;
    }
    ++sources;
    if (e.detection_rank < 1 || e.detection_rank > kEncodingCount || taken[static_cast<std::size_t>(e.detection_rank)])
      return false;
    taken[static_cast<std::size_t>(e.detection_rank)] = true;
  }
  for (std::size_t r = 1; r <= sources; ++r)
    if (!taken[r]) return false;
  return true;
}
static_assert(detection_ranks_complete(), "every single-byte source needs a detection rank of its own");

}  // namespace recodia
