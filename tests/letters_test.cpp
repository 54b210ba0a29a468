// The letter part of every encoding: the five letter tables, source_to_pivot,
// pivot_to_target, find_letter and reencode_string, byte by byte against
// glibc's iconv(3), with the KX, KOI-7 and Windows 1251 particulars.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "convert/encodings.hpp"
#include "tables_sources.hpp"

namespace recodia::test {
namespace {

std::string byte_text(int b) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%02X", b);
  return buf;
}

std::vector<char32_t> russian_letters() {
  std::vector<char32_t> letters;
  for (char32_t c = 0x0410; c <= 0x044F; ++c) letters.push_back(c);
  letters.push_back(0x0401);  // Ё
  letters.push_back(0x0451);  // ё
  return letters;
}

// The pivot byte of a Russian letter, as glibc places it in CP866.
std::uint8_t pivot_of(char32_t letter) {
  const auto b = iconv_encode("CP866", letter);
  if (!b) throw std::logic_error("CP866 lacks a Russian letter");
  return *b;
}

// The Russian letter at a pivot byte, or 0.
char32_t letter_at_pivot(int p) {
  const char32_t c = iconv_decode("CP866", static_cast<std::uint8_t>(p));
  return is_russian_letter(c) ? c : 0;
}

// The pivot letter of a byte of `charset`, 0 when the byte is no Russian letter.
std::uint8_t expected_letter_entry(const char* charset, int b) {
  const char32_t c = iconv_decode(charset, static_cast<std::uint8_t>(b));
  return is_russian_letter(c) ? pivot_of(c) : 0;
}

// A pivot byte written in `charset`: its letter's byte, or the byte unchanged.
std::uint8_t expected_letter_output(const char* charset, int p) {
  const char32_t letter = letter_at_pivot(p);
  if (letter == 0) return static_cast<std::uint8_t>(p);
  const auto b = iconv_encode(charset, letter);
  if (!b) throw std::logic_error("a Cyrillic charset lacks a Russian letter");
  return *b;
}

// ---- Pivot letters and the four plain letter tables -------------------------

TEST(PivotLetters, AreTheRussianLettersOfCp866) {
  int count = 0;
  for (int b = 0; b < 256; ++b) {
    const bool letter = letter_at_pivot(b) != 0;
    count += letter;
    EXPECT_EQ(is_pivot_letter(static_cast<std::uint8_t>(b)), letter) << byte_text(b);
  }
  EXPECT_EQ(count, 66);
  // А..Я, а..п, р..я, Ё, ё
  EXPECT_EQ(pivot_of(0x0410), 0x80);
  EXPECT_EQ(pivot_of(0x042F), 0x9F);
  EXPECT_EQ(pivot_of(0x0430), 0xA0);
  EXPECT_EQ(pivot_of(0x043F), 0xAF);
  EXPECT_EQ(pivot_of(0x0440), 0xE0);
  EXPECT_EQ(pivot_of(0x044F), 0xEF);
  EXPECT_EQ(pivot_of(0x0401), 0xF0);
  EXPECT_EQ(pivot_of(0x0451), 0xF1);
}

struct LetterTableCase {
  const char* name;
  const LetterTable* table;
  std::vector<const char*> charsets;  // every charset that places the letters as this table does
  const char* letter_bytes;           // where the 66 letters are, as stated for the encoding
};

std::set<int> parse_ranges(const std::string& text) {
  std::set<int> bytes;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t end = text.find(' ', pos);
    const std::string w = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    const std::size_t dash = w.find('-');
    const int first = std::stoi(w.substr(0, dash), nullptr, 16);
    const int last = dash == std::string::npos ? first : std::stoi(w.substr(dash + 1), nullptr, 16);
    for (int b = first; b <= last; ++b) bytes.insert(b);
    if (end == std::string::npos) break;
    pos = end + 1;
  }
  return bytes;
}

std::vector<LetterTableCase> letter_table_cases() {
  const LetterTables& t = letter_tables();
  return {
      {"Koi8r", &t.koi8r, {"KOI8-R", "KOI8-U", "ISO-IR-111"}, "C0-FF A3 B3"},
      {"Dos855", &t.dos855, {"IBM855"}, ""},
      {"MacCyrillic", &t.mac_cyrillic, {"MAC-CYRILLIC", "MAC-UK", "CP10007"}, "80-9F E0-FE DF DD DE"},
      {"Iso8859_5", &t.iso8859_5, {"ISO-8859-5"}, "B0-EF A1 F1"},
  };
}

