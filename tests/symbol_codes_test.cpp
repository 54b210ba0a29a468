// The symbol-code catalogue and the seventeen symbol-code tables: every code
// with its character, every byte of every table, and the reverse lookup.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <map>
#include <set>
#include <string>

#include "convert/symbol_codes.hpp"
#include "tables_expected.hpp"
#include "tables_sources.hpp"

namespace recodia::test {
namespace {

std::string cp_text(char32_t c) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(c));
  return buf;
}

std::string byte_text(int b) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%02X", b);
  return buf;
}

const SymbolCodeTable& table_of(EncodingId id) {
  const SymbolCodeTable* t = symbol_code_table(id);
  if (t == nullptr) throw std::logic_error("encoding without a symbol-code table");
  return *t;
}

// The lookup as a plain scan from byte 1 upward, first match wins.
int scan_for(SymbolCode code, const SymbolCodeTable& t) {
  if (code == 0) return 0;
  for (int b = 1; b < 256; ++b)
    if (t.codes[static_cast<std::size_t>(b)] == code) return b;
  return 0;
}

// ---- The catalogue -------------------------------------------------------

TEST(SymbolCatalogue, HoldsExactlyTheListedCodesWithTheirCharacters) {
  const auto& ours = symbol_catalogue();
  const auto& expected = expected_catalogue();
  ASSERT_EQ(expected.size(), 235u);
  ASSERT_EQ(ours.size(), expected.size());
  for (std::size_t i = 0; i < ours.size(); ++i) {
    EXPECT_EQ(ours[i].code, expected[i].code) << "entry " << i;
    EXPECT_EQ(cp_text(ours[i].character), cp_text(expected[i].character)) << "code " << expected[i].code;
    EXPECT_GE(ours[i].code, 300);
    EXPECT_LE(ours[i].code, 860);
    if (i > 0) {
      EXPECT_LT(ours[i - 1].code, ours[i].code) << "codes must ascend";
    }
  }
}

// The box-drawing codes are numbered by the character's KOI8-R byte, and the
// Latin letters by their Windows 1254 byte; glibc confirms both numberings.
TEST(SymbolCatalogue, NumberingsFollowKoi8rAndWindows1254Bytes) {
  for (const CatalogueEntry& e : symbol_catalogue()) {
    if (e.code >= 300 && e.code <= 362) {
      EXPECT_EQ(cp_text(iconv_decode("KOI8-R", static_cast<std::uint8_t>(0x80 + e.code - 300))), cp_text(e.character))
          << "code " << e.code;
    }
    if (e.code >= 700 && e.code <= 763) {
      EXPECT_EQ(cp_text(iconv_decode("CP1254", static_cast<std::uint8_t>(0xC0 + e.code - 700))), cp_text(e.character))
          << "code " << e.code;
    }
  }
  // The gaps: characters of KOI8-R's upper half that have a code elsewhere or
  // none, and the division sign of Windows 1254, which has 331.
  std::set<int> codes;
  for (const CatalogueEntry& e : symbol_catalogue()) codes.insert(e.code);
  for (int gap : {321, 326, 328, 329, 330, 335, 351, 755}) EXPECT_EQ(codes.count(gap), 0u) << gap;
  // A few letters as they are named in the list of codes.
  const std::map<int, char32_t> named = {{700, 0x00C0}, {701, 0x00C1}, {716, 0x011E}, {717, 0x00D1},
                                         {723, 0x00D7}, {724, 0x00D8}, {729, 0x0130}, {730, 0x015E},
                                         {731, 0x00DF}, {732, 0x00E0}, {744, 0x00EC}, {747, 0x00EF},
                                         {748, 0x011F}, {749, 0x00F1}, {754, 0x00F6}, {756, 0x00F8},
                                         {760, 0x00FC}, {761, 0x0131}, {762, 0x015F}, {763, 0x00FF}};
  for (const CatalogueEntry& e : symbol_catalogue()) {
    if (const auto it = named.find(e.code); it != named.end()) {
      EXPECT_EQ(cp_text(e.character), cp_text(it->second)) << e.code;
    }
  }
}

// ---- Which encodings have a table ------------------------------------------

