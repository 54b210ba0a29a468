#include "cli/options.hpp"

#include <cstddef>

namespace recodia {
namespace {

enum class Effect : std::uint8_t {
  help, no_version, english, russian, line_style, no_encoding, no_special_symbols, no_strings,
  no_smart_quotes, source_text, html, no_quote_signs, no_html_entities, preserve_time, nothing,
  source, target, transliteration_target,
};

struct SwitchEffect {
  Effect effect;
  int value = 0;  // the encoding id, or the line style
};

constexpr SwitchEffect src(EncodingId id) { return {Effect::source, id}; }
constexpr SwitchEffect dst(EncodingId id) { return {Effect::target, id}; }
constexpr SwitchEffect lines(LineStyle style) { return {Effect::line_style, static_cast<int>(style)}; }

// One effect per switch, in the order of kSwitchTexts.
constexpr std::array<SwitchEffect, kSwitchCount> kEffects = {{
    {Effect::help},           // /?
    {Effect::help},           // -?
    src(kWindows1251),        // -w
    {Effect::no_version},     // -ni
    dst(kDos866),             // -todos
    src(kKoi8r),              // -u
    src(kKoi8r),              // -koi8
    {Effect::nothing},        // -nec
    {Effect::no_special_symbols},  // -32
    {Effect::no_strings},     // -nstr
    {Effect::source_text},    // -src
    {Effect::english},        // -en
    src(kDos855),             // -855
    src(kMacCyrillic),        // -mac
    src(kIso8859_5),          // -iso
    src(kWindows1251),        // -win
    src(kKoi8r),              // -koi8r
    dst(kWindows1251),        // -tow
    dst(kDos866),             // -to866
    dst(kWindows1251),        // -towin
    dst(kKoi8r),              // -tokoi8
    dst(kKoi8r),              // -tokoi8r
    dst(kKoi8r),              // -tou
    dst(kDos855),             // -to855
    dst(kMacCyrillic),        // -tomac
    dst(kIso8859_5),          // -toiso
    src(kKx),                 // -kx
    src(kDos866),             // -dos
    src(kDos866),             // -866
    dst(kKx),                 // -tokx
    {Effect::no_smart_quotes},  // -nta
    dst(kKoi7),               // -tokoi7
    src(kKoi7),               // -koi7
    src(kIso8859_5),          // -iso8859_5
    dst(kIso8859_5),          // -toiso8859_5
    {Effect::transliteration_target},  // -translit
    {Effect::transliteration_target},  // -totl
    {Effect::no_quote_signs},  // -nqt
    {Effect::russian},        // -rus
    src(kKoi8u),              // -koi8u
    dst(kKoi8u),              // -tokoi8u
    src(kMacUkrainian),       // -macu
    src(kMacUkrainian),       // -mac_u
    dst(kMacUkrainian),       // -tomacu
    dst(kMacUkrainian),       // -tomac_u
    src(kIsoIr111),           // -iso_ir_111
    src(kIsoIr111),           // -isoir111
    dst(kIsoIr111),           // -toiso_ir_111
    dst(kIsoIr111),           // -toisoir111
    src(kWindows1251),        // -1251
    dst(kWindows1251),        // -to1251
    src(kDos857),             // -857
    dst(kDos857),             // -to857
    src(kWindows1254),        // -1254
    dst(kWindows1254),        // -to1254
    src(kIso8859_9),          // -iso8859_9
    dst(kIso8859_9),          // -toiso8859_9
    src(kMacTurkish),         // -macturk
    dst(kMacTurkish),         // -tomacturk
    lines(LineStyle::lf),     // -lf
    lines(LineStyle::crlf),   // -crlf
    {Effect::no_encoding},    // -noenc
    src(kDos850),             // -850
    src(kWindows1252),        // -1252
    src(kIso8859_1),          // -iso8859_1
    src(kIso8859_15),         // -iso8859_15
    src(kMacRoman),           // -macroman
    dst(kDos850),             // -to850
    dst(kWindows1252),        // -to1252
    dst(kIso8859_1),          // -toiso8859_1
    dst(kIso8859_15),         // -toiso8859_15
    dst(kMacRoman),           // -tomacroman
    lines(LineStyle::keep),   // -noaltlf
    {Effect::html},           // -html
    {Effect::no_html_entities},  // -dhcs
    {Effect::preserve_time},  // -pdt
}};

// The line style a target asks for: CR LF for the DOS, Windows, KX and KOI-7
// targets, LF for the KOI8, ISO and Macintosh ones.
constexpr LineStyle line_style_of_target(EncodingId id) {
  switch (id) {
    case kKx: case kDos866: case kWindows1251: case kDos855: case kKoi7: case kWindows1254:
    case kDos857: case kDos850: case kWindows1252:
      return LineStyle::crlf;
    default:
      return LineStyle::lf;
  }
}

void apply_switch(const SwitchEffect& e, ConversionSettings& s, CommandLine& cl) {
  switch (e.effect) {
    case Effect::help: cl.help_requested = true; break;
    case Effect::no_version: cl.show_version = false; break;
    case Effect::english: s.language = Language::english; break;
    case Effect::russian: s.language = Language::russian; break;
    case Effect::line_style: s.line_style = static_cast<LineStyle>(e.value); break;
    case Effect::no_encoding: cl.no_encoding = true; break;
    case Effect::no_special_symbols: s.special_symbols = false; break;
    case Effect::no_strings: s.strings_allowed = false; break;
    case Effect::no_smart_quotes: s.smart_quotes = false; break;
    case Effect::source_text: s.source_text = true; break;
    case Effect::html:
      s.source_text = true;
      s.html = true;
      s.smart_quotes = false;
      break;
    case Effect::no_quote_signs: s.no_quote_signs = true; break;
    case Effect::no_html_entities: s.no_html_entities = true; break;
    case Effect::preserve_time: s.preserve_time = true; break;
    case Effect::nothing: break;
    case Effect::source: s.source = static_cast<EncodingId>(e.value); break;
    case Effect::target:
      s.target = static_cast<EncodingId>(e.value);
      cl.target_line_style = line_style_of_target(s.target);
      break;
    case Effect::transliteration_target: s.target = kTransliteration; break;
  }
}

}  // namespace

int find_switch(std::string_view argument) {
  for (std::size_t i = 0; i < kSwitchTexts.size(); ++i)
    if (kSwitchTexts[i] == argument) return static_cast<int>(i);
  return -1;
}

void parse_arguments(std::span<const std::string_view> arguments, ConversionSettings& settings,
                     CommandLine& command_line) {
  for (std::string_view argument : arguments) {
    const int index = find_switch(argument);
    if (index >= 0) {
      apply_switch(kEffects[static_cast<std::size_t>(index)], settings, command_line);
    } else if (command_line.file_name_count == 0) {
      command_line.input_name = argument;
      command_line.file_name_count = 1;
    } else {
      // A third or later name replaces the output name.
      command_line.output_name = argument;
      command_line.file_name_count = 2;
    }
  }
}

void resolve_settings(ConversionSettings& settings, const CommandLine& command_line) {
  if (!settings.special_symbols) {
    settings.dash_byte = '-';
    settings.section_byte = '$';
    settings.paragraph_byte = 0xB7;
    settings.bullet_byte = 0xF9;
  }
  if (settings.source_text) settings.double_quote_byte = '`';
  if (settings.line_style == LineStyle::automatic) settings.line_style = command_line.target_line_style;
  if (settings.target == kTransliteration) settings.strings_allowed = true;
}

}  // namespace recodia
