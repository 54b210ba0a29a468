// Conversions between every pair of encodings: the 66 Russian letters
// between the Cyrillic encodings against glibc's iconv(3), and every
// character that two encodings with symbol-code tables share, which must
// arrive as the target's own byte unless one of the rules listed below
// decides otherwise.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "convert/converter.hpp"
#include "convert/encodings.hpp"
#include "convert/symbol_codes.hpp"
#include "tables_expected.hpp"
#include "tables_sources.hpp"
#include "test_support.hpp"

namespace recodia::test {
namespace {

std::string byte_text(int b) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%02X", b);
  return buf;
}

std::string cp_text(char32_t c) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(c));
  return buf;
}

struct Outcome {
  int byte;  // what the run writes when it writes a byte
  bool string_pending;
};

// One byte through a fresh converter with the default settings apart from
// source and target.
Outcome convert_one(EncodingId source, EncodingId target, std::uint8_t input) {
  ConversionSettings settings;
  settings.source = source;
  settings.target = target;
  Converter converter(settings);
  const std::uint8_t out = converter.convert_byte(input);
  return {out == 0 ? input : out, converter.result().string_pending};
}

// ---- The Russian letters between the Cyrillic encodings -----------------------

struct Cyrillic {
  EncodingId id;
  const char* name;
  const char* iconv;  // nullptr for KX and KOI-7, which follow their own rules
  const char* from_switch;
  const char* to_switch;
};

const std::vector<Cyrillic>& cyrillic_encodings() {
  static const std::vector<Cyrillic> list = {
      {kKx, "KX", nullptr, "-kx", "-tokx"},
      {kDos866, "DOS 866", "CP866", "-dos", "-todos"},
      {kWindows1251, "Windows 1251", "CP1251", "-win", "-towin"},
      {kKoi8r, "KOI8-R", "KOI8-R", "-koi8", "-tokoi8"},
      {kDos855, "DOS 855", "IBM855", "-855", "-to855"},
      {kMacCyrillic, "Mac Cyrillic", "MAC-CYRILLIC", "-mac", "-tomac"},
      {kIso8859_5, "ISO 8859-5", "ISO-8859-5", "-iso", "-toiso"},
      {kKoi7, "KOI-7", nullptr, "-koi7", "-tokoi7"},
      {kIsoIr111, "ISO-IR-111", "ISO-IR-111", "-iso_ir_111", "-toiso_ir_111"},
      {kKoi8u, "KOI8-U", "KOI8-U", "-koi8u", "-tokoi8u"},
      {kMacUkrainian, "Mac Ukrainian", "MAC-UK", "-macu", "-tomacu"},
  };
  return list;
}

constexpr char32_t kYo = 0x0401, kYe = 0x0415, kSmallYo = 0x0451, kSmallYe = 0x0435;
constexpr char32_t kZhe = 0x0416, kSmallZhe = 0x0436, kHard = 0x042A, kSoft = 0x042C;

std::vector<char32_t> russian_letters() {
  std::vector<char32_t> letters;
  for (char32_t c = 0x0410; c <= 0x044F; ++c) letters.push_back(c);
  letters.push_back(kYo);
  letters.push_back(kSmallYo);
  return letters;
}

std::uint8_t glibc_byte(const char* charset, char32_t letter) {
  const auto b = iconv_encode(charset, letter);
  if (!b) throw std::logic_error(std::string(charset) + " lacks " + cp_text(letter));
  return *b;
}

// The byte of a Russian letter in a Cyrillic encoding when read, or nothing
// where the encoding has no such letter (KOI-7 has no Ъ, Ё or ё).
std::optional<std::uint8_t> source_byte(const Cyrillic& e, char32_t letter) {
  if (e.iconv) return glibc_byte(e.iconv, letter);
  if (e.id == kKx) {
    // DOS 866 with Ж and ж at the shade bytes.
    if (letter == kZhe) return 0xB0;
    if (letter == kSmallZhe) return 0xB1;
    return glibc_byte("CP866", letter);
  }
  // KOI-7 in its 8-bit form: the letters where KOI8-R has them.
  if (letter == kHard || letter == kYo || letter == kSmallYo) return std::nullopt;
  return glibc_byte("KOI8-R", letter);
}

