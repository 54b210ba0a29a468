// Plain-text fallbacks: every row of the fallback table through whole runs,
// the rows that follow the double-quote, dash, section, paragraph and bullet
// bytes, the "-html" variants, "-nstr", and the strings of Cyrillic letters
// written in the target's letters.
#include "engine_support.hpp"

namespace recodia::test {
namespace {

struct Row {
  std::string ch;  // a character that carries the row's code
  unsigned byte;
  const char* string = nullptr;
};
struct Group {
  const char* charset;  // where glibc has these characters
  const char* source_switch;
  std::vector<Row> rows;
};

// The fallback table, by hand from the conversion rules. The bytes that are
// settings are at their defaults: 0x22 for the double-quote byte, 0x16 0x15
// 0x14 0x07 for the dash, section, paragraph and bullet bytes.
std::vector<Group> fallback_table() {
  std::vector<Group> groups = {
      {"KOI8-R", "-koi8", {{"─", '-'}, {"│", '|'}, {"⌠", 'f'}, {"■", '+'}, {"⌡", 'j'}, {"═", '-'}, {"║", '|'},
        {"√", 'V', "sqrt "}, {"≈", '=', "=~="}, {"≤", '<', "<="}, {"≥", '>', ">="}, {"÷", '/'}}},
      {"MACINTOSH", "-macroman", {{"≠", '\\', "=/="}, {"∞", '@', "OXO"}, {"∂", 'd'}, {"ß", 'b'}}},
      {"CP1251", "-w", {{"Ђ", 'T', "Th"}, {"Ѓ", 0x83}, {"Є", 'E'}, {"Ѕ", 'S'}, {"І", 'I'}, {"Ї", 'I'}, {"Ј", 'J'},
        {"Љ", 0x8B, "\x8B\x9C"}, {"Њ", 0x8D, "\x8D\x9C"}, {"Ћ", 'T', "Th"}, {"Ќ", 'K'}, {"Ў", 'Y'}, {"Џ", 'U'},
        {"№", 'N', "No."}, {"ђ", 'h'}, {"ѓ", 0xA3}, {"є", 'e'}, {"ѕ", 's'}, {"і", 'i'}, {"ї", 'i'}, {"ј", 'j'},
        {"љ", 0xAB, "\xAB\xEC"}, {"њ", 0xAD, "\xAD\xEC"}, {"ћ", 'h'}, {"ќ", 'K'}, {"ў", 'y'}, {"џ", 'u'},
        {"Ґ", 0x83}, {"ґ", 0xA3}}},
      {"CP1252", "-1252", {{"‚", '`'}, {"ƒ", 'f'}, {"„", '"'}, {"…", '.', "..."}, {"†", '+'}, {"‡", '+'}, {"ˆ", '^'},
        {"‰", '%', "O/oo"}, {"‹", '<'}, {"‘", '`'}, {"’", '`'}, {"“", '"'}, {"”", '"'}, {"•", 0x07}, {"–", '-'},
        {"—", 0x16}, {"™", 'T', "(TM)"}, {"›", '>'}, {"¡", '!'}, {"¤", '@'}, {"¦", '|'}, {"§", 0x15},
        {"©", 'c', "(C)"}, {"ª", 'a'}, {"«", '"', "<<"}, {"¬", '-', "(NOT)"}, {"®", 'R', "(R)"}, {"¯", 0x16},
        {"°", 'o'}, {"±", '+', "+-"}, {"²", '2'}, {"³", '3'}, {"´", '`'}, {"¶", 0x14}, {"·", 0x07}, {"¸", ','},
        {"¹", '1'}, {"»", '"', ">>"}, {"¼", '/', "1/4"}, {"½", '/', "1/2"}, {"¾", '/', "3/4"}, {"¿", '?'},
        {"µ", 'm', "mu"}, {"Š", 'S', "S^"}, {"Œ", 'O', "OE"}, {"Ž", 'Z', "Z^"}, {"š", 's', "s^"}, {"œ", 'o', "oe"},
        {"ž", 'z', "z^"}, {"Ÿ", 'Y'}, {"¢", 'c', "cents"}, {"£", 'L', "Pounds"}, {"¥", 'Y', "Y="}}},
  };
  // The light and double corners, tees and crossings, the blocks and shades.
  for (const char* c = "┌┐└┘├┤┬┴┼▀▄█▌▐░▒▓╒╓╔╕╖╗╘╙╚╛╜╝╞╟╠╡╢╣╤╥╦╧╨╩╪╫╬"; *c != '\0'; c += 3)
    groups[0].rows.push_back({std::string(c, 3), '+'});
  return groups;
}

// KX looks no code up, so every fallback reaches the file: the string, or
// with "-nstr" the byte. One character a line, one run per source and mode.
TEST(Fallbacks, EveryRowToKx) {
  for (const Group& g : fallback_table()) {
    Bytes input;
    for (const Row& r : g.rows) {
      const Bytes b = enc(g.charset, r.ch);
      ASSERT_EQ(b.size(), 1u) << r.ch;
      input += b + "\n";
    }
    const std::vector<Bytes> plain = lines_of(convert({g.source_switch}, input));
    const std::vector<Bytes> nstr = lines_of(convert({g.source_switch, "-nstr"}, input));
    ASSERT_EQ(plain.size(), g.rows.size());
    ASSERT_EQ(nstr.size(), g.rows.size());
    for (std::size_t i = 0; i < g.rows.size(); ++i) {
      const Row& r = g.rows[i];
      SCOPED_TRACE(std::string(g.charset) + " " + r.ch);
      EXPECT_EQ(hex(plain[i]), hex(r.string != nullptr ? Bytes(r.string) : B({r.byte})));
      EXPECT_EQ(hex(nstr[i]), hex(B({r.byte})));
    }
  }
}

// The rows whose byte is a setting, and those that "-html" replaces so that
// no fallback writes '<' or '>' (to KX, which writes every fallback).
TEST(Fallbacks, RowsThatFollowTheSwitches) {
  const Bytes quotes = enc("CP1252", "„“”«»‹›");
  const Bytes le_ge = enc("KOI8-R", "≤≥");
  expect_runs({
      {"-src: the double-quote byte is the grave accent", {"-1252", "-src"}, quotes, "```<<>><>"},
      {"-src -nstr", {"-1252", "-src", "-nstr"}, quotes, "`````<>"},
      {"-html -dhcs", {"-1252", "-html", "-dhcs"}, quotes, "```" "````" "``"},
      {"-html -dhcs -nstr", {"-1252", "-html", "-dhcs", "-nstr"}, quotes, "```" "``" "``"},
      {"le ge -html -dhcs", {"-koi8", "-html", "-dhcs"}, le_ge, "LEGE"},
      {"le ge -html -dhcs -nstr", {"-koi8", "-html", "-dhcs", "-nstr"}, le_ge, "__"},
      // The "-32" remap runs on the fallback byte: em dash, macron, bullet,
      // middle dot, section sign, pilcrow.
      {"-32", {"-1252", "-32"}, enc("CP1252", "—¯•·§¶"), "--..&$"},
  });
}

TEST(Fallbacks, OnlyWhereTheTargetLacksTheCharacter) {
  const Bytes mac_rowless = B({0xB7, 0xB8, 0xB9, 0xBA, 0xBD, 0xC6, 0xD7, 0xDA, 0xDE, 0xDF, 0xF6, 0xF7, 0xF8, 0xF9,
                               0xFA, 0xFB, 0xFD, 0xFE, 0xFF});
  const Bytes w1252_rowless = B({0x80, 0x98, 0xA8, 0xC0, 0xD0, 0xD7, 0xDD, 0xDE, 0xDF, 0xE9, 0xFD, 0xFE, 0xFF});
  expect_runs({
      // 866 has the middle dot at 0xF9, none of the other signs.
      {"1251 to 866", {"-w", "-to866"}, B({0xA9, 0xAB, 0xB9, 0x97, 0x95, 0xB7, 0xA7, 0xB6}),
       "(C)<<No." + B({0x16, 0x07, 0xF9, 0x15, 0x14})},
      {"KOI8-R le to Mac Cyrillic, which has it", {"-koi8", "-tomac"}, B({0x98}), B({0xB2})},
      {"Mac Cyrillic le, guillemet to 866", {"-mac", "-to866"}, B({0xB2, 0xC7}), "<=<<"},
      {"the same -html -dhcs", {"-mac", "-to866", "-html", "-dhcs"}, B({0xB2, 0xC7}), "LE``"},
      {"the same -html", {"-mac", "-to866", "-html"}, B({0xB2, 0xC7}), "&le;&laquo;"},
      // Codes without a row keep their byte, which KX writes as a pivot byte
      // (0xF0, the pivot's Ё, as Е).
      {"1252 without rows", {"-1252"}, w1252_rowless + B({0xF0}), w1252_rowless + B({0x85})},
      {"Mac Roman without rows", {"-macroman"}, mac_rowless, mac_rowless},
      {"Mac Roman cedilla, the Latin-1 one", {"-macroman"}, B({0xFC}), ","},
      {"850 double low line", {"-850"}, B({0xF2}), B({0xF2})},
      {"866 numero", {"-866"}, B({0xFC}), B({0xFC})},
  });
}

// The strings of Љ Њ љ њ (ЛЬ НЬ ль нь) and their fallback bytes are written
// in the target's letters; targets that have the letters write them.
TEST(Fallbacks, CyrillicStringsInTheTargetsLetters) {
  const char* letters = "ЉЊљњ";
  struct Target {
    const char* target_switch;
    const char* charset;
    bool has_letters;
  };
  const Target targets[] = {
      // KOI-7 is written in its 8-bit form, where the letters sit as in KOI8-R.
      {"-tokoi8", "KOI8-R", false}, {"-tokoi8u", "KOI8-U", false},     {"-tokoi7", "KOI8-R", false},
      {"-to866", "CP866", false},   {"-tokx", "CP866", false},
      // No letter table, so the pivot bytes of the string go out unchanged.
      {"-to1252", "CP866", false},  {"-tow", "CP1251", true},          {"-toiso", "ISO-8859-5", true},
      {"-tomac", "MAC-CYRILLIC", true}, {"-to855", "IBM855", true},    {"-toisoir111", "ISO-IR-111", true},
      {"-tomacu", "MAC-UK", true},
  };
  for (const Target& t : targets) {
    SCOPED_TRACE(t.target_switch);
    const Bytes in = enc("CP1251", letters);
    EXPECT_EQ(hex(convert({"-w", t.target_switch}, in)), hex(enc(t.charset, t.has_letters ? letters : "ЛЬНЬльнь")));
    EXPECT_EQ(hex(convert({"-w", t.target_switch, "-nstr"}, in)),
              hex(enc(t.charset, t.has_letters ? letters : "ЛНлн")));
  }
}

}  // namespace
}  // namespace recodia::test
