// Transliteration ("-translit", "-totl"): Cyrillic written in Latin letters,
// "-nqt", strings forced on, the line style left as it was, and the string
// of an earlier step replaced.
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "convert/byte_in_progress.hpp"
#include "convert/settings.hpp"
#include "convert/transliteration.hpp"
#include "test_support.hpp"

namespace recodia::test {
namespace {

Bytes B(std::initializer_list<unsigned> values) {
  Bytes s;
  for (unsigned v : values) s.push_back(static_cast<char>(v));
  return s;
}

Bytes cp866(const char* utf8) { return iconv_convert("UTF-8", "CP866", utf8); }
Bytes cp1251(const char* utf8) { return iconv_convert("UTF-8", "CP1251", utf8); }
Bytes koi8r(const char* utf8) { return iconv_convert("UTF-8", "KOI8-R", utf8); }

// The Russian alphabet and its Latin spelling, by hand from the rules:
// capitals that become several letters keep only the first one upper case;
// the hard and soft signs are the grave accent.
constexpr const char* kAlphabet =
    "АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯабвгдеёжзийклмнопрстуфхцчшщъыьэюя";
constexpr const char* kAlphabetLatin =
    "ABVGDEYoJZIYKLMNOPRSTUFHCChShSch`Y`EYuYaabvgdeyojziyklmnoprstufhcchshsch`y`eyuya";
constexpr const char* kAlphabetLatinNqt =
    "ABVGDEYoJZIYKLMNOPRSTUFHCChShSchQYQEYuYaabvgdeyojziyklmnoprstufhcchshschqyqeyuya";

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

TEST(Transliteration, AlphabetFromEverySwitchAndSource) {
  expect_runs({
      {"866 -totl", {"-totl"}, cp866(kAlphabet), kAlphabetLatin},
      {"866 -translit", {"-translit"}, cp866(kAlphabet), kAlphabetLatin},
      {"1251", {"-w", "-totl"}, cp1251(kAlphabet), kAlphabetLatin},
      {"KOI8-R", {"-koi8", "-totl"}, koi8r(kAlphabet), kAlphabetLatin},
      {"ISO 8859-5", {"-iso", "-totl"}, iconv_convert("UTF-8", "ISO-8859-5", kAlphabet), kAlphabetLatin},
      {"Mac Cyrillic", {"-mac", "-totl"}, iconv_convert("UTF-8", "MAC-CYRILLIC", kAlphabet), kAlphabetLatin},
      {"DOS 855", {"-855", "-totl"}, iconv_convert("UTF-8", "IBM855", kAlphabet), kAlphabetLatin},
      {"866 -nqt", {"-totl", "-nqt"}, cp866(kAlphabet), kAlphabetLatinNqt},
      {"1251 -nqt", {"-w", "-translit", "-nqt"}, cp1251(kAlphabet), kAlphabetLatinNqt},
  });
}

TEST(Transliteration, Words) {
  expect_runs({
      {"Щука", {"-totl"}, cp866("Щука"), "Schuka"},
      {"ЩУКА", {"-totl"}, cp866("ЩУКА"), "SchUKA"},
      {"съезд", {"-totl"}, cp866("съезд"), "s`ezd"},
      {"съезд -nqt", {"-totl", "-nqt"}, cp866("съезд"), "sqezd"},
      {"ЪЬ -nqt", {"-totl", "-nqt"}, cp866("ЪЬ"), "QQ"},
      {"ъь -nqt", {"-totl", "-nqt"}, cp866("ъь"), "qq"},
      {"Ёлка from 1251", {"-w", "-totl"}, cp1251("Ёлка"), "Yolka"},
      {"ASCII passes", {"-totl"}, "Abc 123, x-y!\t~", "Abc 123, x-y!\t~"},
      {"quotes stay plain", {"-totl"}, "\"a\" 'b'", "\"a\" 'b'"},
      {"control symbols still apply", {"-totl"}, B({0x01, 0x13, 0x16}), ":-)!!_"},
  });
}

// The letters outside the Russian alphabet reach the step as pivot letters or
// ASCII fallback bytes, or keep an earlier string.
TEST(Transliteration, OtherCyrillicLetters) {
  expect_runs({
      // Ґ Ѓ fall back to Г, ґ ѓ to г, and are transliterated as such.
      {"1251 ghe with upturn and gje", {"-w", "-totl"}, B({0xA5, 0xB4, 0x81, 0x83}), "GgGg"},
      // Љ Њ љ њ carry a string and a pivot letter; the letter's string wins.
      {"1251 lje nje", {"-w", "-totl"}, B({0x8A, 0x8C, 0x9A, 0x9C}), "LNln"},
      // Ђ Ћ fall back to an ASCII byte with the string "Th", which stays.
      {"1251 dje tshe", {"-w", "-totl"}, B({0x80, 0x8E}), "ThTh"},
      {"1251 dje tshe -nstr", {"-w", "-totl", "-nstr"}, B({0x80, 0x8E}), "ThTh"},
      {"1251 Ukrainian and Belarusian", {"-w", "-totl"}, B({0xAA, 0xBA, 0xAF, 0xBF, 0xB2, 0xB3, 0xA1, 0xA2}),
       "EeIiIiYy"},
      {"1251 Serbian and Macedonian", {"-w", "-totl"}, B({0xA3, 0xBC, 0xBD, 0xBE, 0x8D, 0x9D, 0x8F, 0x9F, 0x90, 0x9E}),
       "JjSsKKUuhh"},
      // 866 codes Є є Ї ї Ў ў, KX does not: both ways give the same letters.
      {"866 Є..ў", {"-totl"}, B({0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7}), "EeIiYy"},
      {"KX Є..ў", {"-kx", "-totl"}, B({0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7}), "EeIiYy"},
      {"KX Ё ё Ж ж", {"-kx", "-totl"}, B({0xF0, 0xF1, 0xB0, 0xB1, 0x86, 0xA6}), "YoyoJjJj"},
  });
}

TEST(Transliteration, BytesOutsideTheLetters) {
  expect_runs({
      // Pivot bytes without a fallback outside the two ranges are written as
      // they are.
      {"KX box drawing", {"-kx", "-totl"}, B({0xB2, 0xC4, 0xDF}), B({0xB2, 0xC4, 0xDF})},
      {"866 no-break space and numero", {"-totl"}, B({0xFF, 0xFC}), B({0xFF, 0xFC})},
      {"1252 Icelandic capital eth", {"-1252", "-totl"}, B({0xD0}), B({0xD0})},
      {"Mac Roman macron", {"-macroman", "-totl"}, B({0xF8}), B({0xF8})},
      // Fallback bytes are ASCII and stay.
      {"866 shade and degree", {"-totl"}, B({0xB0, 0xF8}), "+o"},
      {"-32 signs", {"-totl", "-32"}, B({0xF9, '$'}), ".&"},
      // A Latin source byte in the letter ranges without a fallback is
      // spelled as the pivot letter at that position.
      {"1252 a grave", {"-1252", "-totl"}, B({0xE0}), "r"},
      {"1254 c cedilla and g breve", {"-1254", "-totl"}, B({0xE7, 0xF0}), "chYo"},
      {"1251 euro", {"-w", "-totl"}, B({0x88}), "I"},
  });
}

TEST(Transliteration, ReplacesAnEntity) {
  expect_runs({
      {"Ё and ё", {"-w", "-totl", "-html"}, B({0xA8, 0xB8}), "Yoyo"},
      {"euro", {"-w", "-totl", "-html"}, B({0x88}), "I"},
      // An ASCII fallback byte keeps its entity.
      {"copyright", {"-w", "-totl", "-html"}, B({0xA9}), "&copy;"},
      {"guillemets", {"-w", "-totl", "-html"}, B({0xAB, 0xBB}), "&laquo;&raquo;"},
      {"with -dhcs", {"-w", "-totl", "-html", "-dhcs"}, B({0xA8, 0xA9, 0xAB}), "Yo(C)``"},
  });
}

// A transliterating run writes strings whatever "-nstr" says.
TEST(Transliteration, StringsForcedOn) {
  expect_runs({
      {"-nstr before", {"-nstr", "-totl"}, cp866("Щука"), "Schuka"},
      {"-nstr after", {"-translit", "-nstr"}, cp866("Щука"), "Schuka"},
      {"fallback string", {"-w", "-totl", "-nstr"}, B({0xA9, 0xB9}), "(C)No."},
      {"control symbol string", {"-totl", "-nstr"}, B({0x01}), ":-)"},
      {"entity", {"-w", "-totl", "-nstr", "-html"}, B({0xA9}), "&copy;"},
      {"CR LF of line style 1", {"-totl", "-crlf", "-nstr"}, "a\nb\r\n", "a\r\nb\r\n"},
  });
}

// The transliteration switches leave the line style as the other switches
// made it.
TEST(Transliteration, LineStyleLeftAsItWas) {
  const Bytes text = cp866("а\r\nб\nв\r");
  expect_runs({
      {"alone: kept", {"-totl"}, text, "a\r\nb\nv\r"},
      {"after -towin: CR LF", {"-towin", "-totl"}, text, "a\r\nb\r\nv"},
      {"after -tokoi8: LF", {"-tokoi8", "-translit"}, text, "a\nb\nv"},
      {"with -lf", {"-totl", "-lf"}, text, "a\nb\nv"},
      {"-crlf before", {"-crlf", "-totl"}, text, "a\r\nb\r\nv"},
  });
}

// "-nqt" without a transliterating target changes nothing.
TEST(Transliteration, NqtAloneChangesNothing) {
  const Bytes text = cp866(kAlphabet) + cp866(" подъезд, объём, ЪЬ ъь\n");
  for (const char* target : {"-tow", "-tokoi8", "-to866", "-tokoi7", "-toiso", "-tokx"}) {
    SCOPED_TRACE(target);
    EXPECT_EQ(hex(convert({target, "-nqt"}, text)), hex(convert({target}, text)));
  }
  EXPECT_EQ(hex(convert({"-tow", "-nqt", "-noaltlf"}, text)),
            hex(cp1251(kAlphabet) + cp1251(" подъезд, объём, ЪЬ ъь\n")));
}

// The step itself: the two ranges, inclusive, and nothing else.
TEST(Transliteration, StepRanges) {
  ConversionSettings plain;
  plain.target = kTransliteration;
  ConversionSettings nqt = plain;
  nqt.no_quote_signs = true;
  const auto& table = transliteration_table();
  for (int b = 0; b < 256; ++b) {
    SCOPED_TRACE(b);
    const bool in_range = (b >= 128 && b <= 175) || (b >= 224 && b <= 247);
    EXPECT_EQ(std::strlen(table[b]) != 0, in_range);
    ByteInProgress p;
    p.working = static_cast<std::uint8_t>(b);
    p.attach("&copy;");
    apply_transliteration(p, plain);
    EXPECT_TRUE(p.string_pending);
    EXPECT_EQ(int(p.working), b);
    EXPECT_STREQ(p.replacement, in_range ? table[b] : "&copy;");
    ByteInProgress q;
    q.working = static_cast<std::uint8_t>(b);
    apply_transliteration(q, nqt);
    const bool sign = b == 154 || b == 156 || b == 234 || b == 236;
    EXPECT_EQ(q.string_pending, in_range && !sign);
    EXPECT_EQ(int(q.working), sign ? (b < 200 ? 'Q' : 'q') : b);
  }
  EXPECT_STREQ(table[0xF0], "Yo");
  EXPECT_STREQ(table[0xF1], "yo");
  EXPECT_STREQ(table[0xF2], "E");
  EXPECT_STREQ(table[0xF5], "i");
  EXPECT_STREQ(table[0xF7], "y");
}

}  // namespace
}  // namespace recodia::test