// The byte a Russian letter is written as.
std::uint8_t target_byte(const Cyrillic& e, char32_t letter) {
  if (e.iconv) return glibc_byte(e.iconv, letter);
  // Neither KX nor KOI-7 has Ё: both write Е.
  if (letter == kYo) letter = kYe;
  if (letter == kSmallYo) letter = kSmallYe;
  if (e.id == kKx) {
    if (letter == kZhe) return 0xB0;
    if (letter == kSmallZhe) return 0xB1;
    return glibc_byte("CP866", letter);
  }
  if (letter == kHard) letter = kSoft;  // KOI-7 has no Ъ
  return glibc_byte("KOI8-R", letter);
}

TEST(RussianLetters, EveryCyrillicPairThroughTheConverter) {
  for (const Cyrillic& s : cyrillic_encodings()) {
    for (const Cyrillic& t : cyrillic_encodings()) {
      int converted = 0;
      for (char32_t letter : russian_letters()) {
        const auto in = source_byte(s, letter);
        if (!in) continue;
        const Outcome out = convert_one(s.id, t.id, *in);
        EXPECT_EQ(byte_text(out.byte), byte_text(target_byte(t, letter)))
            << s.name << " -> " << t.name << " " << cp_text(letter);
        EXPECT_FALSE(out.string_pending) << s.name << " -> " << t.name << " " << cp_text(letter);
        ++converted;
      }
      EXPECT_EQ(converted, s.id == kKoi7 ? 63 : 66) << s.name;
    }
  }
}

// KX input keeps the pivot meaning of the bytes it moves Ж and ж away from,
// and reads Ё and ё where DOS 866 has them.
TEST(RussianLetters, KxReadsEveryPivotLetterToo) {
  for (const Cyrillic& t : cyrillic_encodings()) {
    for (char32_t letter : russian_letters()) {
      const Outcome out = convert_one(kKx, t.id, glibc_byte("CP866", letter));
      EXPECT_EQ(byte_text(out.byte), byte_text(target_byte(t, letter))) << "KX -> " << t.name << " " << cp_text(letter);
    }
  }
}

// The whole program, for a ring of pairs that has every Cyrillic encoding
// once as the source and once as the target, and the default conversion.
TEST(RussianLetters, ThroughTheProgram) {
  const std::vector<EncodingId> ring = {kDos866, kWindows1251, kKoi8r,  kDos855, kMacCyrillic, kIso8859_5,
                                        kIsoIr111, kKoi8u,     kMacUkrainian, kKx, kKoi7};
  auto find = [](EncodingId id) -> const Cyrillic& {
    for (const Cyrillic& c : cyrillic_encodings())
      if (c.id == id) return c;
    throw std::logic_error("not a Cyrillic encoding");
  };
  auto text_pair = [&](const Cyrillic& s, const Cyrillic& t) {
    Bytes in, expected;
    for (char32_t letter : russian_letters()) {
      if (const auto b = source_byte(s, letter)) {
        in += static_cast<char>(*b);
        expected += static_cast<char>(target_byte(t, letter));
      }
    }
    return std::pair{in, expected};
  };
  for (std::size_t i = 0; i < ring.size(); ++i) {
    const Cyrillic& s = find(ring[i]);
    const Cyrillic& t = find(ring[(i + 1) % ring.size()]);
    const auto [in, expected] = text_pair(s, t);
    EXPECT_EQ(hex(convert({s.from_switch, t.to_switch}, in)), hex(expected)) << s.name << " -> " << t.name;
  }
  const auto [in, expected] = text_pair(find(kDos866), find(kKx));
  EXPECT_EQ(hex(convert({}, in)), hex(expected)) << "default: DOS 866 to KX";
}

