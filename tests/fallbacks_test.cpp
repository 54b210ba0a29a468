// Plain-text fallbacks: every row of the fallback table through whole runs,
// the rows whose byte is a setting (double-quote, dash, section, paragraph and
// bullet bytes), the variants chosen by "-html", "-nstr", and the strings made
// of Cyrillic letters re-encoded for the target.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "convert/byte_in_progress.hpp"
#include "convert/fallbacks.hpp"
#include "convert/settings.hpp"
#include "test_support.hpp"

namespace recodia::test {
namespace {

Bytes B(std::initializer_list<unsigned> values) {
  Bytes s;
  for (unsigned v : values) s.push_back(static_cast<char>(v));
  return s;
}

// Where a fallback byte is one of the settings rather than a constant.
enum class From { literal, double_quote, dash, section, paragraph, bullet };

struct Row {
  int code;
  const char* charset;  // glibc charset that holds the character with this code
  const char* source;   // the program's switch for that charset
  const char* utf8;
  unsigned byte;        // the fallback byte when `from` is literal
  const char* string;   // nullptr: no fallback string
  From from = From::literal;
};

constexpr const char* kKoi8r = "KOI8-R";
constexpr const char* kCp1251 = "CP1251";
constexpr const char* kCp1252 = "CP1252";
constexpr const char* kMac = "MACINTOSH";

Row koi8(int code, const char* utf8, unsigned byte, const char* string = nullptr) {
  return {code, kKoi8r, "-koi8", utf8, byte, string};
}
Row w1251(int code, const char* utf8, unsigned byte, const char* string = nullptr) {
  return {code, kCp1251, "-w", utf8, byte, string};
}
Row w1252(int code, const char* utf8, unsigned byte, const char* string = nullptr) {
  return {code, kCp1252, "-1252", utf8, byte, string};
}
Row w1252s(int code, const char* utf8, From from, const char* string = nullptr) {
  return {code, kCp1252, "-1252", utf8, 0, string, from};
}
Row mac(int code, const char* utf8, unsigned byte, const char* string = nullptr) {
  return {code, kMac, "-macroman", utf8, byte, string};
}

// The fallback table as the rules give it, each row with a character that
// carries the code in some source encoding. Codes 335 and 351 occur in no
// table and are checked on the step itself below.
std::vector<Row> fallback_rows() {
  std::vector<Row> rows = {
      // Box drawing and blocks.
      koi8(300, "─", '-'), koi8(301, "│", '|'), koi8(319, "⌠", 'f'), koi8(320, "■", '+'),
      koi8(327, "⌡", 'j'), koi8(332, "═", '-'), koi8(333, "║", '|'),
      // Mathematical signs.
      koi8(322, "√", 'V', "sqrt "), koi8(323, "≈", '=', "=~="), koi8(324, "≤", '<', "<="),
      koi8(325, "≥", '>', ">="), koi8(331, "÷", '/'), mac(613, "≠", '\\', "=/="), mac(616, "∞", '@', "OXO"),
      mac(622, "∂", 'd'),
      // Cyrillic letters outside the pivot code page.
      w1251(402, "Ђ", 'T', "Th"), w1251(403, "Ѓ", 0x83), w1251(404, "Є", 'E'), w1251(405, "Ѕ", 'S'),
      w1251(406, "І", 'I'), w1251(407, "Ї", 'I'), w1251(408, "Ј", 'J'), w1251(409, "Љ", 0x8B, "\x8B\x9C"),
      w1251(410, "Њ", 0x8D, "\x8D\x9C"), w1251(411, "Ћ", 'T', "Th"), w1251(412, "Ќ", 'K'),
      w1251(413, "Ў", 'Y'), w1251(414, "Џ", 'U'), w1251(416, "№", 'N', "No."), w1251(418, "ђ", 'h'),
      w1251(419, "ѓ", 0xA3), w1251(420, "є", 'e'), w1251(421, "ѕ", 's'), w1251(422, "і", 'i'),
      w1251(423, "ї", 'i'), w1251(424, "ј", 'j'), w1251(425, "љ", 0xAB, "\xAB\xEC"),
      w1251(426, "њ", 0xAD, "\xAD\xEC"), w1251(427, "ћ", 'h'), w1251(428, "ќ", 'K'), w1251(430, "ў", 'y'),
      w1251(431, "џ", 'u'), w1251(450, "Ґ", 0x83), w1251(451, "ґ", 0xA3),
      // Punctuation, quotation marks and typographic signs.
      w1252(502, "‚", '`'), w1252(503, "ƒ", 'f'), w1252s(504, "„", From::double_quote),
      w1252(505, "…", '.', "..."), w1252(506, "†", '+'), w1252(507, "‡", '+'), w1252(508, "ˆ", '^'),
      w1252(509, "‰", '%', "O/oo"), w1252(511, "‹", '<'), w1252(517, "‘", '`'), w1252(518, "’", '`'),
      w1252s(519, "“", From::double_quote), w1252s(520, "”", From::double_quote),
      w1252s(521, "•", From::bullet), w1252(522, "–", '-'), w1252s(523, "—", From::dash),
      w1252(525, "™", 'T', "(TM)"), w1252(527, "›", '>'), w1252(533, "¡", '!'), w1252(536, "¤", '@'),
      w1252(538, "¦", '|'), w1252s(539, "§", From::section), w1252(541, "©", 'c', "(C)"),
      w1252(542, "ª", 'a'), w1252s(543, "«", From::double_quote, "<<"), w1252(544, "¬", '-', "(NOT)"),
      w1252(545, "®", 'R', "(R)"), w1252s(546, "¯", From::dash), w1252(548, "°", 'o'),
      w1252(549, "±", '+', "+-"), w1252(550, "²", '2'), w1252(551, "³", '3'), w1252(552, "´", '`'),
      w1252s(554, "¶", From::paragraph), w1252s(555, "·", From::bullet), w1252(556, "¸", ','),
      w1252(557, "¹", '1'), w1252s(559, "»", From::double_quote, ">>"), w1252(560, "¼", '/', "1/4"),
      w1252(561, "½", '/', "1/2"), w1252(562, "¾", '/', "3/4"), w1252(563, "¿", '?'), w1252(860, "µ", 'm', "mu"),
      // Latin letters and currency.
      w1252(510, "Š", 'S', "S^"), w1252(512, "Œ", 'O', "OE"), w1252(514, "Ž", 'Z', "Z^"),
      w1252(526, "š", 's', "s^"), w1252(528, "œ", 'o', "oe"), w1252(530, "ž", 'z', "z^"),
      w1252(531, "Ÿ", 'Y'), w1252(534, "¢", 'c', "cents"), w1252(535, "£", 'L', "Pounds"),
      w1252(537, "¥", 'Y', "Y="), mac(607, "ß", 'b'),
  };
  // The light and double box corners, tees and crossings, the half and full
  // blocks and the shades all fall back to '+'.
  const char* plus[] = {"┌", "┐", "└", "┘", "├", "┤", "┬", "┴", "┼", "▀", "▄", "█", "▌", "▐", "░", "▒", "▓",
                        "╒", "╓", "╔", "╕", "╖", "╗", "╘", "╙", "╚", "╛", "╜", "╝", "╞", "╟", "╠", "╡",
                        "╢", "╣", "╤", "╥", "╦", "╧", "╨", "╩", "╪", "╫", "╬"};
  int code = 302;
  for (const char* c : plus) {
    if (code == 319) code = 334;
    if (code == 335 || code == 351) ++code;
    rows.push_back(koi8(code++, c, '+'));
  }
  return rows;
}

struct Variant {
  const char* what;
  std::vector<std::string> switches;
  bool strings;
  bool html;
  std::uint8_t double_quote, dash, section, paragraph, bullet;  // as they reach a KX file
};

// KX looks no symbol code up, so every fallback reaches the file. The bytes
// of the last columns are what the setting-dependent rows give there: the
// DOS glyph bytes, or with "-32" the characters that the remap makes of them.
const Variant kVariants[] = {
    {"default", {}, true, false, 0x22, 0x16, 0x15, 0x14, 0x07},
    {"-nstr", {"-nstr"}, false, false, 0x22, 0x16, 0x15, 0x14, 0x07},
    {"-src", {"-src"}, true, false, 0x60, 0x16, 0x15, 0x14, 0x07},
    {"-src -nstr", {"-src", "-nstr"}, false, false, 0x60, 0x16, 0x15, 0x14, 0x07},
    {"-32", {"-32"}, true, false, 0x22, '-', '&', '$', '.'},
    {"-32 -nstr", {"-32", "-nstr"}, false, false, 0x22, '-', '&', '$', '.'},
    {"-html -dhcs", {"-html", "-dhcs"}, true, true, 0x60, 0x16, 0x15, 0x14, 0x07},
    {"-html -dhcs -nstr", {"-html", "-dhcs", "-nstr"}, false, true, 0x60, 0x16, 0x15, 0x14, 0x07},
};

// The rows that "-html" replaces: none of them may write '<' or '>'.
struct HtmlRow {
  int code;
  unsigned byte;
  const char* string;
};
const std::map<int, HtmlRow> kHtmlRows = {
    {324, {324, '_', "LE"}}, {325, {325, '_', "GE"}}, {511, {511, '`', nullptr}},
    {527, {527, '`', nullptr}}, {543, {543, '`', "``"}}, {559, {559, '`', "``"}},
};

Bytes expected_for(const Row& row, const Variant& v) {
  unsigned byte = row.byte;
  const char* string = row.string;
  if (v.html) {
    if (auto it = kHtmlRows.find(row.code); it != kHtmlRows.end()) {
      byte = it->second.byte;
      string = it->second.string;
    }
  }
  if (!v.html || kHtmlRows.find(row.code) == kHtmlRows.end()) {
    switch (row.from) {
      case From::literal: break;
      case From::double_quote: byte = v.double_quote; break;
      case From::dash: byte = v.dash; break;
      case From::section: byte = v.section; break;
      case From::paragraph: byte = v.paragraph; break;
      case From::bullet: byte = v.bullet; break;
    }
  }
  if (string != nullptr && v.strings) return string;
  return B({byte});
}

// One run per source and variant: the characters one to a line, the
// output split at the line ends again.
TEST(Fallbacks, EveryRowThroughWholeRuns) {
  const std::vector<Row> rows = fallback_rows();
  ASSERT_EQ(rows.size(), 98u + 44u);
  std::map<std::string, std::vector<const Row*>> by_source;
  for (const Row& r : rows) by_source[r.source].push_back(&r);
  for (const Variant& v : kVariants) {
    for (const auto& [source, source_rows] : by_source) {
      Bytes input;
      Bytes expected;
      for (const Row* r : source_rows) {
        const Bytes encoded = iconv_convert("UTF-8", r->charset, r->utf8);
        ASSERT_EQ(encoded.size(), 1u) << r->utf8;
        input += encoded + "\n";
        expected += expected_for(*r, v) + "\n";
      }
      std::vector<std::string> switches = v.switches;
      switches.push_back(source);
      const Bytes output = convert(switches, input);
      // Line by line, so that a failure names the code.
      std::size_t at = 0;
      std::size_t want_at = 0;
      for (const Row* r : source_rows) {
        const std::size_t end = output.find('\n', at);
        const std::size_t want_end = expected.find('\n', want_at);
        SCOPED_TRACE(std::string(v.what) + " " + source + " code " + std::to_string(r->code) + " " + r->utf8);
        ASSERT_NE(end, Bytes::npos);
        EXPECT_EQ(hex(output.substr(at, end - at)), hex(expected.substr(want_at, want_end - want_at)));
        at = end + 1;
        want_at = want_end + 1;
      }
      EXPECT_EQ(at, output.size());
    }
  }
}

// Codes that no symbol-code table holds still have their row; and a code
// without a row leaves the byte alone.
TEST(Fallbacks, StepOnCodesNoTableHolds) {
  const ConversionSettings settings;
  for (int code : {335, 351}) {
    ByteInProgress b;
    b.working = 0x41;
    b.code = code;
    apply_fallback(b, settings);
    EXPECT_EQ(int(b.working), '+') << code;
    EXPECT_FALSE(b.string_pending) << code;
  }
  for (int code : {0, 400, 500, 524, 540, 570, 575, 580, 623, 626, 638, 655, 658, 662, 663, 689, 698, 700,
                   723, 731, 763, 841}) {
    ByteInProgress b;
    b.working = 0xC9;
    b.code = code;
    apply_fallback(b, settings);
    EXPECT_EQ(int(b.working), 0xC9) << code;
    EXPECT_FALSE(b.string_pending) << code;
  }
}

struct RunCase {
  const char* what;
  std::vector<std::string> switches;
  Bytes input;
  Bytes expected;
};

// Cases with the same switches share one run of the program, one after the
// other in one file: the converter's only history is the byte before a
// quotation mark, so only a case that begins with a quote needs a run of its
// own, where it stands at the start of the file. When a shared run goes
// wrong, each of its cases is run alone to name the one at fault.
void expect_runs(const std::vector<RunCase>& cases) {
  std::vector<std::vector<const RunCase*>> runs;
  for (const RunCase& c : cases) {
    const bool alone = !c.input.empty() && (c.input[0] == '"' || c.input[0] == '\'');
    std::vector<const RunCase*>* run = nullptr;
    for (auto& r : runs)
      if (!alone && r.front()->switches == c.switches && !r.front()->input.empty() && r.front()->input[0] != '"' &&
          r.front()->input[0] != '\'')
        run = &r;
    if (run == nullptr) run = &runs.emplace_back();
    run->push_back(&c);
  }
  for (const auto& run : runs) {
    Bytes input;
    Bytes expected;
    std::string names;
    for (const RunCase* c : run) {
      input += c->input;
      expected += c->expected;
      names += std::string(names.empty() ? "" : "; ") + c->what;
    }
    const Bytes output = convert(run.front()->switches, input);
    EXPECT_EQ(hex(output), hex(expected)) << names;
    if (output != expected && run.size() > 1) {
      for (const RunCase* c : run) {
        SCOPED_TRACE(c->what);
        EXPECT_EQ(hex(convert(c->switches, c->input)), hex(c->expected));
      }
    }
  }
}

// Codes without a row reach the target as their working byte: for these
// sources the byte itself, which KX writes as it is (0xF0 being the pivot's
// Ё, KX writes it as Е).
TEST(Fallbacks, CodesWithoutARowKeepTheirByte) {
  expect_runs({
      {"866 numero", {"-866"}, B({0xFC}), B({0xFC})},
      {"1252 euro, tilde, diaeresis", {"-1252"}, B({0x80, 0x98, 0xA8}), B({0x80, 0x98, 0xA8})},
      {"1252 Icelandic letters", {"-1252"}, B({0xD0, 0xDD, 0xDE, 0xFD, 0xFE}), B({0xD0, 0xDD, 0xDE, 0xFD, 0xFE})},
      {"1252 eth", {"-1252"}, B({0xF0}), B({0x85})},
      {"1252 letters and signs", {"-1252"}, B({0xC0, 0xD7, 0xDF, 0xE9, 0xFF}), B({0xC0, 0xD7, 0xDF, 0xE9, 0xFF})},
      {"850 double low line", {"-850"}, B({0xF2}), B({0xF2})},
      {"Mac Roman math and ligatures", {"-macroman"}, B({0xB7, 0xB8, 0xB9, 0xBA, 0xC6, 0xD7, 0xDA, 0xDE, 0xDF, 0xBD}),
       B({0xB7, 0xB8, 0xB9, 0xBA, 0xC6, 0xD7, 0xDA, 0xDE, 0xDF, 0xBD})},
      {"Mac Roman spacing accents", {"-macroman"}, B({0xF6, 0xF7, 0xF8, 0xF9, 0xFA, 0xFB, 0xFD, 0xFE, 0xFF}),
       B({0xF6, 0xF7, 0xF8, 0xF9, 0xFA, 0xFB, 0xFD, 0xFE, 0xFF})},
      // Mac Roman's cedilla is the Latin-1 one, which has a row.
      {"Mac Roman cedilla", {"-macroman"}, B({0xFC}), ","},
  });
}

// The fallbacks show only where the target lacks the character.
TEST(Fallbacks, AgainstRealTargets) {
  expect_runs({
      {"1251 copyright to 866", {"-w", "-to866"}, B({0xA9}), "(C)"},
      {"1251 copyright to 866 -nstr", {"-w", "-to866", "-nstr"}, B({0xA9}), "c"},
      {"1251 guillemet to 866", {"-w", "-to866"}, B({0xAB}), "<<"},
      {"1251 guillemet to 866 -src", {"-w", "-to866", "-src"}, B({0xAB}), "<<"},
      {"1251 guillemet to 866 -src -nstr", {"-w", "-to866", "-src", "-nstr"}, B({0xAB}), "`"},
      {"1251 numero to 866", {"-w", "-to866"}, B({0xB9}), "No."},
      {"1251 em dash to 866", {"-w", "-to866"}, B({0x97}), B({0x16})},
      {"1251 bullet to 866", {"-w", "-to866"}, B({0x95}), B({0x07})},
      {"1251 middle dot to 866", {"-w", "-to866"}, B({0xB7}), B({0xF9})},
      {"1251 section to 866", {"-w", "-to866"}, B({0xA7}), B({0x15})},
      {"1251 pilcrow to 866", {"-w", "-to866"}, B({0xB6}), B({0x14})},
      {"-32 em dash, section, pilcrow", {"-32", "-w", "-to866"}, B({0x97, 0xA7, 0xB6}), "-&$"},
      {"Mac Cyrillic le and guillemet with -html -dhcs", {"-mac", "-to866", "-html", "-dhcs"}, B({0xB2, 0xC7}),
       "LE``"},
      {"Mac Cyrillic le and guillemet with -html", {"-mac", "-to866", "-html"}, B({0xB2, 0xC7}), "&le;&laquo;"},
      {"Mac Cyrillic le and guillemet", {"-mac", "-to866"}, B({0xB2, 0xC7}), "<=<<"},
      {"box drawing from 866 to 1251", {"-tow"}, B({0xDA, 0xC4, 0xC2, 0xBF, 0xB3, 0xC5, 0xBA, 0xCD, 0xC9, 0xDB}),
       "+-++|+|-++"},
      {"1252 copyright to 1251", {"-1252", "-tow"}, B({0xA9}), B({0xA9})},
      {"1251 copyright to KOI8-R", {"-w", "-tokoi8"}, B({0xA9}), B({0xBF})},
      // The 866 ∙ is found in 866, the KOI8-R ≤ in Mac Cyrillic.
      {"KOI8-R le to Mac Cyrillic", {"-koi8", "-tomac"}, B({0x98}), B({0xB2})},
      {"866 bullet operator to 866", {"-to866"}, B({0xF9}), B({0xF9})},
  });
}

// The four fallback strings made of Cyrillic letters (ЛЬ НЬ ль нь for Љ Њ љ
// њ) are written in the target's letters, and so is their fallback byte;
// targets with the letters write them.
TEST(Fallbacks, CyrillicStringsReencodedForTheTarget) {
  const char* letters[] = {"Љ", "Њ", "љ", "њ"};
  const char* spelled[] = {"ЛЬ", "НЬ", "ль", "нь"};
  const char* first[] = {"Л", "Н", "л", "н"};
  struct Target {
    const char* target_switch;
    const char* charset;  // what the letters are written in; nullptr: pivot bytes unchanged
    bool has_letters;
  };
  const Target targets[] = {
      {"-tokoi8", "KOI8-R", false},    {"-tokoi8u", "KOI8-U", false},
      // KOI-7 is written in its 8-bit form, where the letters sit as in KOI8-R.
      {"-tokoi7", "KOI8-R", false},    {"-to866", "CP866", false},
      {"-tokx", "CP866", false},
      // Strings are not re-encoded for the code pages without letter tables:
      // the pivot bytes of ЛЬ are written as they are.
      {"-to1252", nullptr, false},     {"-tow", "CP1251", true},
      {"-toiso", "ISO-8859-5", true},  {"-tomac", "MAC-CYRILLIC", true},
      {"-to855", "IBM855", true},      {"-toisoir111", "ISO-IR-111", true},
      {"-tomacu", "MAC-UK", true},
  };
  for (const Target& t : targets) {
    SCOPED_TRACE(t.target_switch);
    const char* charset = t.charset != nullptr ? t.charset : "CP866";
    Bytes in, want, want_nstr;
    for (int i = 0; i < 4; ++i) {
      in += iconv_convert("UTF-8", "CP1251", letters[i]);
      want += iconv_convert("UTF-8", charset, t.has_letters ? letters[i] : spelled[i]);
      want_nstr += iconv_convert("UTF-8", charset, t.has_letters ? letters[i] : first[i]);
    }
    EXPECT_EQ(hex(convert({"-w", t.target_switch}, in)), hex(want));
    EXPECT_EQ(hex(convert({"-w", t.target_switch, "-nstr"}, in)), hex(want_nstr));
  }
}

}  // namespace
}  // namespace recodia::test
