#include "tables_expected.hpp"

#include <algorithm>
#include <sstream>
#include <stdexcept>

#include "tables_sources.hpp"

namespace recodia::test {
namespace {

std::vector<ExpectedCode> build_catalogue() {
  std::vector<ExpectedCode> out = {
      // Box drawing, blocks and KOI8-R's signs.
      {300, 0x2500}, {301, 0x2502}, {302, 0x250C}, {303, 0x2510}, {304, 0x2514}, {305, 0x2518}, {306, 0x251C},
      {307, 0x2524}, {308, 0x252C}, {309, 0x2534}, {310, 0x253C}, {311, 0x2580}, {312, 0x2584}, {313, 0x2588},
      {314, 0x258C}, {315, 0x2590}, {316, 0x2591}, {317, 0x2592}, {318, 0x2593}, {319, 0x2320}, {320, 0x25A0},
      {322, 0x221A}, {323, 0x2248}, {324, 0x2264}, {325, 0x2265}, {327, 0x2321}, {331, 0x00F7}, {332, 0x2550},
      {333, 0x2551}, {334, 0x2552},
  };
  for (int code = 336; code <= 350; ++code) out.push_back({code, static_cast<char32_t>(0x2553 + (code - 336))});
  for (int code = 352; code <= 362; ++code) out.push_back({code, static_cast<char32_t>(0x2562 + (code - 352))});
  const std::vector<ExpectedCode> rest = {
      // Non-Russian Cyrillic letters and the numero sign.
      {400, 0x2116}, {402, 0x0402}, {403, 0x0403}, {404, 0x0404}, {405, 0x0405}, {406, 0x0406}, {407, 0x0407},
      {408, 0x0408}, {409, 0x0409}, {410, 0x040A}, {411, 0x040B}, {412, 0x040C}, {413, 0x040E}, {414, 0x040F},
      {416, 0x2116}, {418, 0x0452}, {419, 0x0453}, {420, 0x0454}, {421, 0x0455}, {422, 0x0456}, {423, 0x0457},
      {424, 0x0458}, {425, 0x0459}, {426, 0x045A}, {427, 0x045B}, {428, 0x045C}, {430, 0x045E}, {431, 0x045F},
      {450, 0x0490}, {451, 0x0491},
      // Typographic signs, Latin-1 signs, Icelandic letters.
      {500, 0x20AC}, {502, 0x201A}, {503, 0x0192}, {504, 0x201E}, {505, 0x2026}, {506, 0x2020}, {507, 0x2021},
      {508, 0x02C6}, {509, 0x2030}, {510, 0x0160}, {511, 0x2039}, {512, 0x0152}, {514, 0x017D}, {517, 0x2018},
      {518, 0x2019}, {519, 0x201C}, {520, 0x201D}, {521, 0x2022}, {522, 0x2013}, {523, 0x2014}, {524, 0x02DC},
      {525, 0x2122}, {526, 0x0161}, {527, 0x203A}, {528, 0x0153}, {530, 0x017E}, {531, 0x0178}, {533, 0x00A1},
      {534, 0x00A2}, {535, 0x00A3}, {536, 0x00A4}, {537, 0x00A5}, {538, 0x00A6}, {539, 0x00A7}, {540, 0x00A8},
      {541, 0x00A9}, {542, 0x00AA}, {543, 0x00AB}, {544, 0x00AC}, {545, 0x00AE}, {546, 0x00AF}, {548, 0x00B0},
      {549, 0x00B1}, {550, 0x00B2}, {551, 0x00B3}, {552, 0x00B4}, {554, 0x00B6}, {555, 0x00B7}, {556, 0x00B8},
      {557, 0x00B9}, {559, 0x00BB}, {560, 0x00BC}, {561, 0x00BD}, {562, 0x00BE}, {563, 0x00BF}, {570, 0x00D0},
      {571, 0x00DD}, {572, 0x00DE}, {573, 0x00F0}, {574, 0x00FD}, {575, 0x00FE}, {580, 0x2017},
      // Mac signs and spacing accents.
      {607, 0x00DF}, {613, 0x2260}, {616, 0x221E}, {622, 0x2202}, {623, 0x2211}, {624, 0x220F}, {625, 0x03C0},
      {626, 0x222B}, {638, 0x2206}, {655, 0x25CA}, {658, 0x2044}, {662, 0xFB01}, {663, 0xFB02}, {689, 0x02C6},
      {690, 0x02DC}, {691, 0x00AF}, {692, 0x02D8}, {693, 0x02D9}, {694, 0x02DA}, {696, 0x02DD}, {697, 0x02DB},
      {698, 0x02C7},
  };
  out.insert(out.end(), rest.begin(), rest.end());
  for (int b = 0xC0; b <= 0xFF; ++b) {
    if (b == 0xF7) continue;  // the division sign has 331
    out.push_back({700 + (b - 0xC0), iconv_decode("CP1254", static_cast<std::uint8_t>(b))});
  }
  out.push_back({841, 0x03A9});
  out.push_back({860, 0x00B5});
  return out;
}

}  // namespace

const std::vector<ExpectedCode>& expected_catalogue() {
  static const std::vector<ExpectedCode> catalogue = build_catalogue();
  return catalogue;
}

const std::vector<ExpectedTable>& expected_tables() {
  namespace cp = code_pages;
  static const std::vector<ExpectedTable> tables = {
      {kKoi8r, "KOI8-R", &cp::kKoi8r, "80-99 9B-A2 A4-B2 B4-BF", 61, false},
      {kKoi8u, "KOI8-U", &cp::kKoi8u, "80-99 9B-A2 A4-B2 B4-BF", 61, false},
      {kIso8859_5, "ISO 8859-5", &cp::kIso8859_5, "A2-AC AE AF F0 F2-FF", 28, true},
      {kIsoIr111, "ISO-IR-111", &cp::kIsoIr111, "A1 A2 A4-AC AE-B2 B4-BF", 28, true},
      {kWindows1251, "Windows 1251", &cp::kWindows1251, "80-97 99-9F A1-A7 A9-AC AE-B7 B9-BF", 59, false},
      {kDos866, "DOS 866", &cp::kDos866, "B0-DF F2-FE", 61, false},
      {kDos855, "DOS 855", &cp::kDos855, "80-83 86-9B AE-B4 B9-BC BF-C5 C8-CF D9-DC DF EF FD FE", 60, false},
      {kMacCyrillic, "Mac Cyrillic", &cp::kMacCyrillic, "A0-C9 CB-DC FF", 61, false},
      {kMacUkrainian, "Mac Ukrainian", &cp::kMacUkrainian, "A0-C9 CB-DC FF", 61, false},
      {kWindows1254, "Windows 1254", &cp::kWindows1254, "80 82-8C 91-9C 9F A1-AC AE-FF", 119, false},
      {kIso8859_9, "ISO 8859-9", &cp::kIso8859_9, "A1-AC AE-FF", 94, true},
      {kMacTurkish, "Mac Turkish", &cp::kMacTurkish, "80-C9 CB-EF F1-F4", 115, false},
      {kDos857, "DOS 857", &cp::kDos857, "80-D4 D6-E6 E8-EF F1 F3-FE", 123, false},
      {kWindows1252, "Windows 1252", &cp::kWindows1252, "80 82-8C 8E 91-9C 9E 9F A1-AC AE-FF", 121, false},
      {kIso8859_15, "ISO 8859-15", &cp::kIso8859_15, "A1-AC AE-FF", 94, true},
      {kMacRoman, "Mac Roman", &cp::kMacRoman, "80-C9 CB-EF F1-FF", 126, false},
      {kDos850, "DOS 850", &cp::kDos850, "80-EF F1-FE", 126, false},
  };
  return tables;
}

const ExpectedTable* expected_table(EncodingId id) {
  if (id == kIso8859_1) id = kWindows1252;
  for (const ExpectedTable& t : expected_tables())
    if (t.id == id) return &t;
  return nullptr;
}

std::set<int> parse_byte_ranges(const std::string& text) {
  std::set<int> bytes;
  std::istringstream words(text);
  for (std::string w; words >> w;) {
    const std::size_t dash = w.find('-');
    const int first = std::stoi(w.substr(0, dash), nullptr, 16);
    const int last = dash == std::string::npos ? first : std::stoi(w.substr(dash + 1), nullptr, 16);
    for (int b = first; b <= last; ++b) bytes.insert(b);
  }
  return bytes;
}

const std::vector<TwoCodeCharacter>& two_code_characters() {
  static const std::vector<TwoCodeCharacter> list = {
      {0x2116, 416, 400, {kIso8859_5, kWindows1251, kDos855, kMacCyrillic, kMacUkrainian, kIsoIr111}, {kDos866}},
      {0x00DF, 731, 607, {kWindows1252, kWindows1254, kIso8859_9, kIso8859_15},
       {kMacRoman, kMacTurkish, kDos850, kDos857}},
      {0x02C6, 508, 689, {kWindows1252, kWindows1254}, {kMacRoman}},
      {0x02DC, 524, 690, {kWindows1252, kWindows1254}, {kMacRoman}},
      {0x00AF, 546, 691, {kWindows1252, kWindows1254, kIso8859_9, kIso8859_15, kDos850, kDos857}, {kMacRoman}},
  };
  return list;
}

int two_code_choice(char32_t character, EncodingId table) {
  if (table == kIso8859_1) table = kWindows1252;
  for (const TwoCodeCharacter& t : two_code_characters()) {
    if (t.character != character) continue;
    if (std::find(t.first_users.begin(), t.first_users.end(), table) != t.first_users.end()) return t.first;
    if (std::find(t.second_users.begin(), t.second_users.end(), table) != t.second_users.end()) return t.second;
  }
  return 0;
}

char32_t code_owner(char32_t character) {
  if (character == 0x00BA) return 0x00B0;  // masculine ordinal as the degree sign
  if (character == 0x2219) return 0x00B7;  // bullet operator as the middle dot
  return character;
}

bool has_no_code(char32_t character, const ExpectedTable& table, int byte) {
  return character == 0 || byte < 0x80 || is_russian_letter(character) ||
         character == 0x00A0                                 // no-break space
         || character == 0x00AD                              // soft hyphen
         || (table.iso && byte >= 0x80 && byte <= 0x9F)      // C1 control positions
         || character == 0xF8FF                              // Apple's logo at 0xF0
         || character == 0xF8A0                              // a position Apple leaves unused
         || (table.id == kMacTurkish && byte >= 0xF6);       // Mac Turkish's accents
}

int expected_code(char32_t character, EncodingId id, int byte) {
  const ExpectedTable* table = expected_table(id);
  if (table == nullptr) throw std::logic_error("no table for this encoding");
  if (has_no_code(character, *table, byte)) return 0;
  const char32_t owner = code_owner(character);
  if (const int choice = two_code_choice(owner, id)) return choice;
  int found = 0;
  for (const ExpectedCode& e : expected_catalogue()) {
    if (e.character != owner) continue;
    if (found != 0) throw std::logic_error("a character with two codes that the table does not choose between");
    found = e.code;
  }
  return found;
}

}  // namespace recodia::test
