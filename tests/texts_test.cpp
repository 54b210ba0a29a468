// Whole runs of the program on real text. The expected bytes come from glibc's
// iconv, after the characters that the target lacks have been replaced by
// hand with what the conversion rules give them.
#include <tuple>
#include <utility>

#include "engine_support.hpp"

namespace recodia::test {
namespace {

using Substitutions = std::vector<std::pair<std::string, std::string>>;

Bytes sample(const char* name) { return read_file(std::string(RECODIA_SOURCE_DIR) + "/tests/data/" + name); }

Bytes replace_all(Bytes s, const std::string& from, const std::string& to) {
  for (std::size_t at = s.find(from); at != Bytes::npos; at = s.find(from, at + to.size()))
    s.replace(at, from.size(), to);
  return s;
}

Bytes substituted(const Substitutions& subs, Bytes s) {
  for (const auto& [from, to] : subs) s = replace_all(std::move(s), from, to);
  return s;
}

Bytes with_crlf(const Bytes& s) { return replace_all(s, "\n", "\r\n"); }

// Ukrainian and Serbian from Windows 1251 (with CR LF, as Windows writes it)
// to three Cyrillic code pages that write LF.
TEST(Texts, UkrainianAndSerbianFromWindows1251) {
  // Without guillemets and em dash: the fallback strings and the dash glyph.
  const Substitutions typography = {{"«", "<<"}, {"»", ">>"}, {"—", "\x16"}};
  // KOI8-U has the Ukrainian letters only; the Serbian ones fall back.
  Substitutions koi8u = typography;
  koi8u.insert(koi8u.end(), {{"Љ", "ЛЬ"}, {"Њ", "НЬ"}, {"љ", "ль"}, {"њ", "нь"}, {"Ђ", "Th"}, {"Ћ", "Th"},
                             {"ђ", "h"}, {"ћ", "h"}, {"Џ", "U"}, {"џ", "u"}, {"Ј", "J"}, {"ј", "j"}});
  // ISO-IR-111 lacks only the ghe with upturn.
  Substitutions ir111 = typography;
  ir111.insert(ir111.end(), {{"Ґ", "Г"}, {"ґ", "г"}});
  // Mac Ukrainian has every sign; an apostrophe after a letter closes.
  const Substitutions macu = {{"'", "’"}};
  const std::tuple<const char*, const char*, const Substitutions*> targets[] = {
      {"-tokoi8u", "KOI8-U", &koi8u}, {"-toisoir111", "ISO-IR-111", &ir111}, {"-tomacu", "MAC-UK", &macu}};
  for (const char* name : {"ukrainian.txt", "serbian.txt"}) {
    const Bytes text = sample(name);
    for (const auto& [target, charset, subs] : targets) {
      EXPECT_EQ(hex(convert({"-w", target}, enc("CP1251", with_crlf(text)))),
                hex(enc(charset, substituted(*subs, text))))
          << name << " " << target;
    }
  }
}

// A Turkish paragraph between the four Turkish code pages, every direction.
TEST(Texts, TurkishAmongTheFourCodePages) {
  const Bytes text = sample("turkish.txt");
  struct Page {
    const char *source, *target, *charset;  // charset nullptr: Mac Turkish, which glibc lacks
    bool crlf, typographic_apostrophe;
  };
  const Page pages[] = {{"-1254", "-to1254", "CP1254", true, true},
                        {"-857", "-to857", "IBM857", true, false},
                        {"-iso8859_9", "-toiso8859_9", "ISO-8859-9", false, false},
                        {"-macturk", "-tomacturk", nullptr, false, true}};
  for (const Page& from : pages) {
    const Bytes input = from.charset ? enc(from.charset, text) : sample("turkish.macturk");
    for (const Page& to : pages) {
      // Every apostrophe here follows a letter; Mac Turkish writes ’ at 0xD5.
      Bytes want = to.charset ? enc(to.charset, to.typographic_apostrophe ? replace_all(text, "'", "’") : text)
                              : replace_all(sample("turkish.macturk"), "'", "\xD5");
      if (to.crlf) want = with_crlf(want);
      EXPECT_EQ(hex(convert({from.source, to.target}, input)), hex(want)) << from.source << " " << to.target;
    }
  }
}

// A French paragraph between the five West-European code pages.
TEST(Texts, FrenchAmongTheFiveCodePages) {
  const Bytes text = sample("french.txt");
  struct Page {
    const char *source, *target, *charset;
    // ISO 8859-1 is written with the Windows 1252 table, so its œ and ’ are
    // those of Windows 1252.
    const char* written_as;
    bool crlf, has_oe, has_single_quotes;
  };
  const Page pages[] = {{"-850", "-to850", "IBM850", "IBM850", true, false, false},
                        {"-1252", "-to1252", "CP1252", "CP1252", true, true, true},
                        {"-iso8859_1", "-toiso8859_1", "ISO-8859-1", "CP1252", false, false, true},
                        {"-iso8859_15", "-toiso8859_15", "ISO-8859-15", "ISO-8859-15", false, true, false},
                        {"-macroman", "-tomacroman", "MACINTOSH", "MACINTOSH", false, true, true}};
  for (const Page& from : pages) {
    // A code page without œ has the text with "oe" to begin with.
    const Bytes source_text = from.has_oe ? text : replace_all(text, "œ", "oe");
    for (const Page& to : pages) {
      // DOS 850 writes the fallback string of œ.
      Bytes want = std::string(to.target) == "-to850" ? replace_all(source_text, "œ", "oe") : source_text;
      if (to.has_single_quotes) want = replace_all(want, "'", "’");
      want = enc(to.written_as, want);
      if (to.crlf) want = with_crlf(want);
      EXPECT_EQ(hex(convert({from.source, to.target}, enc(from.charset, source_text))), hex(want))
          << from.source << " " << to.target;
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
  const Substitutions to_1251 = {
      // Box drawing falls back to '+', '-' and '|'.
      {"┌", "+"}, {"┐", "+"}, {"├", "+"}, {"┤", "+"}, {"╘", "+"}, {"╛", "+"}, {"╔", "+"}, {"╗", "+"},
      {"╚", "+"}, {"╝", "+"}, {"░", "+"}, {"▒", "+"}, {"▓", "+"}, {"█", "+"}, {"─", "-"}, {"═", "-"}, {"│", "|"},
      // The control symbols: spelled out, or the 1251 sign of the same code;
      // the bullet glyph and both of 866's dots carry the middle dot's code.
      {"☺", ":-)"}, {"☻", ":-)"}, {"‼", "!!"}, {"▬", "—"}, {"∟", "_"}, {"•", "·"}, {"∙", "·"}, {"√", "sqrt "},
      {"\"Конец\"", "«Конец»"},
      // 866's own numero code has no fallback: pivot byte 0xFC, in 1251 ь.
      {"№", "ь"}};
  EXPECT_EQ(hex(convert({"-tow"}, enc("CP866", with_crlf(substituted(glyph_bytes, text))))),
            hex(enc("CP1251", with_crlf(substituted(to_1251, text)))));
}

// A Windows 1251 text full of typographic signs to three targets that lack
// most of them, with and without strings and entities.
TEST(Texts, TypographicSignsFromWindows1251) {
  const Bytes text =
      "«Ёжик в тумане» — мультфильм № 1, © «Союзмультфильм», 1975.\n"
      "Билет стоит 5 € ± 1 €, а сборник… ещё дешевле — марка ТМ™ и ёлочка.\n";
  const Bytes input = enc("CP1251", with_crlf(text));
  // The euro sign has no fallback: its 1251 byte 0x88 travels as the pivot
  // byte 0x88, the letter И.
  const Substitutions strings = {{"«", "<<"}, {"»", ">>"}, {"—", "\x16"}, {"№", "No."}, {"©", "(C)"},
                                 {"€", "И"},  {"±", "+-"}, {"…", "..."},  {"™", "(TM)"}};
  const Substitutions bytes = {{"«", "\""}, {"»", "\""}, {"—", "\x16"}, {"№", "N"}, {"©", "c"},
                               {"€", "И"},  {"±", "+"},  {"…", "."},    {"™", "T"}};
  const Substitutions html = {{"«", "&laquo;"}, {"»", "&raquo;"}, {"—", "&mdash;"},  {"№", "No."},
                              {"©", "&copy;"},  {"€", "&#128;"},  {"±", "&plusmn;"}, {"…", "&hellip;"},
                              {"™", "&trade;"}, {"Ё", "&Euml;"},  {"ё", "&euml;"}};
  // With "-html" the double-quote byte is the grave accent.
  Substitutions html_bytes = bytes;
  for (auto& [from, to] : html_bytes)
    if (to == "\"") to = "`";
  const std::tuple<std::vector<std::string>, const Substitutions*, bool> variants[] = {
      {{}, &strings, true}, {{"-nstr"}, &bytes, false}, {{"-html"}, &html, true},
      {{"-html", "-nstr"}, &html_bytes, false}};
  for (const auto& [switches, subs, strings_on] : variants) {
    auto run = [&, &extra = switches](std::vector<std::string> sw) {
      sw.insert(sw.end(), extra.begin(), extra.end());
      return hex(convert(sw, input));
    };
    const std::string what = switches.empty() ? "default" : switches.back();
    // DOS 866 writes CR LF, which travels as a string: without strings LF.
    const Bytes for_866 = enc("CP866", substituted(*subs, text));
    EXPECT_EQ(run({"-w", "-to866"}), hex(strings_on ? with_crlf(for_866) : for_866)) << "866 " << what;
    // KOI8-R writes LF and has the copyright sign.
    Substitutions koi8 = *subs;
    std::erase_if(koi8, [](const auto& s) { return s.first == "©"; });
    EXPECT_EQ(run({"-w", "-tokoi8"}), hex(enc("KOI8-R", substituted(koi8, text)))) << "KOI8-R " << what;
    // KX, the default target, keeps the line ends; Ё ё become Е е, and Ж ж
    // move to 0xB0 and 0xB1.
    const Bytes kx = enc("CP866", with_crlf(substituted({{"Ё", "Е"}, {"ё", "е"}}, substituted(*subs, text))));
    EXPECT_EQ(run({"-w"}), hex(substituted({{"\x86", "\xB0"}, {"\xA6", "\xB1"}}, kx))) << "KX " << what;
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
      {"œ", "oe"}};
  const Bytes want = substituted(entities, text);
  for (unsigned char c : want) ASSERT_LT(c, 0x80) << "a character of the sample is missing above";
  // "-html" leaves the apostrophes straight; KOI8-R writes LF.
  EXPECT_EQ(convert({"-1252", "-tokoi8", "-html"}, enc("CP1252", with_crlf(text))), want);
}

// A Russian paragraph transliterated from three encodings gives one Latin
// text, with the signs as grave accents or, with "-nqt", as q.
TEST(Texts, RussianTransliteratedFromThreeEncodings) {
  const Bytes text = sample("russian.txt");
  const Bytes latin = sample("russian-latin.txt");
  for (const auto& [source, charset] : {std::pair{"-866", "CP866"}, {"-w", "CP1251"}, {"-koi8", "KOI8-R"}}) {
    // Transliteration keeps the line ends as they are.
    const Bytes input = enc(charset, with_crlf(text));
    EXPECT_EQ(convert({source, "-totl"}, input), with_crlf(latin)) << source;
    // Every sign in the paragraph is small, so "-nqt" writes each as q.
    EXPECT_EQ(convert({source, "-translit", "-nqt"}, input), with_crlf(replace_all(latin, "`", "q"))) << source;
  }
}

}  // namespace
}  // namespace recodia::test