class EachLetterTable : public testing::TestWithParam<LetterTableCase> {};

void PrintTo(const LetterTableCase& c, std::ostream* os) { *os << c.name; }

TEST_P(EachLetterTable, HoldsTheRussianLettersWhereGlibcHasThem) {
  const LetterTableCase& c = GetParam();
  for (const char* charset : c.charsets) {
    for (int b = 0; b < 256; ++b) {
      EXPECT_EQ(byte_text((*c.table)[static_cast<std::size_t>(b)]), byte_text(expected_letter_entry(charset, b)))
          << c.name << " against " << charset << " at " << byte_text(b);
    }
  }
}

TEST_P(EachLetterTable, HoldsEachPivotLetterOnceAndNothingElse) {
  const LetterTableCase& c = GetParam();
  std::multiset<int> entries;
  for (int b = 0; b < 256; ++b)
    if ((*c.table)[static_cast<std::size_t>(b)] != 0) entries.insert((*c.table)[static_cast<std::size_t>(b)]);
  EXPECT_EQ(entries.size(), 66u);
  for (char32_t letter : russian_letters()) EXPECT_EQ(entries.count(pivot_of(letter)), 1u);
  if (*c.letter_bytes != '\0') {
    const std::set<int> stated = parse_ranges(c.letter_bytes);
    ASSERT_EQ(stated.size(), 66u);
    for (int b = 0; b < 256; ++b) {
      EXPECT_EQ((*c.table)[static_cast<std::size_t>(b)] != 0, stated.count(b) == 1) << c.name << " " << byte_text(b);
    }
  }
}

// Writing a pivot letter finds its byte; anything that is no letter of the
// table comes back unchanged.
TEST_P(EachLetterTable, FindLetterWritesTheLettersAndLeavesTheRest) {
  const LetterTableCase& c = GetParam();
  for (int p = 0; p < 256; ++p) {
    EXPECT_EQ(byte_text(find_letter(static_cast<std::uint8_t>(p), *c.table)),
              byte_text(expected_letter_output(c.charsets[0], p)))
        << c.name << " pivot " << byte_text(p);
  }
  EXPECT_EQ(find_letter(0, *c.table), 0);
  EXPECT_EQ(find_letter(0xB0, *c.table), 0xB0);
  EXPECT_EQ(find_letter(0x41, *c.table), 0x41);
}

INSTANTIATE_TEST_SUITE_P(All, EachLetterTable, testing::ValuesIn(letter_table_cases()),
                         [](const testing::TestParamInfo<LetterTableCase>& i) { return std::string(i.param.name); });

// ---- KOI-7 ---------------------------------------------------------------------

// KOI-7's 8-bit form: the letters at 0xC0..0xFE as in KOI8-R (no Ъ at 0xFF,
// no Ё or ё), the space, digits and punctuation of the Cyrillic half at
// 0xA0..0xBF, and the currency sign where ASCII has the dollar.
TEST(Koi7LetterTable, HasItsNinetySixEntries) {
  const LetterTable& k = letter_tables().koi7;
  int letters = 0;
  int entries = 0;
  for (int b = 0; b < 256; ++b) {
    const int e = k[static_cast<std::size_t>(b)];
    entries += e != 0;
    int expected = 0;
    if (b >= 0xC0 && b <= 0xFE) expected = expected_letter_entry("KOI8-R", b);
    else if (b >= 0xA0 && b <= 0xBF) expected = b - 0x80;
    else if (b == 0x24) expected = 0xFD;
    EXPECT_EQ(byte_text(e), byte_text(expected)) << byte_text(b);
    letters += is_pivot_letter(static_cast<std::uint8_t>(e));
  }
  EXPECT_EQ(entries, 96);
  EXPECT_EQ(letters, 63);
  for (int b = 0; b < 256; ++b) {
    const int e = k[static_cast<std::size_t>(b)];
    EXPECT_TRUE(e != 0x9A && e != 0xF0 && e != 0xF1) << "KOI-7 has no Ъ, Ё or ё, yet " << byte_text(b) << " holds one";
  }
}

