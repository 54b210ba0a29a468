// Transliteration ("-translit", "-totl"): Cyrillic in Latin letters, "-nqt",
// the string of an earlier step replaced, strings forced on and the line
// style left as the other switches made it.
#include "engine_support.hpp"

namespace recodia::test {
namespace {

// The Russian alphabet and its Latin spelling, by hand from the rules:
// capitals that become several letters keep only the first one upper case;
// the hard and soft signs are the grave accent, or Q and q with "-nqt".
constexpr const char* kAlphabet = "АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯабвгдеёжзийклмнопрстуфхцчшщъыьэюя";
constexpr const char* kLatin = "ABVGDEYoJZIYKLMNOPRSTUFHCChShSch`Y`EYuYaabvgdeyojziyklmnoprstufhcchshsch`y`eyuya";

TEST(Transliteration, WholeRuns) {
  // KX gives no byte a symbol code, so every pivot byte reaches the step as it
  // is: the letter ranges 0x80..0xAF and 0xE0..0xF7 are spelled (KX's Ж and ж
  // at 0xB0 and 0xB1 too), every other byte is written unchanged.
  Bytes kx_upper, box, tail;
  for (unsigned b = 0x80; b <= 0xFF; ++b) kx_upper += B({b});
  for (unsigned b = 0xB2; b <= 0xDF; ++b) box += B({b});
  for (unsigned b = 0xF8; b <= 0xFF; ++b) tail += B({b});
  const Bytes kx_capitals = "ABVGDEJZIYKLMNOPRSTUFHCChShSch`Y`EYuYa";
  const Bytes kx_small = Bytes("abvgdejziyklmnopJj") + box + "rstufhcchshsch`y`eyuya" + "YoyoEeIiYy" + tail;
  Bytes kx_small_nqt = kx_small;
  for (char& c : kx_small_nqt)
    if (c == '`') c = 'q';
  const Bytes lines = enc("CP866", "а\r\nб\nв\r");
  expect_runs({
      {"1251 alphabet", {"-w", "-translit"}, enc("CP1251", kAlphabet), kLatin},
      {"KOI8-R alphabet -nqt", {"-koi8", "-totl", "-nqt"}, enc("KOI8-R", kAlphabet),
       "ABVGDEYoJZIYKLMNOPRSTUFHCChShSchQYQEYuYaabvgdeyojziyklmnoprstufhcchshschqyqeyuya"},
      {"KX upper half", {"-kx", "-totl"}, kx_upper, kx_capitals + kx_small},
      {"KX upper half -nqt", {"-kx", "-totl", "-nqt"}, kx_upper,
       "ABVGDEJZIYKLMNOPRSTUFHCChShSchQYQEYuYa" + kx_small_nqt},
      {"quotes stay plain, ASCII passes, control symbols", {"-totl"}, "\"a\" 'b' 1,x-y!\t~" + B({0x01, 0x13, 0x16}),
       "\"a\" 'b' 1,x-y!\t~:-)!!_"},
      // Other Cyrillic letters reach the step as pivot letters, as ASCII
      // fallback bytes, or as ASCII with a string that stays.
      {"1251 ghe with upturn, gje", {"-w", "-totl"}, B({0xA5, 0xB4, 0x81, 0x83}), "GgGg"},
      {"1251 lje, nje: the letter replaces the string", {"-w", "-totl"}, B({0x8A, 0x8C, 0x9A, 0x9C}), "LNln"},
      {"1251 dje, tshe keep Th", {"-w", "-totl"}, B({0x80, 0x8E}), "ThTh"},
      {"1251 Є є Ї ї І і Ў ў", {"-w", "-totl"}, B({0xAA, 0xBA, 0xAF, 0xBF, 0xB2, 0xB3, 0xA1, 0xA2}), "EeIiIiYy"},
      {"866 Є..ў by their codes", {"-totl"}, B({0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7}), "EeIiYy"},
      {"866 ASCII fallback bytes", {"-totl"}, B({0xB0, 0xF8}), "+o"},
      {"-32", {"-totl", "-32"}, B({0xF9, '$'}), ".&"},
      // A Latin source byte in the letter ranges is spelled as the pivot
      // letter at that position; the 1251 euro, without a fallback, likewise.
      {"1252 a grave, capital eth", {"-1252", "-totl"}, B({0xE0, 0xD0}), B({'r', 0xD0})},
      {"1254 c cedilla, g breve", {"-1254", "-totl"}, B({0xE7, 0xF0}), "chYo"},
      {"1251 euro", {"-w", "-totl"}, B({0x88}), "I"},
      // The step replaces an entity where the working byte is a letter.
      {"-html", {"-w", "-totl", "-html"}, B({0xA8, 0xB8, 0x88, 0xA9, 0xAB}), "YoyoI&copy;&laquo;"},
      {"-html -dhcs", {"-w", "-totl", "-html", "-dhcs"}, B({0xA8, 0xA9, 0xAB}), "Yo(C)``"},
      // Strings are forced on, before or after "-nstr".
      {"-nstr before", {"-nstr", "-totl"}, enc("CP866", "Щука") + B({0x01}), "Schuka:-)"},
      {"-nstr after", {"-translit", "-nstr"}, enc("CP866", "Щука"), "Schuka"},
      {"-nstr fallback strings", {"-w", "-totl", "-nstr"}, B({0xA9, 0xB9}), "(C)No."},
      {"-nstr entity", {"-w", "-totl", "-nstr", "-html"}, B({0xA9}), "&copy;"},
      {"-nstr CR LF of line style 1", {"-totl", "-crlf", "-nstr"}, lines, "a\r\nb\r\nv"},
      // The line style as the other switches made it: kept, or an earlier
      // target's.
      {"line style kept", {"-totl"}, lines, "a\r\nb\nv\r"},
      {"after -towin", {"-towin", "-totl"}, lines, "a\r\nb\r\nv"},
      {"after -tokoi8", {"-tokoi8", "-translit"}, lines, "a\nb\nv"},
  });
}

// "-nqt" without a transliterating target changes nothing.
TEST(Transliteration, NqtAloneChangesNothing) {
  const Bytes text = enc("CP866", kAlphabet) + enc("CP866", " подъезд, объём, ЪЬ ъь\n");
  for (std::string_view target : kTargetSwitches) {
    if (target == encoding(kTransliteration).target_switches[0]) continue;
    EXPECT_EQ(hex(written_by({target, "-nqt"}, text)), hex(written_by({target}, text))) << target;
  }
  EXPECT_EQ(hex(convert({"-tow", "-nqt"}, text)),
            hex(enc("CP1251", kAlphabet) + enc("CP1251", " подъезд, объём, ЪЬ ъь\r\n")));
}

}  // namespace
}  // namespace recodia::test
