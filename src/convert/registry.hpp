// Every encoding Recodia knows, once: its id, its name, the switches that
// select it, the line ends it asks for as a target and the published code page
// behind it. The switch table, the tables' lookups, the documents and the
// tests' loops over all encodings derive from this list.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

#include "convert/code_pages.hpp"
#include "convert/encoding_id.hpp"
#include "convert/settings.hpp"

namespace recodia {

enum class Script : std::uint8_t { cyrillic, turkish, west_european, latin_transliteration };

using SwitchNames = std::array<std::string_view, 3>;  // unused places are empty

constexpr SwitchNames switches(std::string_view a = {}, std::string_view b = {}, std::string_view c = {}) {
  return {a, b, c};
}

struct Encoding {
  EncodingId id;
  std::string_view name;         // as messages and "-detect" name it, e.g. "KOI8-R"
  std::string_view description;  // what the help says it is
  Script script;
  SwitchNames source_switches;   // none: not a source
  SwitchNames target_switches;
  // The line ends that a target switch chooses; nothing for the ones that
  // leave the line style as it was.
  std::optional<LineStyle> target_line_style;
  // The upper half of the published code page, byte to character; nullptr for
  // the encodings that are not one (KX and KOI-7 are derived from others).
  const code_pages::UpperHalf* page;
};

inline constexpr std::array<Encoding, kEncodingCount> kEncodings = {{
    {kKx, "KX", "KX: DOS 866 with Zh zh at 0xB0 0xB1 and Yo yo as E e", Script::cyrillic,
     switches("-kx"), switches("-tokx"), LineStyle::crlf, nullptr},
    {kDos866, "CP866", "DOS 866", Script::cyrillic,
     switches("-dos", "-866"), switches("-todos", "-to866"), LineStyle::crlf, &code_pages::kDos866},
    {kWindows1251, "Windows-1251", "Windows 1251", Script::cyrillic,
     switches("-w", "-win", "-1251"), switches("-tow", "-towin", "-to1251"), LineStyle::crlf, &code_pages::kWindows1251},
    {kKoi8r, "KOI8-R", "KOI8-R", Script::cyrillic,
     switches("-u", "-koi8", "-koi8r"), switches("-tou", "-tokoi8", "-tokoi8r"), LineStyle::lf, &code_pages::kKoi8r},
    {kDos855, "CP855", "DOS 855", Script::cyrillic,
     switches("-855"), switches("-to855"), LineStyle::crlf, &code_pages::kDos855},
    {kMacCyrillic, "MacCyrillic", "Mac Cyrillic", Script::cyrillic,
     switches("-mac"), switches("-tomac"), LineStyle::lf, &code_pages::kMacCyrillic},
    {kIso8859_5, "ISO-8859-5", "ISO 8859-5", Script::cyrillic,
     switches("-iso", "-iso8859_5"), switches("-toiso", "-toiso8859_5"), LineStyle::lf, &code_pages::kIso8859_5},
    {kKoi7, "KOI-7", "KOI-7 in its 8-bit form (the high bit marks the Cyrillic half)", Script::cyrillic,
     switches("-koi7"), switches("-tokoi7"), LineStyle::crlf, nullptr},
    {kTransliteration, "translit", "Latin transliteration of Cyrillic", Script::latin_transliteration,
     switches(), switches("-translit", "-totl"), std::nullopt, nullptr},
    {kIsoIr111, "ISO-IR-111", "ISO-IR-111 (ECMA Cyrillic)", Script::cyrillic,
     switches("-iso_ir_111", "-isoir111"), switches("-toiso_ir_111", "-toisoir111"), LineStyle::lf, &code_pages::kIsoIr111},
    {kKoi8u, "KOI8-U", "KOI8-U", Script::cyrillic,
     switches("-koi8u"), switches("-tokoi8u"), LineStyle::lf, &code_pages::kKoi8u},
    {kMacUkrainian, "MacUkrainian", "Mac Ukrainian", Script::cyrillic,
     switches("-macu", "-mac_u"), switches("-tomacu", "-tomac_u"), LineStyle::lf, &code_pages::kMacUkrainian},
    {kWindows1254, "Windows-1254", "Windows 1254", Script::turkish,
     switches("-1254"), switches("-to1254"), LineStyle::crlf, &code_pages::kWindows1254},
    {kDos857, "CP857", "DOS 857", Script::turkish,
     switches("-857"), switches("-to857"), LineStyle::crlf, &code_pages::kDos857},
    {kMacTurkish, "MacTurkish", "Mac Turkish", Script::turkish,
     switches("-macturk"), switches("-tomacturk"), LineStyle::lf, &code_pages::kMacTurkish},
    {kIso8859_9, "ISO-8859-9", "ISO 8859-9", Script::turkish,
     switches("-iso8859_9"), switches("-toiso8859_9"), LineStyle::lf, &code_pages::kIso8859_9},
    {kDos850, "CP850", "DOS 850", Script::west_european,
     switches("-850"), switches("-to850"), LineStyle::crlf, &code_pages::kDos850},
    {kWindows1252, "Windows-1252", "Windows 1252", Script::west_european,
     switches("-1252"), switches("-to1252"), LineStyle::crlf, &code_pages::kWindows1252},
    {kIso8859_1, "ISO-8859-1", "ISO 8859-1 (with the Windows 1252 signs at 0x80..0x9F)", Script::west_european,
     switches("-iso8859_1"), switches("-toiso8859_1"), LineStyle::lf, &code_pages::kWindows1252},
    {kIso8859_15, "ISO-8859-15", "ISO 8859-15", Script::west_european,
     switches("-iso8859_15"), switches("-toiso8859_15"), LineStyle::lf, &code_pages::kIso8859_15},
    {kMacRoman, "MacRoman", "Mac Roman", Script::west_european,
     switches("-macroman"), switches("-tomacroman"), LineStyle::lf, &code_pages::kMacRoman},
}};

constexpr const Encoding& encoding(EncodingId id) { return kEncodings[static_cast<std::size_t>(id)]; }

constexpr bool is_source(const Encoding& e) { return !e.source_switches[0].empty(); }

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

}  // namespace recodia
