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
  // Without guillemets and em dash: the fallback strings and the dash's readable form.
  const Substitutions typography = {{"«", "<<"}, {"»", ">>"}, {"—", "-"}};
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
      // The control symbols: spelled out, or the 1251 sign; the bullet operator,
      // which 1251 lacks, becomes the readable form of the bullet.
      {"☺", ":-)"}, {"☻", ":-)"}, {"‼", "!!"}, {"▬", "—"}, {"∟", "_"}, {"∙", "."}, {"√", "sqrt "},
      {"\"Конец\"", "«Конец»"}};
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
  enum Mode { strings, bytes, html, html_bytes };
  // What none of the three targets has: the fallbacks, the entities, and the
  // euro sign, which has no fallback, in iconv's transliteration.
  const Substitutions lacking[] = {
      {{"«", "<<"}, {"»", ">>"}, {"±", "+-"}, {"…", "..."}, {"™", "(TM)"}, {"€", "EUR"}, {"©", "(C)"}},
      {{"«", "\""}, {"»", "\""}, {"±", "+"}, {"…", "."}, {"™", "T"}, {"€", "E"}, {"©", "c"}},
      {{"«", "&laquo;"}, {"»", "&raquo;"}, {"±", "&plusmn;"}, {"…", "&hellip;"}, {"™", "&trade;"},
       {"€", "&#128;"}, {"©", "&copy;"}},
      // With "-html" the stand-in for typographic double quotes is the grave accent.
      {{"«", "`"}, {"»", "`"}, {"±", "+"}, {"…", "."}, {"™", "T"}, {"€", "E"}, {"©", "c"}},
  };
  const char* const switches[] = {"-ni", "-nstr", "-html", "-html -nstr"};
  for (const Mode mode : {strings, bytes, html, html_bytes}) {
    const bool strings_on = mode == strings || mode == html;
    auto run = [&](const char* target) {
      std::vector<std::string> sw = {"-w", target, "-ni"};
      if (mode != strings) sw.insert(sw.end(), {mode == bytes ? "-nstr" : "-html"});
      if (mode == html_bytes) sw.push_back("-nstr");
      return hex(convert(sw, input));
    };
    // DOS 866 has № and Ё; the dash is its glyph 0x16. It writes CR LF, which
    // travels as a string: without strings LF.
    Substitutions to_866 = lacking[mode];
    to_866.push_back({"—", mode == html ? "&mdash;" : "\x16"});
    const Bytes for_866 = enc("CP866", substituted(to_866, text));
    EXPECT_EQ(run("-to866"), hex(strings_on ? with_crlf(for_866) : for_866)) << "866 " << switches[mode];
    // KOI8-R has © and Ё, not № (no entity either); it shows no DOS glyphs and writes LF.
    Substitutions to_koi8 = lacking[mode];
    std::erase_if(to_koi8, [](const auto& sub) { return sub.first == "©"; });
    to_koi8.insert(to_koi8.end(), {{"—", mode == html ? "&mdash;" : "-"}, {"№", strings_on ? "No." : "N"}});
    EXPECT_EQ(run("-tokoi8"), hex(enc("KOI8-R", substituted(to_koi8, text)))) << "KOI8-R " << switches[mode];
    // KX, the default target, keeps the line ends; it writes Ё ё as Е е, and Ж ж
    // at 0xB0 and 0xB1.
    Substitutions to_kx = to_866;
    if (mode == html) to_kx.insert(to_kx.end(), {{"Ё", "&Euml;"}, {"ё", "&euml;"}});
    to_kx.insert(to_kx.end(), {{"Ё", "Е"}, {"ё", "е"}});
    const Bytes kx = enc("CP866", with_crlf(substituted(to_kx, text)));
    std::vector<std::string> default_target = {"-w"};
    if (mode != strings) default_target.push_back(mode == bytes ? "-nstr" : "-html");
    if (mode == html_bytes) default_target.push_back("-nstr");
    EXPECT_EQ(hex(convert(default_target, input)), hex(substituted({{"\x86", "\xB0"}, {"\xA6", "\xB1"}}, kx)))
        << "KX " << switches[mode];
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

// A Russian paragraph and the alphabet transliterated from three encodings
// give one Latin text, with the signs as grave accents or, with "-nqt", as Q
// and q.
TEST(Texts, RussianTransliteratedFromThreeEncodings) {
  const Bytes text = sample("russian.txt");
  const Bytes latin = sample("russian-latin.txt");
  for (const auto& [source, charset] : {std::pair{"-866", "CP866"}, {"-w", "CP1251"}, {"-koi8", "KOI8-R"}}) {
    // Transliteration keeps the line ends as they are.
    const Bytes input = enc(charset, with_crlf(text));
    EXPECT_EQ(convert({source, "-totl"}, input), with_crlf(latin)) << source;
    // With "-nqt" the capital signs (in the alphabet, last) are Q, the small ones q.
    EXPECT_EQ(convert({source, "-translit", "-nqt"}, input),
              with_crlf(replace_all(replace_all(latin, "Sch`Y`E", "SchQYQE"), "`", "q"))) << source;
  }
}

// Ukrainian from Windows 1251 into UTF-8, and Russian out of UTF-8 into
// KOI8-R: a whole run each way.
TEST(Texts, IntoUtf8AndOutOfIt) {
  const Bytes ukrainian = sample("ukrainian.txt");
  // UTF-8 writes LF; an apostrophe after a letter closes.
  EXPECT_EQ(hex(convert({"-w", "-toutf8"}, enc("CP1251", with_crlf(ukrainian)))), hex(replace_all(ukrainian, "'", "’")));
  // A byte-order mark is skipped; KOI8-R lacks the guillemets and the dash.
  const Bytes russian = sample("russian.txt") + "«Конец» — 2024\n";
  EXPECT_EQ(hex(convert({"-utf8", "-tokoi8"}, "\xEF\xBB\xBF" + with_crlf(russian))),
            hex(enc("KOI8-R", substituted({{"«", "<<"}, {"»", ">>"}, {"—", "-"}}, russian))));
}

}  // namespace
}  // namespace recodia::test