// The particulars of KX and KOI-7, byte by byte through the converter, and a
// few of them through the program.
TEST(RussianLetters, Koi7AndKxParticulars) {
  struct Case {
    EncodingId source;
    EncodingId target;
    Bytes in;
    Bytes out;
  };
  const Case cases[] = {
      // Ё ж , space 1: Ё as Е; comma, space and digit move to the Cyrillic half.
      {kDos866, kKoi7, "\xF0\xA6\x2C\x20\x31", "\xE5\xD6\xAC\xA0\xB1"},
      // From KOI8-R the comma has no pivot byte and is written unchanged.
      {kKoi8r, kKoi7, "\x2C", "\x2C"},
      {kKoi8r, kKoi7, "\xFF", "\xF8"},   // Ъ as Ь
      {kDos866, kKoi7, "\xFC", "\x4E"},  // № as N
      // KOI-7's currency sign and its dollar; 0x41 and 0xFF mean nothing there.
      {kKoi7, kDos866, "\x24\xA4\x41\xFF", "\xFD\x24\x41\xFF"},
      {kKx, kDos866, "\xB0\xB1\x86\xA6\xF0\xF1", "\x86\xA6\x86\xA6\xF0\xF1"},
      // KX writes Ж and ж where DOS 866 has two shades; the shades themselves
      // have symbol codes, and KX has no table, so they take their fallback.
      {kDos866, kKx, "\x86\xA6\xF0\xF1\xB0\xB1", "\xB0\xB1\x85\xA5++"},
      {kWindows1251, kKx, "\xA8\xB8\xC6\xE6", "\x85\xA5\xB0\xB1"},
      {kWindows1251, kKoi8r, "\xA8", "\xB3"},
      {kKoi8r, kWindows1251, "\xE1", "\xC0"},
      {kKoi8r, kKoi8u, "\xE1", "\xE1"},
      {kKoi8r, kMacCyrillic, "\xE1", "\x80"},
      {kIsoIr111, kDos866, "\xB3", "\xF0"},
      {kKoi8u, kDos866, "\xB3", "\xF0"},
      {kMacUkrainian, kDos866, "\xDD", "\xF0"},
  };
  for (const Case& c : cases) {
    Bytes out;
    for (unsigned char b : c.in) out += static_cast<char>(convert_one(c.source, c.target, b).byte);
    EXPECT_EQ(hex(out), hex(c.out)) << c.source << " -> " << c.target << ": " << hex(c.in);
  }
  EXPECT_EQ(hex(convert({"-tokoi7"}, "\xF0\xA6\x2C\x20\x31\xFC")), hex("\xE5\xD6\xAC\xA0\xB1\x4E"));
  EXPECT_EQ(hex(convert({"-koi7", "-todos"}, "\x24\xA4\x41\xFF")), hex("\xFD\x24\x41\xFF"));
  EXPECT_EQ(hex(convert({"-kx", "-towin"}, "\xB0\xB1\x86\xA6")), hex("\xC6\xE6\xC6\xE6"));
}

// ---- Characters that two encodings with symbol-code tables share ---------------

const std::vector<EncodingId>& table_encodings() {
  static const std::vector<EncodingId> ids = {
      kDos866,     kWindows1251, kKoi8r,     kDos855, kMacCyrillic, kIso8859_5,   kIsoIr111,  kKoi8u,  kMacUkrainian,
      kWindows1254, kDos857,     kMacTurkish, kIso8859_9, kDos850, kWindows1252, kIso8859_1, kIso8859_15, kMacRoman};
  return ids;
}

// ISO 8859-1 reads and writes through Windows 1252's table, so its bytes have
// Windows 1252's characters.
char32_t character_at(EncodingId id, int byte) {
  static const auto pages = [] {
    std::array<const code_pages::UpperHalf*, kEncodingCount> p{};
    for (int i = 0; i < kEncodingCount; ++i)
      if (const ExpectedTable* t = expected_table(static_cast<EncodingId>(i))) p[static_cast<std::size_t>(i)] = t->page;
    return p;
  }();
  return (*pages[static_cast<std::size_t>(id)])[static_cast<std::size_t>(byte - 0x80)];
}

