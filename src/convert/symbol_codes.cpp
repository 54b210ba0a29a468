#include "convert/symbol_codes.hpp"

#include <algorithm>
#include <cstddef>

#include "convert/code_pages.hpp"

namespace recodia {
namespace {

using code_pages::UpperHalf;

// The catalogue apart from the Latin letters 700..763, which are numbered by
// their position in the upper quarter of Windows 1254 and are derived below.
constexpr CatalogueEntry kListedCodes[] = {
    // Box drawing, blocks and the signs of KOI8-R's upper half: 300 + (KOI8-R byte - 0x80).
    {300, 0x2500}, {301, 0x2502}, {302, 0x250C}, {303, 0x2510}, {304, 0x2514}, {305, 0x2518},
    {306, 0x251C}, {307, 0x2524}, {308, 0x252C}, {309, 0x2534}, {310, 0x253C}, {311, 0x2580},
    {312, 0x2584}, {313, 0x2588}, {314, 0x258C}, {315, 0x2590}, {316, 0x2591}, {317, 0x2592},
    {318, 0x2593}, {319, 0x2320}, {320, 0x25A0}, {322, 0x221A}, {323, 0x2248}, {324, 0x2264},
    {325, 0x2265}, {327, 0x2321}, {331, 0x00F7}, {332, 0x2550}, {333, 0x2551}, {334, 0x2552},
    {336, 0x2553}, {337, 0x2554}, {338, 0x2555}, {339, 0x2556}, {340, 0x2557}, {341, 0x2558},
    {342, 0x2559}, {343, 0x255A}, {344, 0x255B}, {345, 0x255C}, {346, 0x255D}, {347, 0x255E},
    {348, 0x255F}, {349, 0x2560}, {350, 0x2561}, {352, 0x2562}, {353, 0x2563}, {354, 0x2564},
    {355, 0x2565}, {356, 0x2566}, {357, 0x2567}, {358, 0x2568}, {359, 0x2569}, {360, 0x256A},
    {361, 0x256B}, {362, 0x256C},
    // Non-Russian Cyrillic letters and the numero sign (twice: 400 is DOS 866's).
    {400, 0x2116}, {402, 0x0402}, {403, 0x0403}, {404, 0x0404}, {405, 0x0405}, {406, 0x0406},
    {407, 0x0407}, {408, 0x0408}, {409, 0x0409}, {410, 0x040A}, {411, 0x040B}, {412, 0x040C},
    {413, 0x040E}, {414, 0x040F}, {416, 0x2116}, {418, 0x0452}, {419, 0x0453}, {420, 0x0454},
    {421, 0x0455}, {422, 0x0456}, {423, 0x0457}, {424, 0x0458}, {425, 0x0459}, {426, 0x045A},
    {427, 0x045B}, {428, 0x045C}, {430, 0x045E}, {431, 0x045F}, {450, 0x0490}, {451, 0x0491},
    // Typographic signs, the Latin-1 signs and the Icelandic letters.
    {500, 0x20AC}, {502, 0x201A}, {503, 0x0192}, {504, 0x201E}, {505, 0x2026}, {506, 0x2020},
    {507, 0x2021}, {508, 0x02C6}, {509, 0x2030}, {510, 0x0160}, {511, 0x2039}, {512, 0x0152},
    {514, 0x017D}, {517, 0x2018}, {518, 0x2019}, {519, 0x201C}, {520, 0x201D}, {521, 0x2022},
    {522, 0x2013}, {523, 0x2014}, {524, 0x02DC}, {525, 0x2122}, {526, 0x0161}, {527, 0x203A},
    {528, 0x0153}, {530, 0x017E}, {531, 0x0178}, {533, 0x00A1}, {534, 0x00A2}, {535, 0x00A3},
    {536, 0x00A4}, {537, 0x00A5}, {538, 0x00A6}, {539, 0x00A7}, {540, 0x00A8}, {541, 0x00A9},
    {542, 0x00AA}, {543, 0x00AB}, {544, 0x00AC}, {545, 0x00AE}, {546, 0x00AF}, {548, 0x00B0},
    {549, 0x00B1}, {550, 0x00B2}, {551, 0x00B3}, {552, 0x00B4}, {554, 0x00B6}, {555, 0x00B7},
    {556, 0x00B8}, {557, 0x00B9}, {559, 0x00BB}, {560, 0x00BC}, {561, 0x00BD}, {562, 0x00BE},
    {563, 0x00BF}, {570, 0x00D0}, {571, 0x00DD}, {572, 0x00DE}, {573, 0x00F0}, {574, 0x00FD},
    {575, 0x00FE}, {580, 0x2017},
    // Mac signs and spacing accents (689..691 are second codes of 508, 524, 546).
    {607, 0x00DF}, {613, 0x2260}, {616, 0x221E}, {622, 0x2202}, {623, 0x2211}, {624, 0x220F},
    {625, 0x03C0}, {626, 0x222B}, {638, 0x2206}, {655, 0x25CA}, {658, 0x2044}, {662, 0xFB01},
    {663, 0xFB02}, {689, 0x02C6}, {690, 0x02DC}, {691, 0x00AF}, {692, 0x02D8}, {693, 0x02D9},
    {694, 0x02DA}, {696, 0x02DD}, {697, 0x02DB}, {698, 0x02C7},
};

constexpr CatalogueEntry kTrailingCodes[] = {{841, 0x03A9}, {860, 0x00B5}};

constexpr std::array<CatalogueEntry, kSymbolCodeCount> build_catalogue() {
  std::array<CatalogueEntry, kSymbolCodeCount> out{};
  std::size_t n = 0;
  for (const CatalogueEntry& e : kListedCodes) out[n++] = e;
  // 700 + (Windows 1254 byte - 0xC0); the division sign 0xF7 already has 331.
  for (int b = 0xC0; b <= 0xFF; ++b) {
    if (b == 0xF7) continue;
    out[n++] = {700 + (b - 0xC0), code_pages::kWindows1254[static_cast<std::size_t>(b - 0x80)]};
  }
  for (const CatalogueEntry& e : kTrailingCodes) out[n++] = e;
  if (n != kSymbolCodeCount) throw "the catalogue must hold exactly 235 codes";
  for (std::size_t i = 1; i < n; ++i)
    if (out[i - 1].code >= out[i].code) throw "catalogue codes must ascend";
  return out;
}

constexpr std::array<CatalogueEntry, kSymbolCodeCount> kCatalogue = build_catalogue();

// What a code page adds to the plain rule "a byte carries the code of its character".
struct Particulars {
  // Where a character has two codes, the first is used unless the table is
  // listed here with the second.
  SymbolCode second_codes[4] = {};
  // Bytes from this one up carry no code at all (0: none such).
  int uncoded_from = 0;
};

// The second codes of the five characters that have two: № (416, 400),
// ß (731, 607), ˆ (508, 689), ˜ (524, 690) and ¯ (546, 691).
constexpr SymbolCode kSecondCodes[] = {400, 607, 689, 690, 691};

constexpr bool is_second_code(SymbolCode code) {
  return std::find(std::begin(kSecondCodes), std::end(kSecondCodes), code) != std::end(kSecondCodes);
}

constexpr bool is_russian_letter(char32_t c) {
  return (c >= 0x0410 && c <= 0x044F) || c == 0x0401 || c == 0x0451;
}

constexpr bool carries_no_code(char32_t c) {
  return c == 0                          // undefined position
         || is_russian_letter(c)         // travels as a pivot letter instead
         || c == 0x00A0 || c == 0x00AD   // no-break space, soft hyphen
         || (c >= 0x0080 && c <= 0x009F) // C1 controls of the ISO code pages
         || (c >= 0xE000 && c <= 0xF8FF); // Apple's logo and undefined markers
}

constexpr SymbolCode code_for(char32_t c, const Particulars& p) {
  // Look-alikes that share the code of a similar sign.
  if (c == 0x00BA) c = 0x00B0;  // masculine ordinal as the degree sign
  if (c == 0x2219) c = 0x00B7;  // bullet operator as the middle dot
  SymbolCode first = 0;
  SymbolCode second = 0;
  for (const CatalogueEntry& e : kCatalogue) {
    if (e.character != c) continue;
    if (is_second_code(e.code)) second = e.code;
    else first = e.code;
  }
  if (first == 0) throw "a character of a code page has no symbol code";
  if (second != 0 && std::find(std::begin(p.second_codes), std::end(p.second_codes), second) !=
                         std::end(p.second_codes))
    return second;
  return first;
}

constexpr SymbolCodeTable derive_table(const UpperHalf& page, Particulars p = {}) {
  SymbolCodeTable t{};
  for (int b = 0x80; b <= 0xFF; ++b) {
    const char32_t c = page[static_cast<std::size_t>(b - 0x80)];
    if (carries_no_code(c) || (p.uncoded_from != 0 && b >= p.uncoded_from)) continue;
    t.codes[static_cast<std::size_t>(b)] = code_for(c, p);
  }
  for (int b = 255; b >= 1; --b) {  // downward, so the lowest byte is left
    const SymbolCode code = t.codes[static_cast<std::size_t>(b)];
    if (code != 0) t.lowest_byte[static_cast<std::size_t>(code - kFirstSymbolCode)] =
        static_cast<std::uint8_t>(b);
  }
  return t;
}

constexpr int coded_bytes(const SymbolCodeTable& t) {
  int n = 0;
  for (SymbolCode c : t.codes) n += c != 0;
  return n;
}

constexpr Particulars kDosNumero{{400}};
constexpr Particulars kMacRomanCodes{{607, 689, 690, 691}};
constexpr Particulars kSharpS607{{607}};
// Mac Turkish leaves its spacing accents 0xF6..0xFF without codes.
constexpr Particulars kMacTurkishCodes{{607}, 0xF6};

constexpr SymbolCodeTable kDos866Table = derive_table(code_pages::kDos866, kDosNumero);
constexpr SymbolCodeTable kWindows1251Table = derive_table(code_pages::kWindows1251);
constexpr SymbolCodeTable kKoi8rTable = derive_table(code_pages::kKoi8r);
constexpr SymbolCodeTable kKoi8uTable = derive_table(code_pages::kKoi8u);
constexpr SymbolCodeTable kDos855Table = derive_table(code_pages::kDos855);
constexpr SymbolCodeTable kMacCyrillicTable = derive_table(code_pages::kMacCyrillic);
constexpr SymbolCodeTable kMacUkrainianTable = derive_table(code_pages::kMacUkrainian);
constexpr SymbolCodeTable kIso8859_5Table = derive_table(code_pages::kIso8859_5);
constexpr SymbolCodeTable kIsoIr111Table = derive_table(code_pages::kIsoIr111);
constexpr SymbolCodeTable kWindows1254Table = derive_table(code_pages::kWindows1254);
constexpr SymbolCodeTable kDos857Table = derive_table(code_pages::kDos857, kSharpS607);
constexpr SymbolCodeTable kMacTurkishTable = derive_table(code_pages::kMacTurkish, kMacTurkishCodes);
constexpr SymbolCodeTable kIso8859_9Table = derive_table(code_pages::kIso8859_9);
constexpr SymbolCodeTable kDos850Table = derive_table(code_pages::kDos850, kSharpS607);
constexpr SymbolCodeTable kWindows1252Table = derive_table(code_pages::kWindows1252);
constexpr SymbolCodeTable kIso8859_15Table = derive_table(code_pages::kIso8859_15);
constexpr SymbolCodeTable kMacRomanTable = derive_table(code_pages::kMacRoman, kMacRomanCodes);

// The number of coded bytes of each table is fixed; a changed code page map
// or rule shows here first.
static_assert(coded_bytes(kKoi8rTable) == 61);
static_assert(coded_bytes(kKoi8uTable) == 61);
static_assert(coded_bytes(kIso8859_5Table) == 28);
static_assert(coded_bytes(kIsoIr111Table) == 28);
static_assert(coded_bytes(kWindows1251Table) == 59);
static_assert(coded_bytes(kDos866Table) == 61);
static_assert(coded_bytes(kDos855Table) == 60);
static_assert(coded_bytes(kMacCyrillicTable) == 61);
static_assert(coded_bytes(kMacUkrainianTable) == 61);
static_assert(coded_bytes(kWindows1254Table) == 119);
static_assert(coded_bytes(kIso8859_9Table) == 94);
static_assert(coded_bytes(kMacTurkishTable) == 115);
static_assert(coded_bytes(kDos857Table) == 123);
static_assert(coded_bytes(kWindows1252Table) == 121);
static_assert(coded_bytes(kIso8859_15Table) == 94);
static_assert(coded_bytes(kMacRomanTable) == 126);
static_assert(coded_bytes(kDos850Table) == 126);

constexpr std::array<const SymbolCodeTable*, kEncodingCount> kTableById = {
    nullptr,              // KX
    &kDos866Table,        //
    &kWindows1251Table,   //
    &kKoi8rTable,         //
    &kDos855Table,        //
    &kMacCyrillicTable,   //
    &kIso8859_5Table,     //
    nullptr,              // KOI-7
    nullptr,              // transliteration
    &kIsoIr111Table,      //
    &kKoi8uTable,         //
    &kMacUkrainianTable,  //
    &kWindows1254Table,   //
    &kDos857Table,        //
    &kMacTurkishTable,    //
    &kIso8859_9Table,     //
    &kDos850Table,        //
    &kWindows1252Table,   //
    &kWindows1252Table,   // ISO 8859-1
    &kIso8859_15Table,    //
    &kMacRomanTable,      //
};

}  // namespace

const std::array<CatalogueEntry, kSymbolCodeCount>& symbol_catalogue() { return kCatalogue; }

const SymbolCodeTable* symbol_code_table(EncodingId id) {
  if (id < 0 || id >= kEncodingCount) return nullptr;
  return kTableById[static_cast<std::size_t>(id)];
}

SymbolCode symbol_code_of(EncodingId id, std::uint8_t byte) {
  const SymbolCodeTable* table = symbol_code_table(id);
  return table ? table->codes[byte] : 0;
}

}  // namespace recodia