TEST(Koi7LetterTable, FindLetterMovesPunctuationToTheCyrillicHalf) {
  const LetterTable& k = letter_tables().koi7;
  for (int p = 0x20; p <= 0x3F; ++p) {
    EXPECT_EQ(find_letter(static_cast<std::uint8_t>(p), k), p + 0x80) << byte_text(p);
  }
  EXPECT_EQ(find_letter(0xFD, k), 0x24);  // ¤
  EXPECT_EQ(find_letter(0x9A, k), 0x9A);  // Ъ has no place
  EXPECT_EQ(find_letter(0x41, k), 0x41);
  EXPECT_EQ(find_letter(0x00, k), 0x00);
  EXPECT_EQ(find_letter(0x8B, k), 0xEC);  // Л
}

// ---- source_to_pivot -----------------------------------------------------------

// What a source byte becomes, for the ids decoded through a letter table:
// the charset's Russian letter as a pivot byte, 0 for any other byte.
struct LetterSource {
  EncodingId id;
  const char* charset;
};

TEST(SourceToPivot, LetterTableSourcesGiveTheLetterOrZero) {
  const LetterSource sources[] = {{kKoi8r, "KOI8-R"},       {kIsoIr111, "ISO-IR-111"},     {kKoi8u, "KOI8-U"},
                                  {kDos855, "IBM855"},      {kMacCyrillic, "MAC-CYRILLIC"}, {kMacUkrainian, "MAC-UK"},
                                  {kIso8859_5, "ISO-8859-5"}};
  for (const LetterSource& s : sources) {
    for (int b = 0; b < 256; ++b) {
      EXPECT_EQ(byte_text(source_to_pivot(s.id, static_cast<std::uint8_t>(b))),
                byte_text(expected_letter_entry(s.charset, b)))
          << s.charset << " " << byte_text(b);
    }
  }
}

TEST(SourceToPivot, Windows1251ArithmeticMatchesGlibc) {
  for (int b = 0; b < 256; ++b) {
    const char32_t c = iconv_decode("CP1251", static_cast<std::uint8_t>(b));
    const int expected = is_russian_letter(c) ? pivot_of(c) : b;
    EXPECT_EQ(byte_text(source_to_pivot(kWindows1251, static_cast<std::uint8_t>(b))), byte_text(expected))
        << byte_text(b);
  }
  EXPECT_EQ(source_to_pivot(kWindows1251, 0xA8), 0xF0);
  EXPECT_EQ(source_to_pivot(kWindows1251, 0xB8), 0xF1);
  EXPECT_EQ(source_to_pivot(kWindows1251, 0xC0), 0x80);
  EXPECT_EQ(source_to_pivot(kWindows1251, 0xEF), 0xAF);
  EXPECT_EQ(source_to_pivot(kWindows1251, 0xF0), 0xE0);
  EXPECT_EQ(source_to_pivot(kWindows1251, 0xFF), 0xEF);
  EXPECT_EQ(source_to_pivot(kWindows1251, 0xA9), 0xA9);
}

TEST(SourceToPivot, PivotAndLatinSourcesKeepTheByte) {
  for (EncodingId id : {kDos866, kWindows1254, kDos857, kMacTurkish, kIso8859_9, kDos850, kWindows1252, kIso8859_1,
                        kIso8859_15, kMacRoman}) {
    for (int b = 0; b < 256; ++b) {
      EXPECT_EQ(source_to_pivot(id, static_cast<std::uint8_t>(b)), b) << id << " " << byte_text(b);
    }
  }
  EXPECT_EQ(source_to_pivot(kWindows1252, 0xC0), 0xC0);  // À enters as pivot 0xC0, with its code
}

TEST(SourceToPivot, KxReadsZheAtTheShadeBytes) {
  for (int b = 0; b < 256; ++b) {
    int expected = b;
    if (b == 0xB0) expected = 0x86;  // Ж
    if (b == 0xB1) expected = 0xA6;  // ж
    EXPECT_EQ(source_to_pivot(kKx, static_cast<std::uint8_t>(b)), expected) << byte_text(b);
  }
  // Everything else keeps its pivot meaning: Ж, ж, Ё, ё where DOS 866 has them.
  EXPECT_EQ(source_to_pivot(kKx, 0x86), 0x86);
  EXPECT_EQ(source_to_pivot(kKx, 0xA6), 0xA6);
  EXPECT_EQ(source_to_pivot(kKx, 0xF0), 0xF0);
  EXPECT_EQ(source_to_pivot(kKx, 0xF1), 0xF1);
}

