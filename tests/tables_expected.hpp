// What the symbol-code tables must hold, written down independently of the
// code that derives them: the catalogue of codes, the bytes of each table that
// carry a code, the characters with two codes and the look-alikes.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "convert/code_pages.hpp"
#include "convert/encoding_id.hpp"

namespace recodia::test {

struct ExpectedCode {
  int code;
  char32_t character;
};

// All 235 codes with their characters, ascending; 700..763 come from iconv's
// Windows 1254 (700 + byte - 0xC0, every byte 0xC0..0xFF but 0xF7).
const std::vector<ExpectedCode>& expected_catalogue();

struct ExpectedTable {
  EncodingId id;
  const char* name;
  const code_pages::UpperHalf* page;  // the code page the table follows
  const char* coded_bytes;            // e.g. "80-99 9B-A2"
  int count;
  bool iso;  // 0x80..0x9F are C1 control positions without a code
};

// The seventeen tables (ISO 8859-1 is not among them: it uses Windows 1252's).
const std::vector<ExpectedTable>& expected_tables();

// The expected table of an encoding id (18 gives Windows 1252's), or nullptr.
const ExpectedTable* expected_table(EncodingId id);

// "80-99 9B" as a set of bytes.
std::set<int> parse_byte_ranges(const std::string& text);

struct TwoCodeCharacter {
  char32_t character;
  int first;
  int second;
  std::vector<EncodingId> first_users;
  std::vector<EncodingId> second_users;
};

const std::vector<TwoCodeCharacter>& two_code_characters();

// The code a table gives a character with two codes; 0 when the character
// has one code only or the table is in neither list.
int two_code_choice(char32_t character, EncodingId table);

// The character whose code a look-alike carries (º as °, ∙ as ·), or the
// character itself.
char32_t code_owner(char32_t character);

// The code of a character in a table as the rules give it: the look-alike's
// owner, the table's choice between two codes; 0 for a character without a
// code. `byte` matters only for Mac Turkish, whose accents carry none.
int expected_code(char32_t character, EncodingId table, int byte);

// Characters that carry no code wherever they are.
bool has_no_code(char32_t character, const ExpectedTable& table, int byte);

}  // namespace recodia::test