// The rules that keep a shared character from arriving as the target's own
// byte, each with what it makes of the character instead.
enum class Rule {
  none,
  look_alike,      // º and °, ∙ and · share a code: the target's lowest byte with it wins
  no_code,         // the character has no code: it travels as its raw or pivot byte
  other_code,      // a character with two codes, and the target holds the other one
  target_uncoded,  // Mac Turkish's spacing accents carry no code in the target
};

const char* rule_reason(Rule r) {
  switch (r) {
    case Rule::none: return "arrives as the target's own byte";
    case Rule::look_alike: return "shares its code with a look-alike; the target's lowest byte with that code wins";
    case Rule::no_code: return "has no symbol code (no-break space, soft hyphen, C1 control, Apple logo, Mac "
                               "Turkish accent): its byte takes the letter path";
    case Rule::other_code: return "has two codes and the target's table holds the other one: not found";
    case Rule::target_uncoded: return "Mac Turkish gives its spacing accents no code: not found";
  }
  return "?";
}

// The code that the rules give a byte, kept per table: the pair test asks
// for the same ones many times.
int code_at(EncodingId id, int byte) {
  static std::map<EncodingId, std::array<int, 128>> codes;
  auto [it, added] = codes.try_emplace(id);
  if (added)
    for (int b = 0x80; b < 0x100; ++b)
      it->second[static_cast<std::size_t>(b - 0x80)] = expected_code(character_at(id, b), id, b);
  return it->second[static_cast<std::size_t>(byte - 0x80)];
}

// The byte a character (or its look-alike) has in the target, lowest first.
std::vector<int> target_bytes_of(EncodingId target, char32_t c) {
  std::vector<int> bytes;
  for (int b = 0x80; b < 0x100; ++b)
    if (code_owner(character_at(target, b)) == code_owner(c)) bytes.push_back(b);
  return bytes;
}

// What the run writes for a byte that takes the letter path: the input byte
// when it decodes to 0, else its working byte encoded for the target.
int letter_path(EncodingId source, EncodingId target, std::uint8_t input) {
  const std::uint8_t pivot = source_to_pivot(source, input);
  if (pivot == 0) return input;
  const std::uint8_t out = pivot_to_target(target, pivot, true);
  return out == 0 ? input : out;
}

TEST(SharedCharacters, ArriveAsTheTargetsOwnByteUnlessARuleDecides) {
  std::map<Rule, int> seen;
  for (EncodingId s : table_encodings()) {
    for (EncodingId t : table_encodings()) {
      for (int b = 0x80; b < 0x100; ++b) {
        const char32_t c = character_at(s, b);
        if (c == 0) continue;
        const std::vector<int> in_target = target_bytes_of(t, c);
        if (in_target.empty()) continue;  // not a shared character
        const int own = [&] {
          for (int tb : in_target)
            if (character_at(t, tb) == c) return tb;
          return in_target.front();  // the target has only the look-alike
        }();
        const int code = code_at(s, b);
        auto what = [&] {
          return expected_table(s)->name + std::string(" ") + byte_text(b) + " " + cp_text(c) + " -> " +
                 expected_table(t)->name;
        };
        const Outcome out = convert_one(s, t, static_cast<std::uint8_t>(b));

        Rule rule = Rule::none;
        int expected = own;
        if (is_russian_letter(c)) {
          rule = Rule::none;  // travels as a pivot letter
        } else if (code == 0) {
          rule = Rule::no_code;
          expected = letter_path(s, t, static_cast<std::uint8_t>(b));
        } else {
          int lowest = 0;
          bool uncoded = false;
          for (int tb : in_target) {
            const int tcode = code_at(t, tb);
            if (tcode == code && lowest == 0) lowest = tb;
            if (tcode == 0) uncoded = true;
          }
          if (lowest != 0) {
            expected = lowest;
            if (lowest != own) rule = Rule::look_alike;
          } else {
            rule = uncoded ? Rule::target_uncoded : Rule::other_code;
          }
        }
        ++seen[rule];

        if (rule == Rule::other_code || rule == Rule::target_uncoded) {
          // The fallback decides what is written (or, without one, the raw
          // byte: Mac Roman's accents reach Mac Turkish at the same bytes by
          // that road); the lookup must not find the character.
          EXPECT_EQ(find_symbol(code, *symbol_code_table(t)), 0) << what() << ": " << rule_reason(rule);
          continue;
        }
        EXPECT_EQ(byte_text(out.byte), byte_text(expected)) << what() << ": " << rule_reason(rule);
        if (rule != Rule::no_code) {
          EXPECT_FALSE(out.string_pending) << what() << ": the target's own byte cancels any string";
        }
      }
    }
  }
  // Each rule above is needed: drop one and some pair would fail.
  for (Rule r : {Rule::none, Rule::look_alike, Rule::no_code, Rule::other_code, Rule::target_uncoded}) {
    EXPECT_GT(seen[r], 0) << rule_reason(r);
  }
}

