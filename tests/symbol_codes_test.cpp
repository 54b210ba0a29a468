// The symbol-code catalogue, every byte of every symbol-code table, the
// reverse lookup with the answers that depend on order, and every character
// that two encodings with tables share, converted from one to the other.
#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <set>
#include <sstream>
#include <vector>

#include "convert/code_pages.hpp"
#include "convert/encodings.hpp"
#include "convert/symbol_codes.hpp"
#include "tables_support.hpp"

namespace recodia::test {
namespace {

// º has no code of its own and carries the degree sign's, ∙ the middle dot's.
char32_t code_owner(char32_t c) { return c == 0x00BA ? 0x00B0 : c == 0x2219 ? 0x00B7 : c; }

struct TableCase {
  EncodingId id;
  const char* name;
  const code_pages::UpperHalf* page;  // the code page that the table follows
  const char* coded;                  // the bytes that carry a code, as "80-99 9B"
  int count;                          // how many they are
};

// Every encoding with a symbol-code table; ISO 8859-1 uses Windows 1252's.
const TableCase kTables[] = {
    {kKoi8r, "KOI8-R", &code_pages::kKoi8r, "80-99 9B-A2 A4-B2 B4-BF", 61},
    {kKoi8u, "KOI8-U", &code_pages::kKoi8u, "80-99 9B-A2 A4-B2 B4-BF", 61},
    {kIso8859_5, "ISO 8859-5", &code_pages::kIso8859_5, "A2-AC AE AF F0 F2-FF", 28},
    {kIsoIr111, "ISO-IR-111", &code_pages::kIsoIr111, "A1 A2 A4-AC AE-B2 B4-BF", 28},
    {kWindows1251, "Windows 1251", &code_pages::kWindows1251, "80-97 99-9F A1-A7 A9-AC AE-B7 B9-BF", 59},
    {kDos866, "DOS 866", &code_pages::kDos866, "B0-DF F2-FE", 61},
    {kDos855, "DOS 855", &code_pages::kDos855, "80-83 86-9B AE-B4 B9-BC BF-C5 C8-CF D9-DC DF EF FD FE", 60},
    {kMacCyrillic, "Mac Cyrillic", &code_pages::kMacCyrillic, "A0-C9 CB-DC FF", 61},
    {kMacUkrainian, "Mac Ukrainian", &code_pages::kMacUkrainian, "A0-C9 CB-DC FF", 61},
    {kWindows1254, "Windows 1254", &code_pages::kWindows1254, "80 82-8C 91-9C 9F A1-AC AE-FF", 119},
    {kIso8859_9, "ISO 8859-9", &code_pages::kIso8859_9, "A1-AC AE-FF", 94},
    {kMacTurkish, "Mac Turkish", &code_pages::kMacTurkish, "80-C9 CB-EF F1-F4", 115},
    {kDos857, "DOS 857", &code_pages::kDos857, "80-D4 D6-E6 E8-EF F1 F3-FE", 123},
    {kWindows1252, "Windows 1252", &code_pages::kWindows1252, "80 82-8C 8E 91-9C 9E 9F A1-AC AE-FF", 121},
    {kIso8859_1, "ISO 8859-1", &code_pages::kWindows1252, "80 82-8C 8E 91-9C 9E 9F A1-AC AE-FF", 121},
    {kIso8859_15, "ISO 8859-15", &code_pages::kIso8859_15, "A1-AC AE-FF", 94},
    {kMacRoman, "Mac Roman", &code_pages::kMacRoman, "80-C9 CB-EF F1-FF", 126},
    {kDos850, "DOS 850", &code_pages::kDos850, "80-EF F1-FE", 126},
};

// The character at a byte of an encoding with a table (ASCII below 0x80).
char32_t character_at(const TableCase& t, int b) {
  return b < 0x80 ? static_cast<char32_t>(b) : (*t.page)[static_cast<std::size_t>(b - 0x80)];
}

// The codes with their characters. 300..362 are numbered by the character's
// KOI8-R byte and 700..763 by its Windows 1254 byte, both as glibc has them.
std::map<SymbolCode, char32_t> expected_catalogue() {
  std::map<SymbolCode, char32_t> codes = {
      {400, 0x2116}, {402, 0x0402}, {403, 0x0403}, {404, 0x0404}, {405, 0x0405}, {406, 0x0406}, {407, 0x0407},
      {408, 0x0408}, {409, 0x0409}, {410, 0x040A}, {411, 0x040B}, {412, 0x040C}, {413, 0x040E}, {414, 0x040F},
      {416, 0x2116}, {418, 0x0452}, {419, 0x0453}, {420, 0x0454}, {421, 0x0455}, {422, 0x0456}, {423, 0x0457},
      {424, 0x0458}, {425, 0x0459}, {426, 0x045A}, {427, 0x045B}, {428, 0x045C}, {430, 0x045E}, {431, 0x045F},
      {450, 0x0490}, {451, 0x0491}, {500, 0x20AC}, {502, 0x201A}, {503, 0x0192}, {504, 0x201E}, {505, 0x2026},
      {506, 0x2020}, {507, 0x2021}, {508, 0x02C6}, {509, 0x2030}, {510, 0x0160}, {511, 0x2039}, {512, 0x0152},
      {514, 0x017D}, {517, 0x2018}, {518, 0x2019}, {519, 0x201C}, {520, 0x201D}, {521, 0x2022}, {522, 0x2013},
      {523, 0x2014}, {524, 0x02DC}, {525, 0x2122}, {526, 0x0161}, {527, 0x203A}, {528, 0x0153}, {530, 0x017E},
      {531, 0x0178}, {533, 0x00A1}, {534, 0x00A2}, {535, 0x00A3}, {536, 0x00A4}, {537, 0x00A5}, {538, 0x00A6},
      {539, 0x00A7}, {540, 0x00A8}, {541, 0x00A9}, {542, 0x00AA}, {543, 0x00AB}, {544, 0x00AC}, {545, 0x00AE},
      {546, 0x00AF}, {548, 0x00B0}, {549, 0x00B1}, {550, 0x00B2}, {551, 0x00B3}, {552, 0x00B4}, {554, 0x00B6},
      {555, 0x00B7}, {556, 0x00B8}, {557, 0x00B9}, {559, 0x00BB}, {560, 0x00BC}, {561, 0x00BD}, {562, 0x00BE},
      {563, 0x00BF}, {570, 0x00D0}, {571, 0x00DD}, {572, 0x00DE}, {573, 0x00F0}, {574, 0x00FD}, {575, 0x00FE},
      {580, 0x2017}, {607, 0x00DF}, {613, 0x2260}, {616, 0x221E}, {622, 0x2202}, {623, 0x2211}, {624, 0x220F},
      {625, 0x03C0}, {626, 0x222B}, {638, 0x2206}, {655, 0x25CA}, {658, 0x2044}, {662, 0xFB01}, {663, 0xFB02},
      {689, 0x02C6}, {690, 0x02DC}, {691, 0x00AF}, {692, 0x02D8}, {693, 0x02D9}, {694, 0x02DA}, {696, 0x02DD},
      {697, 0x02DB}, {698, 0x02C7}, {841, 0x03A9}, {860, 0x00B5}};
  // KOI8-R's characters that have a code elsewhere or none leave gaps, as
  // does ÷ (331) in Windows 1254.
  const std::set<SymbolCode> gaps = {321, 326, 328, 329, 330, 335, 351, 755};
  for (int b = 0x80; b <= 0xBE; ++b)
    if (!gaps.count(300 + b - 0x80)) codes[300 + b - 0x80] = glibc_char("KOI8-R", b);
  for (int b = 0xC0; b <= 0xFF; ++b)
    if (!gaps.count(700 + b - 0xC0)) codes[700 + b - 0xC0] = glibc_char("CP1254", b);
  return codes;
}

TEST(SymbolCatalogue, HoldsExactlyTheCodesWithTheirCharactersInOrder) {
  const auto expected = expected_catalogue();
  ASSERT_EQ(expected.size(), 235u);
  auto it = expected.begin();
  for (const CatalogueEntry& e : symbol_catalogue()) {
    EXPECT_EQ(e.code, it->first);
    EXPECT_EQ(cp_text(e.character), cp_text(it->second)) << "code " << it->first;
    ++it;
  }
}

// The five characters with two codes, and the tables that use the second.
struct TwoCodes { char32_t character; SymbolCode first, second; std::set<EncodingId> second_users; };
const TwoCodes kTwoCodes[] = {
    {0x2116, 416, 400, {kDos866}}, {0x00DF, 731, 607, {kMacRoman, kMacTurkish, kDos850, kDos857}},
    {0x02C6, 508, 689, {kMacRoman}}, {0x02DC, 524, 690, {kMacRoman}}, {0x00AF, 546, 691, {kMacRoman}}};

std::set<int> byte_ranges(const std::string& text) {
  std::set<int> bytes;
  std::istringstream words(text);
  for (std::string w; words >> w;)  // "A1" or "A1-AC"
    for (int b = std::stoi(w.substr(0, 2), nullptr, 16); b <= std::stoi(w.substr(w.size() - 2), nullptr, 16); ++b)
      bytes.insert(b);
  return bytes;
}

// A coded byte carries the code of the character that the code page has
// there (of its look-alike's owner; of the table's choice between two codes);
// which bytes carry a code, and how many, is stated per table.
TEST(SymbolCodeTables, EveryByteCarriesItsCharactersCode) {
  const auto catalogue = expected_catalogue();
  for (const TableCase& t : kTables) {
    SCOPED_TRACE(t.name);
    const std::set<int> coded = byte_ranges(t.coded);
    EXPECT_EQ(static_cast<int>(coded.size()), t.count);
    for (int b = 0; b < 256; ++b) {
      const SymbolCode code = symbol_code_of(t.id, static_cast<std::uint8_t>(b));
      const char32_t c = code_owner(character_at(t, b));
      EXPECT_EQ(code != 0, coded.count(b) == 1) << byte_text(b) << " " << cp_text(c) << " holds " << code;
      if (code == 0) continue;
      const auto it = catalogue.find(code);
      EXPECT_EQ(cp_text(it == catalogue.end() ? 0 : it->second), cp_text(c)) << byte_text(b) << " holds " << code;
      for (const TwoCodes& two : kTwoCodes) {
        if (two.character == c) { EXPECT_EQ(code, two.second_users.count(t.id) ? two.second : two.first) << b; }
      }
    }
  }
  for (EncodingId id : {kKx, kKoi7, kTransliteration})  // no table, and no byte with a code
    for (int b = 0; b < 256; ++b)
      EXPECT_TRUE(!symbol_code_table(id) && !symbol_code_of(id, static_cast<std::uint8_t>(b))) << id << " " << b;
}

// The fast lookup gives what a scan from byte 1 upward gives, for every code
// and for values that are no code; then the answers that order decides.
TEST(FindSymbol, IsTheFirstMatchFromByteOne) {
  for (const TableCase& t : kTables) {
    const SymbolCodeTable& table = *symbol_code_table(t.id);
    for (SymbolCode code : {INT_MIN, -300, 299, 861, 1000, INT_MAX}) EXPECT_EQ(find_symbol(code, table), 0) << t.name;
    for (SymbolCode code = -20; code <= 900; ++code) {
      int first = 0;
      for (int b = 1; b < 256 && first == 0 && code != 0; ++b)
        if (table.codes[static_cast<std::size_t>(b)] == code) first = b;
      EXPECT_EQ(find_symbol(code, table), first) << t.name << " code " << code;
    }
  }
  // Look-alikes: the lower byte wins; the other code of a two-code character is not found.
  const struct { SymbolCode code; EncodingId id; int byte; } cases[] = {
      {548, kWindows1252, 0xB0}, {548, kDos850, 0xA7}, {548, kDos857, 0xD0}, {555, kDos866, 0xF9}, {555, kKoi8r, 0x95},
      {416, kDos866, 0}, {400, kWindows1251, 0}, {607, kWindows1252, 0}, {731, kDos850, 0}, {691, kDos850, 0}};
  for (const auto& c : cases) EXPECT_EQ(find_symbol(c.code, *symbol_code_table(c.id)), c.byte) << c.id << " " << c.code;
}

// ---- Characters that two encodings share ------------------------------------

// DOS text writes these signs with control-range glyphs; with special
// symbols on they carry the sign's code (the bullet the middle dot's).
struct Glyph { int byte; char32_t sign; SymbolCode code; };
const Glyph kDosGlyphs[] = {{0x07, 0x00B7, 555}, {0x14, 0x00B6, 554}, {0x15, 0x00A7, 539}, {0x16, 0x2014, 523}};

TEST(SharedCharacters, ArriveAsTheTargetsOwnByteUnlessARuleDecides) {
  int own = 0, look_alike = 0, no_code = 0, not_found = 0;
  for (const TableCase& s : kTables) {
    std::vector<Glyph> inputs;
    if (s.id == kDos866) inputs.assign(std::begin(kDosGlyphs), std::end(kDosGlyphs));
    for (int b = 0x80; b < 0x100; ++b)
      inputs.push_back({b, character_at(s, b), symbol_code_of(s.id, static_cast<std::uint8_t>(b))});
    for (const TableCase& t : kTables) {
      for (const Glyph& in : inputs) {
        if (in.sign == 0) continue;
        // The target's bytes with this character or its look-alike, lowest first.
        std::vector<int> there;
        for (int b = 0x80; b < 0x100; ++b)
          if (code_owner(character_at(t, b)) == code_owner(in.sign)) there.push_back(b);
        if (there.empty()) continue;
        SCOPED_TRACE(std::string(s.name) + " " + byte_text(in.byte) + " " + cp_text(in.sign) + " -> " + t.name);
        const Outcome out = convert_one(s.id, t.id, static_cast<std::uint8_t>(in.byte));
        int expected = 0;
        if (is_russian_letter(in.sign)) {
          expected = there.front();  // a pivot letter
          ++own;
        } else if (in.code == 0) {
          // No code (no-break space, soft hyphen, C1 control, Apple logo, Mac
          // Turkish accent): the byte takes the letter path.
          const std::uint8_t pivot = source_to_pivot(s.id, static_cast<std::uint8_t>(in.byte));
          const std::uint8_t letter = pivot == 0 ? 0 : pivot_to_target(t.id, pivot, true);
          expected = letter == 0 ? in.byte : letter;
          ++no_code;
        } else {
          for (int b : there)
            if (expected == 0 && symbol_code_of(t.id, static_cast<std::uint8_t>(b)) == in.code) expected = b;
          if (expected == 0) {
            // The target holds the character's other code (ß, №, ˆ, ˜, ¯), or
            // none (Mac Turkish's accents): not found, its fallback decides,
            // and only a byte written unchanged can be the target's.
            ++not_found;
            if (in.byte != there.front()) { EXPECT_NE(byte_text(out.byte), byte_text(there.front())); }
            continue;
          }
          ++(character_at(t, expected) == in.sign ? own : look_alike);
          EXPECT_FALSE(out.string_pending) << "the target's own byte cancels any string";
        }
        EXPECT_EQ(byte_text(out.byte), byte_text(expected));
      }
    }
  }
  // Every rule above is needed: without one of them some pair would fail.
  EXPECT_TRUE(own > 1000 && look_alike > 0 && no_code > 0 && not_found > 0)
      << own << " " << look_alike << " " << no_code << " " << not_found;
}

}  // namespace
}  // namespace recodia::test