TEST(SourceToPivot, Koi7ReadsItsEightBitForm) {
  for (int b = 0; b < 256; ++b) {
    int expected = 0;
    if (b >= 0xC0 && b <= 0xFE) expected = expected_letter_entry("KOI8-R", b);
    else if (b >= 0xA0 && b <= 0xBF) expected = b - 0x80;
    else if (b == 0x24) expected = 0xFD;
    EXPECT_EQ(byte_text(source_to_pivot(kKoi7, static_cast<std::uint8_t>(b))), byte_text(expected)) << byte_text(b);
  }
  EXPECT_EQ(source_to_pivot(kKoi7, 0x24), 0xFD);
  EXPECT_EQ(source_to_pivot(kKoi7, 0xA4), 0x24);
  EXPECT_EQ(source_to_pivot(kKoi7, 0xFF), 0);
  EXPECT_EQ(source_to_pivot(kKoi7, 0x41), 0);
}

// ---- pivot_to_target -----------------------------------------------------------

TEST(PivotToTarget, LetterTableTargetsWriteTheirLetters) {
  const LetterSource targets[] = {{kKoi8r, "KOI8-R"},       {kIsoIr111, "ISO-IR-111"},     {kKoi8u, "KOI8-U"},
                                  {kDos855, "IBM855"},      {kMacCyrillic, "MAC-CYRILLIC"}, {kMacUkrainian, "MAC-UK"},
                                  {kIso8859_5, "ISO-8859-5"}};
  for (const LetterSource& t : targets) {
    for (bool special : {true, false}) {
      for (int p = 0; p < 256; ++p) {
        EXPECT_EQ(byte_text(pivot_to_target(t.id, static_cast<std::uint8_t>(p), special)),
                  byte_text(expected_letter_output(t.charset, p)))
            << t.charset << " pivot " << byte_text(p);
      }
    }
  }
}

TEST(PivotToTarget, Windows1251ArithmeticAndTheSignBytes) {
  for (bool special : {true, false}) {
    for (int p = 0; p < 256; ++p) {
      int expected = expected_letter_output("CP1251", p);
      if (special && letter_at_pivot(p) == 0) {
        // The DOS control-range bytes that stand for these signs while
        // special symbols are on.
        if (p == 0x07) expected = 0x95;  // bullet
        if (p == 0x14) expected = 0xB6;  // pilcrow
        if (p == 0x15) expected = 0xA7;  // section sign
        if (p == 0x16) expected = 0xAD;  // soft hyphen for the dash
      }
      EXPECT_EQ(byte_text(pivot_to_target(kWindows1251, static_cast<std::uint8_t>(p), special)), byte_text(expected))
          << "pivot " << byte_text(p) << (special ? " special" : " plain");
    }
  }
  EXPECT_EQ(pivot_to_target(kWindows1251, 0xF0, true), 0xA8);
  EXPECT_EQ(pivot_to_target(kWindows1251, 0xF1, false), 0xB8);
  EXPECT_EQ(pivot_to_target(kWindows1251, 0x07, true), 0x95);
  EXPECT_EQ(pivot_to_target(kWindows1251, 0x07, false), 0x07);
  // Pivot bytes that are no letter keep their value, even where Windows 1251
  // has a letter at that byte.
  EXPECT_EQ(pivot_to_target(kWindows1251, 0xB0, true), 0xB0);
  EXPECT_EQ(pivot_to_target(kWindows1251, 0xFC, true), 0xFC);
}

TEST(PivotToTarget, PivotTranslitAndLatinTargetsKeepTheByte) {
  for (EncodingId id : {kDos866, kTransliteration, kWindows1254, kDos857, kMacTurkish, kIso8859_9, kDos850,
                        kWindows1252, kIso8859_1, kIso8859_15, kMacRoman}) {
    for (bool special : {true, false}) {
      for (int p = 0; p < 256; ++p) {
        EXPECT_EQ(pivot_to_target(id, static_cast<std::uint8_t>(p), special), p) << id << " " << byte_text(p);
      }
    }
  }
}

TEST(PivotToTarget, KxWritesZheAtTheShadeBytesAndYoAsYe) {
  for (bool special : {true, false}) {
    for (int p = 0; p < 256; ++p) {
      int expected = p;
      if (p == 0xF0) expected = 0x85;  // Ё as Е
      if (p == 0xF1) expected = 0xA5;  // ё as е
      if (p == 0x86) expected = 0xB0;  // Ж
      if (p == 0xA6) expected = 0xB1;  // ж
      EXPECT_EQ(pivot_to_target(kKx, static_cast<std::uint8_t>(p), special), expected) << byte_text(p);
    }
  }
}

