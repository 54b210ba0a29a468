// Whole runs of the program on real text. The expected bytes come from glibc's
// iconv, after the characters that the target lacks have been replaced by
// hand with what the conversion rules give them.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "test_support.hpp"

namespace recodia::test {
namespace {

using Substitutions = std::vector<std::pair<std::string, std::string>>;

Bytes sample(const char* name) { return read_file(std::string(RECODIA_SOURCE_DIR) + "/tests/data/" + name); }

Bytes replace_all(Bytes s, const std::string& from, const std::string& to) {
  for (std::size_t at = s.find(from); at != Bytes::npos; at = s.find(from, at + to.size())) s.replace(at, from.size(), to);
  return s;
}

Bytes substituted(const Substitutions& subs, Bytes s) {
  for (const auto& [from, to] : subs) s = replace_all(std::move(s), from, to);
  return s;
}

Bytes with_crlf(const Bytes& s) { return replace_all(s, "\n", "\r\n"); }

Bytes encoded(const char* charset, const Bytes& utf8) { return iconv_convert("UTF-8", charset, utf8); }

Substitutions without(const Substitutions& subs, const std::string& from) {
  Substitutions kept;
  for (const auto& s : subs)
    if (s.first != from) kept.push_back(s);
  return kept;
}

// DOS 866 bytes as KX writes them.
Bytes as_kx(Bytes s) {
  for (char& c : s) {
    switch (static_cast<unsigned char>(c)) {
      case 0xF0: c = static_cast<char>(0x85); break;
      case 0xF1: c = static_cast<char>(0xA5); break;
      case 0x86: c = static_cast<char>(0xB0); break;
      case 0xA6: c = static_cast<char>(0xB1); break;
      default: break;
    }
  }
  return s;
}

// ---------------------------------------------------------------------------

// Ukrainian and Serbian from Windows 1251 (with CR LF, as Windows writes it)
// to three Cyrillic code pages that write LF.
TEST(Texts, UkrainianAndSerbianFromWindows1251) {
  // What the targets without guillemets and em dash write: the fallback
  // strings, and the DOS dash glyph.
  const Substitutions no_typography = {{"«", "<<"}, {"»", ">>"}, {"—", "\x16"}};
  // KOI8-U has the Ukrainian letters only; the Serbian ones fall back.
  Substitutions koi8u = no_typography;
  koi8u.insert(koi8u.end(), {{"Љ", "ЛЬ"}, {"Њ", "НЬ"}, {"љ", "ль"}, {"њ", "нь"}, {"Ђ", "Th"}, {"Ћ", "Th"},
                             {"ђ", "h"}, {"ћ", "h"}, {"Џ", "U"}, {"џ", "u"}, {"Ј", "J"}, {"ј", "j"}});
  // ISO-IR-111 lacks only the ghe with upturn.
  Substitutions ir111 = no_typography;
  ir111.insert(ir111.end(), {{"Ґ", "Г"}, {"ґ", "г"}});
  // Mac Ukrainian has every sign; an apostrophe after a letter becomes the
  // typographic one.
  const Substitutions macu = {{"'", "’"}};
  struct Target {
    const char* target_switch;
    const char* charset;
    const Substitutions* subs;
  };
  const Target targets[] = {
      {"-tokoi8u", "KOI8-U", &koi8u}, {"-toisoir111", "ISO-IR-111", &ir111}, {"-tomacu", "MAC-UK", &macu}};
  for (const char* name : {"ukrainian.txt", "serbian.txt"}) {
    const Bytes text = sample(name);
    const Bytes input = encoded("CP1251", with_crlf(text));
    for (const Target& t : targets) {
      SCOPED_TRACE(std::string(name) + " " + t.target_switch);
      EXPECT_EQ(hex(convert({"-w", t.target_switch}, input)), hex(encoded(t.charset, substituted(*t.subs, text))));
    }
  }
}

// A Turkish paragraph between the four Turkish code pages, every direction.
TEST(Texts, TurkishAmongTheFourCodePages) {
  const Bytes text = sample("turkish.txt");
  const Bytes mac_turkish = sample("turkish.macturk");
  struct Page {
    const char* source_switch;
    const char* target_switch;
    const char* charset;  // nullptr: Mac Turkish, which glibc lacks
    bool crlf;
    bool typographic_apostrophe;
  };
  const Page pages[] = {
      {"-1254", "-to1254", "CP1254", true, true},
      {"-857", "-to857", "IBM857", true, false},
      {"-iso8859_9", "-toiso8859_9", "ISO-8859-9", false, false},
      {"-macturk", "-tomacturk", nullptr, false, true},
  };
  for (const Page& from : pages) {
    const Bytes input = from.charset ? encoded(from.charset, text) : mac_turkish;
    for (const Page& to : pages) {
      SCOPED_TRACE(std::string(from.source_switch) + " " + to.target_switch);
      Bytes want;
      if (to.charset) {
        want = encoded(to.charset, to.typographic_apostrophe ? replace_all(text, "'", "’") : text);
      } else {
        // Mac Turkish writes ’ at 0xD5; every apostrophe here follows a letter.
        want = replace_all(mac_turkish, "'", "\xD5");
      }
      if (to.crlf) want = with_crlf(want);
      EXPECT_EQ(hex(convert({from.source_switch, to.target_switch}, input)), hex(want));
    }
  }
}

// A French paragraph between the five West-European code pages.
TEST(Texts, FrenchAmongTheFiveCodePages) {
  const Bytes text = sample("french.txt");
  struct Page {
    const char* source_switch;
    const char* target_switch;
    const char* charset;
    // ISO 8859-1 is written with the Windows 1252 table, so its bytes for œ
    // and ’ are those of Windows 1252.
    const char* written_as;
    bool crlf;
    bool has_oe;      // as a source: whether the code page can hold œ
    bool has_quotes;  // the typographic single quotes
  };
  const Page pages[] = {
      {"-850", "-to850", "IBM850", "IBM850", true, false, false},
      {"-1252", "-to1252", "CP1252", "CP1252", true, true, true},
      {"-iso8859_1", "-toiso8859_1", "ISO-8859-1", "CP1252", false, false, true},
      {"-iso8859_15", "-toiso8859_15", "ISO-8859-15", "ISO-8859-15", false, true, false},
      {"-macroman", "-tomacroman", "MACINTOSH", "MACINTOSH", false, true, true},
  };
  for (const Page& from : pages) {
    // A code page without œ has the text with "oe" to begin with.
    const Bytes source_text = from.has_oe ? text : replace_all(text, "œ", "oe");
    const Bytes input = encoded(from.charset, source_text);
    for (const Page& to : pages) {
      SCOPED_TRACE(std::string(from.source_switch) + " " + to.target_switch);
      Bytes want = source_text;
      // œ reaches every target that has it (ISO 8859-1 through the Windows
      // 1252 table); DOS 850 writes its fallback string.
      if (std::string(to.target_switch) == "-to850") want = replace_all(want, "œ", "oe");
      if (to.has_quotes) want = replace_all(want, "'", "’");
      want = encoded(to.written_as, want);
      if (to.crlf) want = with_crlf(want);
      EXPECT_EQ(hex(convert({from.source_switch, to.target_switch}, input)), hex(want));
    }
  }
}

// DOS 866 text with box drawing and the control-range glyphs of DOS text
// (smileys, section sign, pilcrow, bullet, dash, double exclamation mark).
TEST(Texts, Dos866BoxDrawingToWindows1251) {
  const Bytes text =
      "┌──────────────────────────────┐\n"
      "│ ☺ Отчёт за 2024 год ☻        │\n"
      "├──────────────────────────────┤\n"
      "│ § 1. Доходы ▬ 120 тыс. руб.  │\n"
      "│ ¶ Расходы: 95 тыс. ‼         │\n"
      "│ • Итог: рост 25%, √4 = 2 ∟   │\n"
      "╘══════════════════════════════╛\n"
      "╔═╗ ░▒▓█ \"Конец\" № 5, 20° ¤ ∙ ·\n"
      "╚═╝ Ёлка, Ўсход, Єва, Їжак, ўсё, єнот, їжа\n";
  // The glyphs stand for these control bytes in DOS text.
  const Substitutions glyph_bytes = {{"☺", "\x01"}, {"☻", "\x02"}, {"‼", "\x13"}, {"§", "\x15"},
                                     {"¶", "\x14"}, {"•", "\x07"}, {"▬", "\x16"}, {"∟", "\x1C"}};
  const Bytes input = encoded("CP866", with_crlf(substituted(glyph_bytes, text)));
  const Substitutions to_1251 = {
      // Box drawing falls back to '+', '-' and '|'.
      {"┌", "+"}, {"┐", "+"}, {"├", "+"}, {"┤", "+"}, {"╘", "+"}, {"╛", "+"}, {"╔", "+"}, {"╗", "+"},
      {"╚", "+"}, {"╝", "+"}, {"░", "+"}, {"▒", "+"}, {"▓", "+"}, {"█", "+"}, {"─", "-"}, {"═", "-"},
      {"│", "|"},
      // The control symbols: spelled out, or the 1251 sign of the same code;
      // the bullet glyph and both of 866's dots carry the middle dot's code.
      {"☺", ":-)"}, {"☻", ":-)"}, {"‼", "!!"}, {"▬", "—"}, {"∟", "_"}, {"•", "·"}, {"∙", "·"},
      {"√", "sqrt "},
      // Smart quotes.
      {"\"Конец\"", "«Конец»"},
      // DOS 866 codes its numero sign apart, without a fallback: the pivot
      // byte 0xFC goes through, which in Windows 1251 is ь.
      {"№", "ь"},
  };
  EXPECT_EQ(hex(convert({"-tow"}, input)), hex(encoded("CP1251", with_crlf(substituted(to_1251, text)))));
}

// A Windows 1251 text full of typographic signs to three targets that lack
// most of them.
TEST(Texts, TypographicSignsFromWindows1251) {
  const Bytes text =
      "«Ёжик в тумане» — мультфильм № 1, © «Союзмультфильм», 1975.\n"
      "Билет стоит 5 € ± 1 €, а сборник… ещё дешевле — марка ТМ™ и ёлочка.\n";
  const Bytes input = encoded("CP1251", with_crlf(text));
  // The euro sign has no fallback: its 1251 byte 0x88 travels as the pivot
  // byte 0x88, the letter И.
  const Substitutions strings = {{"«", "<<"}, {"»", ">>"}, {"—", "\x16"}, {"№", "No."}, {"©", "(C)"},
                                 {"€", "И"},  {"±", "+-"}, {"…", "..."},  {"™", "(TM)"}};
  const Substitutions bytes = {{"«", "\""}, {"»", "\""}, {"—", "\x16"}, {"№", "N"}, {"©", "c"},
                               {"€", "И"},  {"±", "+"},  {"…", "."},    {"™", "T"}};
  const Substitutions html = {{"«", "&laquo;"}, {"»", "&raquo;"}, {"—", "&mdash;"}, {"№", "No."},
                              {"©", "&copy;"},  {"€", "&#128;"},  {"±", "&plusmn;"}, {"…", "&hellip;"},
                              {"™", "&trade;"}, {"Ё", "&Euml;"},  {"ё", "&euml;"}};
  // With "-html" and without strings the double-quote byte is the grave accent.
  const Substitutions html_bytes = {{"«", "`"}, {"»", "`"}, {"—", "\x16"}, {"№", "N"}, {"©", "c"},
                                    {"€", "И"}, {"±", "+"}, {"…", "."},    {"™", "T"}};
  struct Variant {
    const char* what;
    std::vector<std::string> switches;
    const Substitutions* subs;
    bool strings;
  };
  const Variant variants[] = {
      {"default", {}, &strings, true},
      {"-nstr", {"-nstr"}, &bytes, false},
      {"-html", {"-html"}, &html, true},
      {"-html -nstr", {"-html", "-nstr"}, &html_bytes, false},
  };
  for (const Variant& v : variants) {
    // DOS 866: CR LF, which travels as a string, so without strings LF alone.
    {
      SCOPED_TRACE(std::string("866 ") + v.what);
      std::vector<std::string> sw = {"-w", "-to866"};
      sw.insert(sw.end(), v.switches.begin(), v.switches.end());
      Bytes want = encoded("CP866", substituted(*v.subs, text));
      if (v.strings) want = with_crlf(want);
      EXPECT_EQ(hex(convert(sw, input)), hex(want));
    }
    // KOI8-R: LF; it has the copyright sign.
    {
      SCOPED_TRACE(std::string("KOI8-R ") + v.what);
      std::vector<std::string> sw = {"-w", "-tokoi8"};
      sw.insert(sw.end(), v.switches.begin(), v.switches.end());
      EXPECT_EQ(hex(convert(sw, input)), hex(encoded("KOI8-R", substituted(without(*v.subs, "©"), text))));
    }
    // KX, the default target: the line ends are kept; Ё ё become Е е, and Ж
    // ж move to 0xB0 and 0xB1.
    {
      SCOPED_TRACE(std::string("KX ") + v.what);
      std::vector<std::string> sw = {"-w"};
      sw.insert(sw.end(), v.switches.begin(), v.switches.end());
      EXPECT_EQ(hex(convert(sw, input)), hex(as_kx(encoded("CP866", with_crlf(substituted(*v.subs, text))))));
    }
  }
}

// A French text from Windows 1252 to KOI8-R, which has none of its accented
// letters, with "-html".
TEST(Texts, FrenchFromWindows1252ToKoi8rWithHtml) {
  const Bytes text = sample("french.txt");
  const Substitutions entities = {
      {"é", "&eacute;"}, {"è", "&egrave;"}, {"ê", "&ecirc;"},  {"ë", "&euml;"},   {"à", "&agrave;"},
      {"â", "&acirc;"},  {"ç", "&ccedil;"}, {"ô", "&ocirc;"},  {"û", "&ucirc;"},  {"ù", "&ugrave;"},
      {"ï", "&iuml;"},   {"î", "&icirc;"},  {"É", "&Eacute;"}, {"À", "&Agrave;"}, {"Ç", "&Ccedil;"},
      {"«", "&laquo;"},  {"»", "&raquo;"},
      // œ has no entity and keeps its fallback string.
      {"œ", "oe"},
  };
  const Bytes want = substituted(entities, text);
  for (unsigned char c : want) ASSERT_LT(c, 0x80) << "a character of the sample is missing above";
  // "-html" leaves the apostrophes straight; KOI8-R writes LF.
  EXPECT_EQ(convert({"-1252", "-tokoi8", "-html"}, encoded("CP1252", with_crlf(text))), want);
}

// A Russian paragraph transliterated from three encodings gives one Latin
// text, with the signs as grave accents or, with "-nqt", as q.
TEST(Texts, RussianTransliteratedFromThreeEncodings) {
  const Bytes text = sample("russian.txt");
  const Bytes latin = sample("russian-latin.txt");
  // Every sign in the paragraph is small, so "-nqt" writes each as q.
  ASSERT_EQ(text.find("Ъ"), Bytes::npos);
  ASSERT_EQ(text.find("Ь"), Bytes::npos);
  ASSERT_EQ(text.find('`'), Bytes::npos);
  const Bytes latin_nqt = replace_all(latin, "`", "q");
  for (const auto& [source, charset] : {std::pair{"-866", "CP866"}, {"-w", "CP1251"}, {"-koi8", "KOI8-R"}}) {
    SCOPED_TRACE(source);
    // Transliteration keeps the line ends as they are.
    const Bytes input = encoded(charset, with_crlf(text));
    EXPECT_EQ(convert({source, "-totl"}, input), with_crlf(latin));
    EXPECT_EQ(convert({source, "-translit", "-nqt"}, input), with_crlf(latin_nqt));
  }
}

}  // namespace
}  // namespace recodia::test