TEST(SymbolCodeTables, KxKoi7AndTransliterationHaveNone) {
  for (EncodingId id : {kKx, kKoi7, kTransliteration}) {
    EXPECT_EQ(symbol_code_table(id), nullptr) << id;
    for (int b = 0; b < 256; ++b) {
      EXPECT_EQ(symbol_code_of(id, static_cast<std::uint8_t>(b)), 0) << id << " " << b;
    }
  }
  EXPECT_EQ(symbol_code_table(static_cast<EncodingId>(-1)), nullptr);
  EXPECT_EQ(symbol_code_table(static_cast<EncodingId>(21)), nullptr);
}

TEST(SymbolCodeTables, EveryOtherEncodingReadsItsOwnTable) {
  for (int id = 0; id < kEncodingCount; ++id) {
    const auto e = static_cast<EncodingId>(id);
    if (e == kKx || e == kKoi7 || e == kTransliteration) continue;
    ASSERT_NE(symbol_code_table(e), nullptr) << id;
    for (int b = 0; b < 256; ++b) {
      EXPECT_EQ(symbol_code_of(e, static_cast<std::uint8_t>(b)), table_of(e).codes[static_cast<std::size_t>(b)]);
    }
  }
  // ISO 8859-1 reads and writes through the Windows 1252 table, so its
  // 0x80..0x9F are Windows 1252's signs (the euro at 0x80).
  EXPECT_EQ(table_of(kIso8859_1).codes, table_of(kWindows1252).codes);
  EXPECT_EQ(symbol_code_of(kIso8859_1, 0x80), 500);
  // The seventeen tables are distinct.
  std::set<std::array<SymbolCode, 256>> distinct;
  for (const ExpectedTable& t : expected_tables()) distinct.insert(table_of(t.id).codes);
  EXPECT_EQ(distinct.size(), 17u);
}

// ---- Every byte of every table -----------------------------------------------

class EachSymbolTable : public testing::TestWithParam<ExpectedTable> {};

}  // namespace

// Names the table in test listings instead of dumping its bytes.
void PrintTo(const ExpectedTable& t, std::ostream* os) { *os << t.name; }