// Named cases of the rules above.
TEST(SharedCharacters, NamedExceptions) {
  // º from Windows 1252 reaches Windows 1254 as °, which sits lower.
  EXPECT_EQ(convert_one(kWindows1252, kWindows1254, 0xBA).byte, 0xB0);
  // ° from Windows 1252 reaches DOS 850 as º, which sits lower there.
  EXPECT_EQ(convert_one(kWindows1252, kDos850, 0xB0).byte, 0xA7);
  // · of DOS 866 comes back as ∙; KOI8-R's likewise.
  EXPECT_EQ(convert_one(kDos866, kDos866, 0xFA).byte, 0xF9);
  EXPECT_EQ(convert_one(kKoi8r, kKoi8r, 0x9E).byte, 0x95);
  EXPECT_EQ(convert_one(kDos866, kWindows1251, 0xF9).byte, 0xB7);
  // № of DOS 866 has its own code, which no other table holds.
  EXPECT_NE(convert_one(kDos866, kWindows1251, 0xFC).byte, 0xB9);
  EXPECT_EQ(convert_one(kWindows1251, kDos855, 0xB9).byte, 0xEF);
  // ß: Windows 1252's is not DOS 850's, but Mac Roman's is.
  EXPECT_NE(convert_one(kWindows1252, kDos850, 0xDF).byte, 0xE1);
  EXPECT_EQ(convert_one(kMacRoman, kDos850, 0xA7).byte, 0xE1);
  EXPECT_EQ(convert_one(kWindows1254, kIso8859_9, 0xDF).byte, 0xDF);
}

// DOS text writes §, ¶, the bullet and the dash with control-range glyphs;
// from DOS 866 they reach every target that has the sign as its byte, the
// bullet as the middle dot and the dash as the em dash.
TEST(SharedCharacters, DosControlGlyphsReachTargetsThatHaveTheSign) {
  struct Glyph {
    std::uint8_t byte;
    char32_t sign;
  };
  const Glyph glyphs[] = {{0x15, 0x00A7}, {0x14, 0x00B6}, {0x07, 0x00B7}, {0x16, 0x2014}};
  int reached = 0;
  for (EncodingId t : table_encodings()) {
    for (const Glyph& g : glyphs) {
      const std::vector<int> bytes = target_bytes_of(t, g.sign);
      if (bytes.empty()) continue;
      const Outcome out = convert_one(kDos866, t, g.byte);
      EXPECT_EQ(byte_text(out.byte), byte_text(bytes.front()))
          << "DOS 866 " << byte_text(g.byte) << " -> " << expected_table(t)->name;
      EXPECT_FALSE(out.string_pending);
      ++reached;
    }
  }
  EXPECT_GT(reached, 40);
  // Windows 1251 has the bullet at 0x95 but the bullet byte carries the
  // middle dot's code, so 0xB7 is written.
  EXPECT_EQ(convert_one(kDos866, kWindows1251, 0x07).byte, 0xB7);
  EXPECT_EQ(convert_one(kDos866, kWindows1252, 0x16).byte, 0x97);
}

}  // namespace
}  // namespace recodia::test
