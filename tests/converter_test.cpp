// The character converter where the order of its steps decides what is
// written: DOS control symbols, "-32", smart quotes, the target's own byte over
// any string, bytes that mean nothing in the target, and the byte 0.
#include "engine_support.hpp"

namespace recodia::test {
namespace {

TEST(Converter, DosControlSymbolsAndWithoutSpecialSymbols) {
  const Bytes controls = B({0x01, 0x02, 0x13, 0x16, 0x1C, 0x07, 0x15, 0x14});
  expect_runs({
      // 866 has no section sign or pilcrow, so 0x15 and 0x14 stay; the bullet
      // glyph becomes the middle dot that 866 has at 0xF9.
      {"866 to 866", {"-to866"}, controls, ":-):-)!!__" + B({0xF9, 0x15, 0x14})},
      {"866 to 866 -nstr", {"-to866", "-nstr"}, B({0x01, 0x02, 0x13}), "OO!"},
      // The target's own signs win over the '_' of 0x16 and over the 1251
      // bullet that the letter step makes of 0x07.
      {"866 to 1251", {"-tow"}, controls, ":-):-)!!" + B({0x97, '_', 0xB7, 0xA7, 0xB6})},
      // KX looks nothing up; 866's bullet operator falls back to the glyph.
      {"866 to KX", {}, controls + B({0xF9}), ":-):-)!!__" + B({0x07, 0x15, 0x14, 0x07})},
      // Only a DOS 866 source has control symbols.
      {"1251 to 1251", {"-w", "-tow"}, B({0x07, 0x14, 0x15, 0x16}), B({0x95, 0xB6, 0xA7, 0xAD})},
      {"1251 to 866", {"-w", "-to866"}, controls, controls},
      // "-32": the control bytes are plain, '$' becomes '&'; 0xF9 falls back
      // to the bullet byte 0xF9, which the remap makes '.', and the box
      // corner 0xB7 to '+' before the remap could see it.
      {"-32 866 to 866", {"-32", "-to866"}, controls + "a$b-c" + B({0xFA}), controls + "a&b-c" + B({0xF9})},
      {"-32 866 to KX", {"-32"}, B({0xF9, 0xFA, 0xB7}), "..+"},
      {"-32 866 to 1251", {"-32", "-tow"}, B({0xF9, 0x07, 0x14, 0x15, 0x16}), B({0xB7, 0x07, 0x14, 0x15, 0x16})},
      {"-32 1251 to 866", {"-32", "-w", "-to866"}, B({0x97, 0xA7, 0xB6, 0x95, 0xB7, '$'}),
       B({'-', '&', '$', '.', 0xF9, '&'})},
      // A KOI8-R source decodes ASCII to working byte 0, which no rule sees.
      {"-32 KOI8-R to 1251", {"-32", "-koi8", "-tow"}, "$", "$"},
  });
}

TEST(Converter, SmartQuotes) {
  const Bytes text = "\"x\" 'y'";
  const Bytes w1252 = B({0xAB, 'x', 0xBB, ' ', 0x91, 'y', 0x92});
  expect_runs({
      {"start of the file", {"-tow"}, "\"", B({0xAB})},
      // A quote opens after a space or a byte below 0x0E, else closes.
      {"after a letter and a space", {"-tow", "-noaltlf"}, "a\" \"", B({'a', 0xBB, ' ', 0xAB})},
      {"after line ends and a tab", {"-tow", "-noaltlf"}, "\r\n\"\n\"\r\"\t\"",
       B({13, 10, 0xAB, 10, 0xAB, 13, 0xAB, 9, 0xAB})},
      {"after 0x0E and 0x1F", {"-tow", "-noaltlf"}, "\x0E\"\x1F\"", B({0x0E, 0xBB, 0x1F, 0xBB})},
      {"after a Cyrillic letter", {"-tow", "-noaltlf"}, B({0xA0, '"'}), B({0xE0, 0xBB})},
      {"apostrophes", {"-tow", "-noaltlf"}, " 'a' b'", B({' ', 0x91, 'a', 0x92, ' ', 'b', 0x92})},
      // The previous byte is the byte after the fallback and control steps.
      {"after a smiley, the dash glyph, a box line", {"-tow", "-noaltlf"}, B({0x01, '"', 0x16, '"', 0xC4, '"'}),
       B({':', '-', ')', 0xBB, 0x97, 0xBB, '-', 0xBB})},
      {"after the bullet glyph", {"-tow", "-noaltlf"}, B({0x07, '"'}), B({0xB7, 0xAB})},
      {"after the 1251 bullet, whose fallback is the glyph", {"-w", "-to1252"}, B({0x95, '"'}), B({0x95, 0xAB})},
      {"-32", {"-32", "-tow"}, text, w1252},
      {"-nta", {"-tow", "-nta"}, text, text},
      {"-src", {"-tow", "-src"}, text, text},
      {"-html", {"-tow", "-html"}, text, text},
      // Targets without the quotation marks, and those that look nothing up.
      {"to 866", {"-to866"}, text, text},
      {"to KOI8-R", {"-tokoi8"}, text, text},
      {"to KX", {}, text, text},
      {"to transliteration", {"-totl"}, text, text},
      {"to KOI-7", {"-tokoi7"}, text, B({0xA2, 'x', 0xA2, 0xA0, 0xA7, 'y', 0xA7})},
      {"to 1252", {"-to1252"}, text, w1252},
      {"to ISO 8859-15, without single ones", {"-toiso8859_15"}, text, B({0xAB, 'x', 0xBB, ' ', '\'', 'y', '\''})},
      {"to Mac Roman", {"-tomacroman"}, text, B({0xC7, 'x', 0xC8, ' ', 0xD4, 'y', 0xD5})},
      {"from 1252", {"-1252", "-tow"}, "\"", B({0xAB})},
      // A KOI8-R source decodes ASCII to working byte 0: its quotes stay.
      {"from KOI8-R", {"-koi8", "-tow"}, "\"a\"", "\"a\""},
  });
}

TEST(Converter, TargetsOwnByteAndBytesWithoutMeaning) {
  expect_runs({
      // A character that the target has cancels any string.
      {"1252 copyright to 1251", {"-1252", "-tow"}, B({0xA9}), B({0xA9})},
      {"1251 guillemet to 1252 with -html", {"-w", "-to1252", "-html"}, B({0xAB}), B({0xAB})},
      {"1251 lje, dje to Mac Cyrillic", {"-w", "-tomac"}, B({0x8A, 0x80}), B({0xBC, 0xAB})},
      // A code that the target lacks, without a fallback: the working byte,
      // the byte itself for these sources, is encoded as if a pivot byte.
      {"1251 euro to 866", {"-w", "-to866"}, B({0x88}), B({0x88})},
      {"1251 euro to KOI8-R", {"-w", "-tokoi8"}, B({0x88}), B({0xE9})},
      {"1252 euro to KOI8-R", {"-1252", "-tokoi8"}, B({0x80}), B({0xE1})},
      {"1252 a grave to 1251", {"-1252", "-tow"}, B({0xE0}), B({0xF0})},
      {"1252 eth to KX", {"-1252"}, B({0xF0}), B({0x85})},
      // DOS 866 codes its numero sign apart; no other table has that code.
      {"866 numero to 1251", {"-tow"}, B({0xFC}), B({0xFC})},
      // No letter and no code: the input byte unchanged.
      {"KOI8-R no-break space and ASCII", {"-koi8", "-tow"}, B({0x9A}) + "Az 09", B({0x9A}) + "Az 09"},
      {"KOI-7 byte without a letter", {"-koi7", "-tow"}, "A", "A"},
      {"KX has no codes", {"-kx", "-tow"}, B({0xC4, 0xB0, 0xB1}), B({0xC4, 0xC6, 0xE6})},
      {"byte 0 from KOI8-R", {"-koi8", "-tow"}, B({0, 0xC1, 0}), B({0, 0xE0, 0})},
      {"byte 0 to transliteration with -html", {"-w", "-totl", "-html"}, B({0, 0xE0, 0}), B({0, 'a', 0})},
  });
}

// An input byte 0 is written as 0, whatever the source, target and switches
// ("-ni", which only silences the banner, stands for none).
TEST(Converter, InputByteZeroEverywhere) {
  for (std::string_view html : {"-ni", "-html"})
    for (std::string_view extra : {"-ni", "-32", "-dhcs", "-nstr", "-nqt"})
      for (std::string_view source : kSourceSwitches)
        for (std::string_view target : kTargetSwitches)
          EXPECT_EQ(hex(written_by({source, target, html, extra}, B({0}))), "00") << source << target << html << extra;
}

}  // namespace
}  // namespace recodia::test