namespace {

std::string table_name(const testing::TestParamInfo<ExpectedTable>& info) {
  std::string name = info.param.name;
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

TEST_P(EachSymbolTable, CodesExactlyTheListedBytes) {
  const ExpectedTable& x = GetParam();
  const SymbolCodeTable& t = table_of(x.id);
  const std::set<int> expected = parse_byte_ranges(x.coded_bytes);
  ASSERT_EQ(static_cast<int>(expected.size()), x.count) << "the listed ranges and count disagree";
  int coded = 0;
  for (int b = 0; b < 256; ++b) {
    const bool has = t.codes[static_cast<std::size_t>(b)] != 0;
    coded += has;
    EXPECT_EQ(has, expected.count(b) == 1) << x.name << " byte " << byte_text(b);
  }
  EXPECT_EQ(coded, x.count) << x.name;
}

// A coded byte carries the code of the character that the code page places
// there (a look-alike the code of its owner, a two-code character the code
// this table uses); an uncoded byte holds a character without a code.
TEST_P(EachSymbolTable, EachByteCarriesItsCharactersCode) {
  const ExpectedTable& x = GetParam();
  const SymbolCodeTable& t = table_of(x.id);
  std::map<int, char32_t> by_code;
  for (const CatalogueEntry& e : symbol_catalogue()) by_code[e.code] = e.character;
  for (int b = 0; b < 0x80; ++b) EXPECT_EQ(t.codes[static_cast<std::size_t>(b)], 0) << x.name << " ASCII " << b;
  for (int b = 0x80; b < 0x100; ++b) {
    const char32_t c = (*x.page)[static_cast<std::size_t>(b - 0x80)];
    const SymbolCode code = t.codes[static_cast<std::size_t>(b)];
    EXPECT_EQ(code, expected_code(c, x.id, b)) << x.name << " byte " << byte_text(b) << " " << cp_text(c);
    if (code != 0) {
      ASSERT_EQ(by_code.count(code), 1u) << x.name << " byte " << byte_text(b) << " holds unknown code " << code;
      EXPECT_EQ(cp_text(by_code[code]), cp_text(code_owner(c))) << x.name << " byte " << byte_text(b);
    } else {
      EXPECT_TRUE(has_no_code(c, x, b)) << x.name << " byte " << byte_text(b) << " " << cp_text(c)
                                        << " should carry a code";
    }
  }
}

// The fast lookup must give what a scan from byte 1 upward gives, for every
// code and for values that are no code.
TEST_P(EachSymbolTable, FindSymbolIsTheFirstMatchFromByteOne) {
  const ExpectedTable& x = GetParam();
  const SymbolCodeTable& t = table_of(x.id);
  for (SymbolCode code = -20; code <= 900; ++code) {
    EXPECT_EQ(find_symbol(code, t), scan_for(code, t)) << x.name << " code " << code;
  }
  for (SymbolCode code : {INT_MIN, INT_MIN + 1, -300, 299, 861, 1000, INT_MAX - 1, INT_MAX}) {
    EXPECT_EQ(find_symbol(code, t), 0) << x.name << " code " << code;
  }
  // Every coded byte is found unless a lower byte has the same code.
  for (int b = 1; b < 256; ++b) {
    const SymbolCode code = t.codes[static_cast<std::size_t>(b)];
    if (code == 0) continue;
    const int found = find_symbol(code, t);
    EXPECT_LE(found, b);
    EXPECT_NE(found, 0);
    EXPECT_EQ(t.codes[static_cast<std::size_t>(found)], code);
  }
}

INSTANTIATE_TEST_SUITE_P(All, EachSymbolTable, testing::ValuesIn(expected_tables()), table_name);

// ---- Characters with two codes -------------------------------------------------

TEST(SymbolCodeTables, CharactersWithTwoCodesUseTheirTablesCode) {
  for (const TwoCodeCharacter& two : two_code_characters()) {
    auto check_users = [&](const std::vector<EncodingId>& users, int used, int other) {
      for (EncodingId id : users) {
        const ExpectedTable* x = expected_table(id);
        ASSERT_NE(x, nullptr);
        int byte = 0;
        for (int b = 0x80; b < 0x100; ++b)
          if ((*x->page)[static_cast<std::size_t>(b - 0x80)] == two.character) byte = b;
        ASSERT_NE(byte, 0) << x->name << " lacks " << cp_text(two.character);
        EXPECT_EQ(table_of(id).codes[static_cast<std::size_t>(byte)], used) << x->name;
        EXPECT_EQ(find_symbol(used, table_of(id)), byte) << x->name;
        EXPECT_EQ(find_symbol(other, table_of(id)), 0) << x->name << " must not hold " << other;
      }
    };
    check_users(two.first_users, two.first, two.second);
    check_users(two.second_users, two.second, two.first);
  }
  // Every table that has one of these characters is in one of the lists,
  // except Mac Turkish, whose spacing accents carry no code at all.
  for (const ExpectedTable& x : expected_tables()) {
    for (int b = 0x80; b < 0x100; ++b) {
      const char32_t c = (*x.page)[static_cast<std::size_t>(b - 0x80)];
      for (const TwoCodeCharacter& two : two_code_characters()) {
        if (c != two.character) continue;
        if (x.id == kMacTurkish && b >= 0xF6) {
          EXPECT_EQ(table_of(x.id).codes[static_cast<std::size_t>(b)], 0);
        } else {
          EXPECT_NE(two_code_choice(c, x.id), 0) << x.name << " has " << cp_text(c) << " but is in neither list";
        }
      }
    }
  }
}

// ---- The answers that the text of the rules spells out --------------------------

struct CodeAt {
  EncodingId id;
  int byte;
  SymbolCode code;
};

TEST(SymbolCodeTables, NamedBytesCarryNamedCodes) {
  const CodeAt cases[] = {
      // Windows 1251: registered sign and Ї around the soft hyphen.
      {kWindows1251, 0xAE, 545}, {kWindows1251, 0xAF, 407}, {kWindows1251, 0xAD, 0},
      {kWindows1251, 0x98, 0}, {kWindows1251, 0xB9, 416}, {kWindows1251, 0xA8, 0}, {kWindows1251, 0xB8, 0},
      {kWindows1252, 0xAE, 545}, {kWindows1252, 0xAF, 546}, {kWindows1252, 0xBA, 548}, {kWindows1252, 0xB0, 548},
      {kIso8859_5, 0xAE, 413}, {kIso8859_5, 0xAF, 414}, {kIso8859_5, 0xAD, 0}, {kIso8859_5, 0xF0, 416},
      {kIso8859_5, 0xFD, 539}, {kIso8859_5, 0xA1, 0}, {kIso8859_5, 0x85, 0},
      {kIsoIr111, 0xAE, 430}, {kIsoIr111, 0xAF, 431},
      {kDos855, 0xFC, 0}, {kDos855, 0xFD, 539}, {kDos855, 0xFE, 320}, {kDos855, 0xEF, 416},
      {kDos850, 0xF1, 549}, {kDos850, 0xF2, 580}, {kDos850, 0xFC, 551}, {kDos850, 0xFD, 550},
      {kDos850, 0xFE, 320}, {kDos850, 0xF0, 0}, {kDos850, 0xFF, 0}, {kDos850, 0xE1, 607}, {kDos850, 0xEE, 546},
      {kDos850, 0xA7, 548}, {kDos850, 0xF8, 548},
      {kDos857, 0xD0, 548}, {kDos857, 0xF8, 548}, {kDos857, 0xE1, 607}, {kDos857, 0xD5, 0}, {kDos857, 0xF2, 0},
      {kDos866, 0xC7, 348}, {kDos866, 0xB2, 318}, {kDos866, 0xFC, 400}, {kDos866, 0xF9, 555},
      {kDos866, 0xFA, 555}, {kDos866, 0xFD, 536}, {kDos866, 0xFF, 0}, {kDos866, 0xF1, 0}, {kDos866, 0xF2, 404},
      {kKoi8r, 0x95, 555}, {kKoi8r, 0x9E, 555}, {kKoi8r, 0x9A, 0}, {kKoi8r, 0xA3, 0}, {kKoi8r, 0xBF, 541},
      {kKoi8u, 0x95, 555}, {kKoi8u, 0xA4, 420}, {kKoi8u, 0xA6, 422}, {kKoi8u, 0xA7, 423}, {kKoi8u, 0xAD, 451},
      {kKoi8u, 0xB4, 404}, {kKoi8u, 0xB6, 406}, {kKoi8u, 0xB7, 407}, {kKoi8u, 0xBD, 450},
      {kMacTurkish, 0xF0, 0}, {kMacTurkish, 0xF5, 0},
      {kMacRoman, 0xF6, 689}, {kMacRoman, 0xF7, 690}, {kMacRoman, 0xF8, 691}, {kMacRoman, 0xFC, 556},
      {kMacRoman, 0xDB, 500}, {kMacRoman, 0xF0, 0}, {kMacRoman, 0xA7, 607}, {kMacRoman, 0xBD, 841},
      {kMacRoman, 0xB5, 860}, {kMacRoman, 0xCA, 0},
      {kMacCyrillic, 0xA2, 534}, {kMacCyrillic, 0xB6, 622}, {kMacCyrillic, 0xFF, 536}, {kMacCyrillic, 0xDC, 416},
      {kMacUkrainian, 0xA2, 450}, {kMacUkrainian, 0xB6, 451}, {kMacUkrainian, 0xFF, 536},
      {kIso8859_15, 0xA4, 500}, {kIso8859_15, 0xA6, 510}, {kIso8859_15, 0xA8, 526}, {kIso8859_15, 0xB4, 514},
      {kIso8859_15, 0xB8, 530}, {kIso8859_15, 0xBC, 512}, {kIso8859_15, 0xBD, 528}, {kIso8859_15, 0xBE, 531},
      {kIso8859_15, 0xDF, 731}, {kIso8859_9, 0xDF, 731}, {kIso8859_9, 0xFD, 761}, {kIso8859_9, 0xDD, 729},
      {kWindows1254, 0xDF, 731}, {kWindows1254, 0x88, 508}, {kWindows1254, 0x98, 524}, {kWindows1254, 0xF7, 331},
  };
  for (const CodeAt& c : cases) {
    EXPECT_EQ(table_of(c.id).codes[static_cast<std::size_t>(c.byte)], c.code)
        << expected_table(c.id)->name << " byte " << byte_text(c.byte);
  }
  // ISO-IR-111 as ECMA laid it out: the small letters of the other Cyrillic
  // alphabets in 0xA1..0xAF, the capitals 16 bytes higher, № and ¤ between.
  const CodeAt ecma[] = {{kIsoIr111, 0xA1, 418}, {kIsoIr111, 0xA2, 419}, {kIsoIr111, 0xB0, 416},
                         {kIsoIr111, 0xB1, 402}, {kIsoIr111, 0xB2, 403}, {kIsoIr111, 0xBD, 536},
                         {kIsoIr111, 0xBE, 413}, {kIsoIr111, 0xBF, 414}, {kIsoIr111, 0xA3, 0},
                         {kIsoIr111, 0xB3, 0},   {kIsoIr111, 0xAD, 0},   {kIsoIr111, 0xA0, 0}};
  for (const CodeAt& c : ecma) {
    EXPECT_EQ(table_of(c.id).codes[static_cast<std::size_t>(c.byte)], c.code) << byte_text(c.byte);
  }
  for (int i = 0; i <= 8; ++i) {  // є ѕ і ї ј љ њ ћ ќ and Є .. Ќ
    EXPECT_EQ(table_of(kIsoIr111).codes[static_cast<std::size_t>(0xA4 + i)], 420 + i);
    EXPECT_EQ(table_of(kIsoIr111).codes[static_cast<std::size_t>(0xB4 + i)], 404 + i);
  }
}

TEST(SymbolCodeTables, Koi8rAndKoi8uDifferOnlyInTheUkrainianPositions) {
  const std::set<int> ukrainian = {0xA4, 0xA6, 0xA7, 0xAD, 0xB4, 0xB6, 0xB7, 0xBD};
  for (int b = 0; b < 256; ++b) {
    const SymbolCode r = table_of(kKoi8r).codes[static_cast<std::size_t>(b)];
    const SymbolCode u = table_of(kKoi8u).codes[static_cast<std::size_t>(b)];
    if (ukrainian.count(b)) {
      EXPECT_NE(r, u) << byte_text(b);
      EXPECT_EQ(r, 300 + (b - 0x80)) << "KOI8-R has box drawing at " << byte_text(b);
    } else {
      EXPECT_EQ(r, u) << byte_text(b);
    }
  }
}

struct Lookup {
  SymbolCode code;
  EncodingId id;
  int byte;
};

TEST(FindSymbol, AnswersThatDependOnOrderOrOnWhichCodeATableUses) {
  const Lookup cases[] = {
      // Look-alikes: the lower byte wins.
      {548, kWindows1252, 0xB0}, {548, kDos850, 0xA7}, {548, kDos857, 0xD0}, {555, kDos866, 0xF9},
      {555, kKoi8r, 0x95}, {555, kKoi8u, 0x95}, {548, kWindows1254, 0xB0}, {548, kIso8859_15, 0xB0},
      {548, kMacRoman, 0xA1}, {548, kMacTurkish, 0xA1}, {555, kWindows1251, 0xB7}, {555, kWindows1252, 0xB7},
      // Two codes for one character.
      {416, kDos866, 0}, {400, kDos866, 0xFC}, {400, kWindows1251, 0}, {416, kWindows1251, 0xB9},
      {607, kWindows1252, 0}, {731, kWindows1252, 0xDF}, {731, kDos850, 0}, {607, kDos850, 0xE1},
      {689, kWindows1252, 0}, {508, kMacRoman, 0}, {690, kWindows1254, 0}, {524, kMacRoman, 0},
      {691, kDos850, 0}, {546, kMacRoman, 0}, {546, kMacTurkish, 0}, {691, kMacTurkish, 0},
      // No code, and codes a table lacks.
      {0, kDos866, 0}, {0, kWindows1252, 0}, {0, kMacRoman, 0}, {300, kWindows1252, 0}, {500, kDos866, 0},
      {321, kKoi8r, 0}, {755, kWindows1254, 0}, {-1, kKoi8r, 0}, {861, kMacRoman, 0},
  };
  for (const Lookup& l : cases) {
    EXPECT_EQ(find_symbol(l.code, table_of(l.id)), l.byte) << expected_table(l.id)->name << " code " << l.code;
  }
  // Code 0 is never found, whatever the table.
  for (const ExpectedTable& x : expected_tables()) EXPECT_EQ(find_symbol(0, table_of(x.id)), 0) << x.name;
}

// No table holds a value outside the catalogue.
TEST(SymbolCodeTables, HoldNoValueOutsideTheCatalogue) {
  std::set<SymbolCode> known;
  for (const CatalogueEntry& e : symbol_catalogue()) known.insert(e.code);
  for (const ExpectedTable& x : expected_tables()) {
    for (SymbolCode c : table_of(x.id).codes) {
      if (c != 0) {
        EXPECT_EQ(known.count(c), 1u) << x.name << " holds " << c;
      }
    }
  }
}

}  // namespace
}  // namespace recodia::test
