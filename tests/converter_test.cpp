// The character converter's step sequence and the precedence between its
// steps: DOS control symbols, "-32", smart quotes, the native-byte rule,
// bytes that mean nothing in the target, the Turkish and West-European code
// pages among themselves, and the byte 0. Whole runs of the program where the
// file's bytes tell the story, the converter itself where a run would hide
// which step decided.
#include <gtest/gtest.h>

#include <cstdint>
#include <exception>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/options.hpp"
#include "convert/converter.hpp"
#include "convert/encoding_id.hpp"
#include "test_support.hpp"

namespace recodia::test {
namespace {

Bytes B(std::initializer_list<unsigned> values) {
  Bytes s;
  for (unsigned v : values) s.push_back(static_cast<char>(v));
  return s;
}

ConversionSettings settings_from(const std::vector<std::string_view>& switches) {
  ConversionSettings settings;
  CommandLine command_line;
  parse_arguments(switches, settings, command_line);
  resolve_settings(settings, command_line);
  return settings;
}

// What the run would write for each byte, line style aside.
Bytes written_by(const ConversionSettings& s, std::string_view input) {
  Converter converter(s);
  Bytes out;
  for (unsigned char b : input) {
    const std::uint8_t r = converter.convert_byte(b);
    if (converter.result().string_pending && s.strings_allowed) out += converter.result().output_string.data();
    else out.push_back(static_cast<char>(r != 0 ? r : b));
  }
  return out;
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

// ---------------------------------------------------------------------------
// DOS control symbols and "-32"

TEST(ConverterRun, DosControlSymbols) {
  expect_runs({
      // DOS 866 to DOS 866: the smileys and the double exclamation mark are
      // spelled out, 0x16 and 0x1C become '_', the bullet glyph 0x07 becomes
      // the middle dot that 866 has at 0xF9; 866 has no section sign or
      // pilcrow, so 0x15 and 0x14 stay.
      {"smileys", {"-to866"}, B({0x01, 0x02}), ":-):-)"},
      {"double exclamation", {"-to866"}, B({0x13}), "!!"},
      {"dash glyph and 0x1C", {"-to866"}, B({0x16, 0x1C}), "__"},
      {"bullet glyph", {"-to866"}, B({0x07}), B({0xF9})},
      {"section and pilcrow glyphs", {"-to866"}, B({0x15, 0x14}), B({0x15, 0x14})},
      {"without strings", {"-to866", "-nstr"}, B({0x01, 0x02, 0x13}), "OO!"},
      // To Windows 1251 the signs have bytes of their own; the looked-up
      // byte wins over the '_' of 0x16 and over the 1251 bullet that the
      // letter step makes of 0x07.
      {"signs to 1251", {"-tow"}, B({0x15, 0x14, 0x07, 0x16, 0x1C}), B({0xA7, 0xB6, 0xB7, 0x97, '_'})},
      {"smiley to 1251", {"-tow"}, B({0x01, 0x13}), ":-)!!"},
      // KX looks nothing up: the glyph bytes stay, 0x16 is '_'.
      {"signs to KX", {}, B({0x07, 0x15, 0x14, 0x16, 0x01}), B({0x07, 0x15, 0x14, '_'}) + ":-)"},
      // The middle dot of DOS 866 falls back to the bullet glyph for KX.
      {"866 bullet operator to KX", {}, B({0xF9}), B({0x07})},
      {"866 middle dot to 866", {"-to866"}, B({0xFA}), B({0xF9})},
      // Only a DOS 866 source has control symbols; for Windows 1251 the
      // bytes reach the 1251 letter step, which gives them the 1251 signs.
      {"1251 control bytes to 1251", {"-w", "-tow"}, B({0x07, 0x14, 0x15, 0x16}), B({0x95, 0xB6, 0xA7, 0xAD})},
      {"1251 control bytes to 866", {"-w", "-to866"}, B({0x07, 0x14, 0x15, 0x16, 0x01}),
       B({0x07, 0x14, 0x15, 0x16, 0x01})},
  });
}

TEST(ConverterRun, WithoutSpecialSymbols) {
  expect_runs({
      {"control bytes pass", {"-32", "-to866"}, B({0x01, 0x02, 0x13, 0x16, 0x1C, 0x07, 0x15, 0x14}),
       B({0x01, 0x02, 0x13, 0x16, 0x1C, 0x07, 0x15, 0x14})},
      {"dollar becomes ampersand", {"-32", "-to866"}, "a$b-c", "a&b-c"},
      {"control bytes to 1251", {"-32", "-tow"}, B({0x07, 0x14, 0x15, 0x16}), B({0x07, 0x14, 0x15, 0x16})},
      // The bullet operator falls back to the bullet byte 0xF9, which the
      // remap turns into '.', and KX writes that; 866 has the sign itself.
      {"866 bullet operator to KX", {"-32"}, B({0xF9, 0xFA}), ".."},
      {"866 bullet operator to 866", {"-32", "-to866"}, B({0xF9, 0xFA}), B({0xF9, 0xF9})},
      {"866 bullet operator to 1251", {"-32", "-tow"}, B({0xF9}), B({0xB7})},
      // 866 0xB7 is a box corner: its '+' fallback comes before the remap.
      {"866 box corner 0xB7", {"-32"}, B({0xB7}), "+"},
      // From Windows 1251: em dash, section sign, pilcrow and middle dot.
      {"1251 signs to 866", {"-32", "-w", "-to866"}, B({0x97, 0xA7, 0xB6, 0x95, 0xB7}), B({'-', '&', '$', '.', 0xF9})},
      {"1251 signs to KX", {"-32", "-w"}, B({0x97, 0xA7, 0xB6, 0xB7, 0x95}), "-&$.."},
      {"1251 dollar", {"-32", "-w", "-to866"}, "$", "&"},
      {"1252 dollar", {"-32", "-1252", "-to850"}, "$", "&"},
      // A KOI8-R source decodes ASCII to working byte 0, which no test sees.
      {"KOI8-R dollar stays", {"-32", "-koi8", "-tow"}, "$", "$"},
  });
}

// ---------------------------------------------------------------------------
// Smart quotes

TEST(ConverterRun, SmartQuotesByPosition) {
  expect_runs({
      {"start of file", {"-tow"}, "\"", B({0xAB})},
      {"after a letter", {"-tow"}, "a\"", B({'a', 0xBB})},
      {"after a space", {"-tow"}, " \"", B({' ', 0xAB})},
      {"after CR LF", {"-tow"}, "a\r\n\"", B({'a', 0x0D, 0x0A, 0xAB})},
      {"after LF kept", {"-tow", "-noaltlf"}, "a\n\"", B({'a', 0x0A, 0xAB})},
      {"after a tab", {"-tow"}, "a\t\"", B({'a', 0x09, 0xAB})},
      {"after 0x0D", {"-tow", "-noaltlf"}, "a\r\"", B({'a', 0x0D, 0xAB})},
      {"after 0x0E", {"-tow"}, "\x0E\"", B({0x0E, 0xBB})},
      {"after 0x1F", {"-tow"}, "\x1F\"", B({0x1F, 0xBB})},
      {"after a Cyrillic letter", {"-tow"}, B({0xA0, '"'}), B({0xE0, 0xBB})},
      {"pair", {"-tow"}, "\"a\" \"b\"", B({0xAB, 'a', 0xBB, ' ', 0xAB, 'b', 0xBB})},
      {"two in a row", {"-tow"}, "\"\"", B({0xAB, 0xBB})},
      {"apostrophes", {"-tow"}, "'a' b'", B({0x91, 'a', 0x92, ' ', 'b', 0x92})},
      // The previous byte is the byte after the fallback and control steps.
      {"after a smiley", {"-tow"}, B({0x01, '"'}), B({':', '-', ')', 0xBB})},
      {"after the dash glyph", {"-tow"}, B({0x16, '"'}), B({0x97, 0xBB})},
      {"after the bullet glyph", {"-tow"}, B({0x07, '"'}), B({0xB7, 0xAB})},
      {"after a box line", {"-tow"}, B({0xC4, '"'}), B({'-', 0xBB})},
      {"without special symbols", {"-32", "-tow"}, "\"a\"", B({0xAB, 'a', 0xBB})},
  });
}

TEST(ConverterRun, SmartQuotesBySwitchAndTarget) {
  const Bytes text = "\"x\" 'y'";
  expect_runs({
      {"-nta", {"-tow", "-nta"}, text, text},
      {"-src", {"-tow", "-src"}, text, text},
      {"-html", {"-tow", "-html"}, text, text},
      {"-html -dhcs", {"-tow", "-html", "-dhcs"}, text, text},
      // Targets without the guillemets and the single quotation marks.
      {"to 866", {"-to866"}, text, text},
      {"to KOI8-R", {"-tokoi8"}, text, text},
      {"to ISO 8859-5", {"-toiso"}, text, text},
      {"to ISO-IR-111", {"-toisoir111"}, text, text},
      // Targets without a lookup write the plain quote.
      {"to KX", {}, text, text},
      {"to transliteration", {"-totl"}, text, text},
      {"to KOI-7", {"-tokoi7"}, text, B({0xA2, 'x', 0xA2, 0xA0, 0xA7, 'y', 0xA7})},
      // Targets with them.
      {"to 1252", {"-to1252"}, text, B({0xAB, 'x', 0xBB, ' ', 0x91, 'y', 0x92})},
      {"to ISO 8859-1", {"-toiso8859_1"}, text, B({0xAB, 'x', 0xBB, ' ', 0x91, 'y', 0x92})},
      {"to ISO 8859-15", {"-toiso8859_15"}, text, B({0xAB, 'x', 0xBB, ' ', '\'', 'y', '\''})},
      {"to 850", {"-to850"}, text, B({0xAE, 'x', 0xAF, ' ', '\'', 'y', '\''})},
      {"to Mac Roman", {"-tomacroman"}, text, B({0xC7, 'x', 0xC8, ' ', 0xD4, 'y', 0xD5})},
      {"to Mac Cyrillic", {"-tomac"}, text, B({0xC7, 'x', 0xC8, ' ', 0xD4, 'y', 0xD5})},
      {"to 1254", {"-to1254"}, text, B({0xAB, 'x', 0xBB, ' ', 0x91, 'y', 0x92})},
      {"to 857", {"-to857"}, text, B({0xAE, 'x', 0xAF, ' ', '\'', 'y', '\''})},
      // Sources: the quote is turned wherever the working byte is the ASCII
      // quote; a KOI8-R source decodes ASCII to 0, so its quotes stay.
      {"from 1251", {"-w", "-to1252"}, "\"", B({0xAB})},
      {"from 1252", {"-1252", "-tow"}, "\"", B({0xAB})},
      {"from KX", {"-kx", "-tow"}, "\"", B({0xAB})},
      {"from KOI8-R", {"-koi8", "-tow"}, "\"a\"", "\"a\""},
      {"from KOI8-R after a letter", {"-koi8", "-tow"}, B({0xC1, '"'}), B({0xE0, '"'})},
      {"from ISO 8859-5", {"-iso", "-to1252"}, "\"", "\""},
  });
}

// ---------------------------------------------------------------------------
// A character that the target has is written as its own byte

TEST(ConverterRun, NativeByteWins) {
  expect_runs({
      {"1252 copyright to 1251", {"-1252", "-tow"}, B({0xA9}), B({0xA9})},
      {"1251 copyright to KOI8-R", {"-w", "-tokoi8"}, B({0xA9}), B({0xBF})},
      {"1251 guillemet to 1252 with -html", {"-w", "-to1252", "-html"}, B({0xAB}), B({0xAB})},
      {"1251 middle dot to 866 with -html", {"-w", "-to866", "-html"}, B({0xB7}), B({0xF9})},
      {"1252 euro to 1251 with -html", {"-1252", "-tow", "-html"}, B({0x80}), B({0x88})},
      {"1252 e acute to 1251 with -html", {"-1252", "-tow", "-html"}, B({0xE9}), "&eacute;"},
      {"1251 dje to ISO-IR-111", {"-w", "-toisoir111"}, B({0x80}), B({0xB1})},
      {"1251 lje to Mac Cyrillic", {"-w", "-tomac"}, B({0x8A}), B({0xBC})},
      // The byte rows of the entity table have no symbol code to look up.
      {"866 Yo to 1251 with -html", {"-tow", "-html"}, B({0xF0}), "&Euml;"},
      {"866 Yo to 1251", {"-tow"}, B({0xF0}), B({0xA8})},
  });
}

// The letters go through the pivot and come back as they were.
TEST(ConverterRun, Windows1251LettersToThemselves) {
  Bytes letters = B({0xA8, 0xB8});
  for (unsigned b = 0xC0; b <= 0xFF; ++b) letters += B({b});
  expect_runs({{"1251 to 1251", {"-w", "-tow"}, letters, letters},
               {"KOI8-R to KOI8-R", {"-koi8", "-tokoi8"}, iconv_convert("CP1251", "KOI8-R", letters),
                iconv_convert("CP1251", "KOI8-R", letters)}});
}

// ---------------------------------------------------------------------------
// Bytes without meaning in the target

TEST(ConverterRun, BytesWithoutMeaningInTheTarget) {
  expect_runs({
      // No letter and no symbol code: the input byte is written unchanged.
      {"KOI8-R no-break space", {"-koi8", "-tow"}, B({0x9A}), B({0x9A})},
      {"KOI8-R ASCII", {"-koi8", "-tow"}, "Az 09", "Az 09"},
      {"KOI-7 byte without a letter", {"-koi7", "-tow"}, "A", "A"},
      // A symbol code the target lacks, without a fallback: the working byte
      // (the byte itself for these sources) is encoded as if it were a
      // pivot byte.
      {"1251 euro to 866", {"-w", "-to866"}, B({0x88}), B({0x88})},
      {"1251 euro to KOI8-R", {"-w", "-tokoi8"}, B({0x88}), B({0xE9})},
      {"1252 euro to KOI8-R", {"-1252", "-tokoi8"}, B({0x80}), B({0xE1})},
      {"1252 a grave to 866", {"-1252", "-to866"}, B({0xE0}), B({0xE0})},
      {"1252 a grave to 1251", {"-1252", "-tow"}, B({0xE0}), B({0xF0})},
      {"1254 g breve to 1252", {"-1254", "-to1252"}, B({0xF0}), B({0xF0})},
      {"1252 eth to 1254", {"-1252", "-to1254"}, B({0xF0}), B({0xF0})},
      {"1252 eth to KX", {"-1252"}, B({0xF0}), B({0x85})},
      // The sharp s has two codes: the DOS and Mac tables use the one with a
      // fallback, the Windows and ISO tables the one without.
      {"1252 sharp s to 850", {"-1252", "-to850"}, B({0xDF}), B({0xDF})},
      {"850 sharp s to 1252", {"-850", "-to1252"}, B({0xE1}), "b"},
      {"Mac Roman sharp s to 850", {"-macroman", "-to850"}, B({0xA7}), B({0xE1})},
      // DOS 866 codes its numero sign apart from the Cyrillic code pages'.
      {"866 numero to 1251", {"-tow"}, B({0xFC}), B({0xFC})},
      {"866 numero to KOI8-R", {"-tokoi8"}, B({0xFC}), B({0xFC})},
      {"1251 numero to 866", {"-w", "-to866"}, B({0xB9}), "No."},
      // KX has no symbol codes at all: a box line is just the byte.
      {"KX box line to 1251", {"-kx", "-tow"}, B({0xC4}), B({0xC4})},
      {"KX Zh", {"-kx", "-tow"}, B({0xB0, 0xB1, 0x86, 0xA6}), B({0xC6, 0xE6, 0xC6, 0xE6})},
  });
}

// ---------------------------------------------------------------------------
// The Turkish and West-European code pages among themselves

TEST(ConverterRun, TurkishAndWestEuropeanSamples) {
  expect_runs({
      {"1254 to 857", {"-1254", "-to857"}, B({0xF0, 0xD0, 0xFD, 0xDD, 0xFE, 0xDE}),
       B({0xA7, 0xA6, 0x8D, 0x98, 0x9F, 0x9E})},
      {"1254 to Mac Turkish", {"-1254", "-tomacturk"}, B({0xF0, 0xD0, 0xFD, 0xDD, 0xFE, 0xDE}),
       B({0xDB, 0xDA, 0xDD, 0xDC, 0xDF, 0xDE})},
      {"Mac Turkish to ISO 8859-9", {"-macturk", "-toiso8859_9"}, B({0xDB, 0xDA, 0xDD, 0xDC, 0xDF, 0xDE}),
       B({0xF0, 0xD0, 0xFD, 0xDD, 0xFE, 0xDE})},
      {"857 to 1252", {"-857", "-to1252"}, B({0x87, 0x81, 0x94, 0xA7}), B({0xE7, 0xFC, 0xF6, 0xA7})},
      {"850 to Mac Roman", {"-850", "-tomacroman"}, B({0x82, 0x8A, 0x85, 0x87, 0xAE, 0xAF}),
       B({0x8E, 0x8F, 0x88, 0x8D, 0xC7, 0xC8})},
      {"ISO 8859-15 to 1252", {"-iso8859_15", "-to1252"}, B({0xA4, 0xBD, 0xA6}), B({0x80, 0x9C, 0x8A})},
      // ISO 8859-1 shares the Windows 1252 table, 0x80..0x9F included.
      {"ISO 8859-1 to ISO 8859-15", {"-iso8859_1", "-toiso8859_15"}, B({0x80, 0x9C, 0x8A}), B({0xA4, 0xBD, 0xA6})},
      {"1252 to ISO 8859-1", {"-1252", "-toiso8859_1"}, B({0x80, 0x93, 0xE9}), B({0x80, 0x93, 0xE9})},
  });
}

// Every Latin letter with a diacritic (and the few that have no fallback)
// between every two of the Turkish and West-European code pages that glibc's
// iconv knows: the target's own byte where the target has the letter, else
// the source byte itself, which these encodings carry as their working byte.
TEST(ConverterDirect, TurkishAndWestEuropeanLettersAmongThemselves) {
  struct Page {
    EncodingId id;
    const char* source_switch;
    const char* target_switch;
    const char* charset;
  };
  const Page pages[] = {
      {kWindows1254, "-1254", "-to1254", "CP1254"},
      {kDos857, "-857", "-to857", "IBM857"},
      {kIso8859_9, "-iso8859_9", "-toiso8859_9", "ISO-8859-9"},
      {kDos850, "-850", "-to850", "IBM850"},
      {kWindows1252, "-1252", "-to1252", "CP1252"},
      {kIso8859_1, "-iso8859_1", "-toiso8859_1", "ISO-8859-1"},
      {kIso8859_15, "-iso8859_15", "-toiso8859_15", "ISO-8859-15"},
      {kMacRoman, "-macroman", "-tomacroman", "MACINTOSH"},
  };
  // The Latin-1 letters (without the sharp s, which has two codes) and the
  // Turkish ones.
  std::vector<std::string> letters;
  for (char32_t c = 0xC0; c <= 0xFF; ++c) {
    if (c == 0xD7 || c == 0xF7 || c == 0xDF) continue;
    letters.push_back(iconv_convert("UTF-32LE", "UTF-8",
                                    B({unsigned(c & 0xFF), unsigned((c >> 8) & 0xFF), 0, 0})));
  }
  for (const char* t : {"Ğ", "ğ", "İ", "ı", "Ş", "ş"}) letters.push_back(t);

  auto encode = [](const char* charset, const std::string& utf8) -> std::optional<Bytes> {
    try {
      return iconv_convert("UTF-8", charset, utf8);
    } catch (const std::exception&) {
      return std::nullopt;
    }
  };
  int checked = 0;
  for (const Page& from : pages) {
    for (const Page& to : pages) {
      const ConversionSettings s = settings_from({from.source_switch, to.target_switch});
      for (const std::string& letter : letters) {
        const std::optional<Bytes> in = encode(from.charset, letter);
        if (!in) continue;
        const std::optional<Bytes> native = encode(to.charset, letter);
        SCOPED_TRACE(std::string(from.charset) + " -> " + to.charset + ": " + letter);
        EXPECT_EQ(hex(written_by(s, *in)), hex(native ? *native : *in));
        ++checked;
      }
    }
  }
  EXPECT_GT(checked, 2500);
}

// ---------------------------------------------------------------------------
// The converter itself

struct StepCase {
  const char* what;
  std::vector<std::string_view> switches;
  std::uint8_t input;
  std::uint8_t result_byte;
  const char* string;  // nullptr: no string pending
};

TEST(ConverterDirect, StepResults) {
  const StepCase cases[] = {
      {"smiley", {"-to866"}, 0x01, 'O', ":-)"},
      {"double exclamation", {"-to866"}, 0x13, '!', "!!"},
      {"dash glyph", {"-to866"}, 0x16, '_', nullptr},
      {"dash glyph to 1251: the native byte", {"-tow"}, 0x16, 0x97, nullptr},
      {"bullet glyph", {"-to866"}, 0x07, 0xF9, nullptr},
      {"section glyph kept", {"-to866"}, 0x15, 0x15, nullptr},
      {"smiley to 1251 keeps its string", {"-tow"}, 0x01, 'O', ":-)"},
      {"-32 smiley is a plain byte", {"-32", "-to866"}, 0x01, 0x01, nullptr},
      {"-32 dollar", {"-32", "-to866"}, '$', '&', nullptr},
      {"KOI8-R ASCII: write the input byte", {"-koi8", "-32", "-tow"}, '$', 0, nullptr},
      {"KOI8-R quote: write the input byte", {"-koi8", "-tow"}, '"', 0, nullptr},
      {"fallback string", {"-w", "-to866"}, 0xA9, 'c', "(C)"},
      // The converter still reports the string; the run decides on "-nstr".
      {"fallback string with -nstr", {"-w", "-to866", "-nstr"}, 0xA9, 'c', "(C)"},
      {"pivot-letter string to KOI8-R", {"-w", "-tokoi8"}, 0x8A, 0xEC, "\xEC\xF8"},
      {"pivot-letter string to 866", {"-w", "-to866"}, 0x8A, 0x8B, "\x8B\x9C"},
      {"pivot-letter string to KOI-7", {"-w", "-tokoi7"}, 0x9C, 0xCE, "\xCE\xD8"},
      {"native byte cancels the string", {"-1252", "-tow"}, 0xA9, 0xA9, nullptr},
      {"native byte cancels the entity", {"-w", "-to1252", "-html"}, 0xAB, 0xAB, nullptr},
      {"entity over the fallback string", {"-w", "-to866", "-html"}, 0xAB, '`', "&laquo;"},
      {"-dhcs keeps the html fallback", {"-w", "-to866", "-html", "-dhcs"}, 0xAB, '`', "``"},
      {"byte row survives the lookup", {"-tow", "-html"}, 0xF0, 0xA8, "&Euml;"},
      {"transliteration", {"-totl"}, 0x99, 0x99, "Sch"},
      {"transliterated hard sign with -nqt", {"-totl", "-nqt"}, 0xEA, 'q', nullptr},
      {"euro transliterated", {"-w", "-totl"}, 0x88, 0x88, "I"},
      {"entity kept by transliteration", {"-w", "-totl", "-html"}, 0xA9, 'c', "&copy;"},
      {"entity replaced by transliteration", {"-w", "-totl", "-html"}, 0xA8, 0xF0, "Yo"},
      {"1252 euro to KOI8-R", {"-1252", "-tokoi8"}, 0x80, 0xE1, nullptr},
      {"KX Yo", {"-kx"}, 0xF0, 0x85, nullptr},
  };
  for (const StepCase& c : cases) {
    SCOPED_TRACE(c.what);
    const ConversionSettings s = settings_from(c.switches);
    Converter converter(s);
    EXPECT_EQ(int(converter.convert_byte(c.input)), int(c.result_byte));
    EXPECT_EQ(int(converter.result().result_byte), int(c.result_byte));
    EXPECT_EQ(converter.result().string_pending, c.string != nullptr);
    if (c.string != nullptr) {
      EXPECT_EQ(hex(converter.result().output_string.data()), hex(c.string));
    }
  }
}

TEST(ConverterDirect, StringPendingIsClearedByTheNextByte) {
  const ConversionSettings s = settings_from({"-to866"});
  Converter converter(s);
  converter.convert_byte(0x01);
  ASSERT_TRUE(converter.result().string_pending);
  EXPECT_EQ(int(converter.convert_byte('a')), int('a'));
  EXPECT_FALSE(converter.result().string_pending);
}

// The previous byte is the byte after the fallback and control steps, in the
// pivot code page, before the target step and before transliteration.
TEST(ConverterDirect, PreviousByte) {
  struct Case {
    const char* what;
    std::vector<std::string_view> switches;
    std::uint8_t input;
    std::uint8_t previous;
  };
  const Case cases[] = {
      {"smiley", {"-tow"}, 0x01, 'O'},
      {"dash glyph", {"-tow"}, 0x16, '_'},
      {"bullet glyph", {"-tow"}, 0x07, 0x07},
      {"box line", {"-tow"}, 0xC4, '-'},
      {"1251 letter: the pivot letter", {"-w", "-tokoi8"}, 0xE0, 0xA0},
      {"1251 copyright: the fallback byte", {"-w", "-to1252"}, 0xA9, 'c'},
      {"1251 guillemet: the double-quote byte", {"-w", "-to1252"}, 0xAB, '"'},
      {"-32 dollar", {"-32"}, '$', '&'},
      {"KOI8-R ASCII: 0", {"-koi8", "-tow"}, 'a', 0},
      {"transliteration leaves it", {"-totl", "-nqt"}, 0xEA, 0xEA},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ConversionSettings s = settings_from(c.switches);
    Converter converter(s);
    EXPECT_EQ(int(converter.previous_byte()), 0x20);
    converter.convert_byte(c.input);
    EXPECT_EQ(int(converter.previous_byte()), int(c.previous));
  }
  // Because the previous byte is the fallback byte, a quote after the bullet
  // (whose fallback is the glyph 0x07) opens, though the bullet itself is
  // written as the 1252 byte 0x95.
  const ConversionSettings s = settings_from({"-w", "-to1252"});
  EXPECT_EQ(hex(written_by(s, B({0x95, '"'}))), hex(B({0x95, 0xAB})));
}

// An input byte 0 gives result byte 0 and is written as 0, whatever the
// source, target and switches.
TEST(ConverterDirect, InputByteZero) {
  const std::vector<std::vector<std::string_view>> extras = {
      {}, {"-32"}, {"-html"}, {"-nstr"}, {"-nqt"}, {"-html", "-dhcs"}};
  int checked = 0;
  for (std::string_view source : kSwitchTexts) {
    const int index = find_switch(source);
    ConversionSettings probe = settings_from({source});
    // Only the source switches: they change the source and nothing else.
    if (probe.source == kDos866 && source != "-dos" && source != "-866") continue;
    for (std::string_view target : kSwitchTexts) {
      ConversionSettings t = settings_from({target});
      if (t.target == kKx && target != "-tokx") continue;
      for (const auto& extra : extras) {
        std::vector<std::string_view> switches = {source, target};
        switches.insert(switches.end(), extra.begin(), extra.end());
        const ConversionSettings s = settings_from(switches);
        Converter converter(s);
        SCOPED_TRACE(std::string(source) + " " + std::string(target) + " #" + std::to_string(index));
        EXPECT_EQ(int(converter.convert_byte(0)), 0);
        EXPECT_FALSE(converter.result().string_pending);
        ++checked;
      }
    }
  }
  EXPECT_GT(checked, 20 * 21 * 6);
}

TEST(ConverterRun, InputByteZero) {
  expect_runs({
      {"866 to KX", {}, B({'a', 0, 'b'}), B({'a', 0, 'b'})},
      {"KOI8-R to 1251", {"-koi8", "-tow"}, B({0, 0xC1, 0}), B({0, 0xE0, 0})},
      {"1252 to KOI-7", {"-1252", "-tokoi7"}, B({0}), B({0})},
      {"1251 to transliteration with -html", {"-w", "-totl", "-html"}, B({0, 0xE0, 0}), B({0, 'a', 0})},
  });
}

}  // namespace
}  // namespace recodia::test