TEST(PivotToTarget, Koi7SubstitutesWhatItLacksThenUsesItsTable) {
  // The letters KOI-7 lacks, and what stands in for them.
  const std::pair<int, int> substitutes[] = {{0xF0, 0x85}, {0xF1, 0xA5}, {0x9A, 0x9C}, {0xF2, 0x9D}, {0xF3, 0xED},
                                             {0xF4, 0x49}, {0xF5, 0x69}, {0xF6, 0x93}, {0xF7, 0xE3}, {0xFC, 0x4E}};
  for (bool special : {true, false}) {
    for (int p = 0; p < 256; ++p) {
      int q = p;
      for (const auto& [from, to] : substitutes)
        if (p == from) q = to;
      int expected = q;
      if (letter_at_pivot(q) != 0) expected = expected_letter_output("KOI8-R", q);
      else if (q >= 0x20 && q <= 0x3F) expected = q + 0x80;
      else if (q == 0xFD) expected = 0x24;
      EXPECT_EQ(byte_text(pivot_to_target(kKoi7, static_cast<std::uint8_t>(p), special)), byte_text(expected))
          << "pivot " << byte_text(p);
    }
  }
  EXPECT_EQ(pivot_to_target(kKoi7, 0x9A, true), 0xF8);  // Ъ as Ь
  EXPECT_EQ(pivot_to_target(kKoi7, 0xFC, true), 0x4E);  // № as N
  EXPECT_EQ(pivot_to_target(kKoi7, 0x24, true), 0xA4);  // $
  EXPECT_EQ(pivot_to_target(kKoi7, 0xFD, true), 0x24);  // ¤
  EXPECT_EQ(pivot_to_target(kKoi7, 0x00, true), 0x00);
}

TEST(PivotToTarget, ZeroStaysZeroEverywhere) {
  for (int id = 0; id < kEncodingCount; ++id) {
    EXPECT_EQ(pivot_to_target(static_cast<EncodingId>(id), 0, true), 0) << id;
    EXPECT_EQ(pivot_to_target(static_cast<EncodingId>(id), 0, false), 0) << id;
    if (id != kTransliteration) {
      EXPECT_EQ(source_to_pivot(static_cast<EncodingId>(id), 0), 0) << id;
    }
  }
}

// ---- reencode_string -----------------------------------------------------------

TEST(ReencodeString, WritesPivotLettersInTheTargetAndLeavesTheRest) {
  // Every byte 1..255 once, then the terminating NUL and a guard byte that
  // must stay untouched.
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  for (int id = 0; id < kEncodingCount; ++id) {
    const auto target = static_cast<EncodingId>(id);
    const char* charset = nullptr;
    switch (target) {
      case kKoi8r: case kKoi7: case kIsoIr111: case kKoi8u: charset = "KOI8-R"; break;
      case kDos855: charset = "IBM855"; break;
      case kMacCyrillic: case kMacUkrainian: charset = "MAC-CYRILLIC"; break;
      case kIso8859_5: charset = "ISO-8859-5"; break;
      default: break;
    }
    std::string buffer = all + '\0' + static_cast<char>(0xE0);
    reencode_string(buffer.data(), target);
    for (int b = 1; b < 256; ++b) {
      const int expected = charset ? expected_letter_output(charset, b) : b;
      EXPECT_EQ(byte_text(static_cast<unsigned char>(buffer[static_cast<std::size_t>(b - 1)])), byte_text(expected))
          << "target " << id << " byte " << byte_text(b);
    }
    EXPECT_EQ(buffer[255], '\0');
    EXPECT_EQ(static_cast<unsigned char>(buffer[256]), 0xE0) << "past the NUL, target " << id;
  }
}

TEST(ReencodeString, NamedCases) {
  char lj[] = "\x8B\x9C";  // Л Ь
  reencode_string(lj, kKoi8r);
  EXPECT_EQ(std::string(lj), "\xEC\xF8");
  for (EncodingId id : {kWindows1251, kDos866}) {
    char s[] = "\x8B\x9C";
    reencode_string(s, id);
    EXPECT_EQ(std::string(s), "\x8B\x9C") << id;
  }
  // KOI-7 strings use KOI8-R's places, Ё included.
  char yo[] = "\xF0(C)";
  reencode_string(yo, kKoi7);
  EXPECT_EQ(std::string(yo), "\xB3(C)");
  char empty[] = "";
  reencode_string(empty, kKoi8r);
  EXPECT_EQ(empty[0], '\0');
}

}  // namespace
}  // namespace recodia::test
