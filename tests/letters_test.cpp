// The letter part of every encoding (source_to_pivot, pivot_to_target,
// reencode_string) byte by byte against glibc's iconv(3) with the KX, KOI-7
// and Windows 1251 particulars, and the 66 Russian letters between every pair
// of Cyrillic encodings, through the converter and through the program.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "convert/encodings.hpp"
#include "tables_support.hpp"

namespace recodia::test {
namespace {

// The Cyrillic encodings, with glibc's name for those whose letters it places
// as Recodia must (KX and KOI-7 follow their own rules).
struct Cyrillic {
  EncodingId id;
  const char* charset;
  const char* from_switch;
  const char* to_switch;
};
const Cyrillic kCyrillic[] = {
    {kKx, nullptr, "-kx", "-tokx"}, {kDos866, "CP866", "-dos", "-todos"}, {kWindows1251, "CP1251", "-win", "-towin"},
    {kKoi8r, "KOI8-R", "-koi8", "-tokoi8"}, {kDos855, "IBM855", "-855", "-to855"},
    {kMacCyrillic, "MAC-CYRILLIC", "-mac", "-tomac"}, {kIso8859_5, "ISO-8859-5", "-iso", "-toiso"},
    {kKoi7, nullptr, "-koi7", "-tokoi7"}, {kIsoIr111, "ISO-IR-111", "-iso_ir_111", "-toiso_ir_111"},
    {kKoi8u, "KOI8-U", "-koi8u", "-tokoi8u"}, {kMacUkrainian, "MAC-UK", "-macu", "-tomacu"},
};

const char* letter_charset(EncodingId id) {
  for (const Cyrillic& c : kCyrillic)
    if (c.id == id) return c.charset;
  return nullptr;
}

int replaced(int b, std::initializer_list<std::pair<int, int>> pairs) {
  for (const auto& [from, to] : pairs)
    if (b == from) return to;
  return b;
}

// The pivot byte of the Russian letter at a byte of a charset, or 0.
int pivot_of(const char* charset, int b) {
  const char32_t c = glibc_char(charset, b);
  return is_russian_letter(c) ? glibc_byte("CP866", c).value() : 0;
}

// A pivot byte written in a charset: its letter's byte, or itself.
int written_in(const char* charset, int p) {
  const char32_t c = glibc_char("CP866", p);
  return is_russian_letter(c) ? glibc_byte(charset, c).value() : p;
}

int expected_source_to_pivot(EncodingId id, int b) {
  if (id == kKx) return replaced(b, {{0xB0, 0x86}, {0xB1, 0xA6}});  // Ж and ж at the shade bytes
  if (id == kKoi7) {  // the 8-bit form: the high bit marks the Cyrillic half
    if (b >= 0xC0 && b <= 0xFE) return pivot_of("KOI8-R", b);
    if (b >= 0xA0 && b <= 0xBF) return b - 0x80;
    return b == 0x24 ? 0xFD : 0;  // KOI-7's currency sign where ASCII has the dollar
  }
  if (id == kWindows1251) return pivot_of("CP1251", b) ? pivot_of("CP1251", b) : b;
  return id == kDos866 || id >= kWindows1254 ? b : pivot_of(letter_charset(id), b);
}

int expected_pivot_to_target(EncodingId id, int p, bool special) {
  if (id == kKx) return replaced(p, {{0xF0, 0x85}, {0xF1, 0xA5}, {0x86, 0xB0}, {0xA6, 0xB1}});  // Ё as Е; Ж, ж
  if (id == kKoi7) {
    // First the letters that KOI-7 lacks: Ё ё Ъ Є є Ї ї Ў ў №.
    p = replaced(p, {{0xF0, 0x85}, {0xF1, 0xA5}, {0x9A, 0x9C}, {0xF2, 0x9D}, {0xF3, 0xED},
                     {0xF4, 0x49}, {0xF5, 0x69}, {0xF6, 0x93}, {0xF7, 0xE3}, {0xFC, 0x4E}});
    if (is_russian_letter(glibc_char("CP866", p))) return written_in("KOI8-R", p);
    return p >= 0x20 && p <= 0x3F ? p + 0x80 : p == 0xFD ? 0x24 : p;
  }
  // The DOS control bytes that stand for the bullet, pilcrow, section sign and dash.
  if (id == kWindows1251 && special && p < 0x20)
    return replaced(p, {{0x07, 0x95}, {0x14, 0xB6}, {0x15, 0xA7}, {0x16, 0xAD}});
  return letter_charset(id) ? written_in(letter_charset(id), p) : p;
}

TEST(Letters, EveryByteOfEveryEncodingBothWays) {
  for (int i = 0; i < kEncodingCount; ++i) {
    const auto id = static_cast<EncodingId>(i);
    for (int b = 0; b < 256; ++b) {
      const auto byte = static_cast<std::uint8_t>(b);
      if (id != kTransliteration) {
        EXPECT_EQ(byte_text(source_to_pivot(id, byte)), byte_text(expected_source_to_pivot(id, b)))
            << "from " << id << " " << byte_text(b);
      }
      for (bool special : {true, false})
        EXPECT_EQ(byte_text(pivot_to_target(id, byte, special)), byte_text(expected_pivot_to_target(id, b, special)))
            << "to " << id << " pivot " << byte_text(b) << (special ? "" : " -32");
    }
  }
}

// find_letter: the first index that holds the byte, or the byte itself.
TEST(Letters, FindLetterInEachPlainLetterTable) {
  const LetterTables& t = letter_tables();
  const std::pair<const LetterTable*, EncodingId> tables[] = {
      {&t.koi8r, kKoi8r}, {&t.dos855, kDos855}, {&t.mac_cyrillic, kMacCyrillic}, {&t.iso8859_5, kIso8859_5}};
  for (const auto& [table, id] : tables)
    for (int p = 0; p < 256; ++p)
      EXPECT_EQ(byte_text(find_letter(static_cast<std::uint8_t>(p), *table)),
                byte_text(expected_pivot_to_target(id, p, true)))
          << id << " " << byte_text(p);
}

// Replacement strings are pivot letters and ASCII: the letters are moved to
// the target's places (KOI-7 uses KOI8-R's), up to the terminating NUL.
TEST(Letters, ReencodeStringWritesTheTargetsLetters) {
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  for (int i = 0; i < kEncodingCount; ++i) {
    const auto id = static_cast<EncodingId>(i);
    const char* charset = id == kKoi7 ? "KOI8-R" : id == kWindows1251 ? nullptr : letter_charset(id);
    std::string buffer = all + '\0' + '\xE0';
    reencode_string(buffer.data(), id);
    for (int b = 1; b < 256; ++b)
      EXPECT_EQ(byte_text(static_cast<unsigned char>(buffer[b - 1])), byte_text(charset ? written_in(charset, b) : b))
          << "target " << id << " byte " << byte_text(b);
    EXPECT_EQ(buffer.substr(255), std::string("\0\xE0", 2)) << "past the NUL, target " << id;
  }
}

// ---- The Russian letters between the Cyrillic encodings ---------------------

// The bytes that a Cyrillic encoding reads as Russian letters, with their
// pivot bytes (KX reads Ж and ж at two places each; KOI-7 lacks Ъ, Ё and ё).
std::vector<std::pair<int, int>> letters_of(EncodingId id) {
  std::vector<std::pair<int, int>> out;
  for (int b = 0; b < 256; ++b) {
    const int p = expected_source_to_pivot(id, b);
    const char* charset = letter_charset(id);
    if (is_russian_letter(glibc_char("CP866", p)) && (!charset || is_russian_letter(glibc_char(charset, b))))
      out.push_back({b, p});
  }
  return out;
}

TEST(RussianLetters, EveryCyrillicPairThroughTheConverter) {
  for (const Cyrillic& s : kCyrillic) {
    const auto letters = letters_of(s.id);
    EXPECT_EQ(letters.size(), s.id == kKoi7 ? 63u : s.id == kKx ? 68u : 66u) << s.id;
    for (const Cyrillic& t : kCyrillic) {
      for (const auto& [b, p] : letters) {
        const Outcome out = convert_one(s.id, t.id, static_cast<std::uint8_t>(b));
        EXPECT_EQ(byte_text(out.byte), byte_text(expected_pivot_to_target(t.id, p, true)))
            << s.id << " -> " << t.id << " " << byte_text(b);
        EXPECT_FALSE(out.string_pending) << s.id << " -> " << t.id << " " << byte_text(b);
      }
    }
  }
}

// The whole program, for a ring of pairs with every Cyrillic encoding once as
// the source and once as the target.
TEST(RussianLetters, ThroughTheProgram) {
  for (std::size_t i = 0; i < std::size(kCyrillic); ++i) {
    const Cyrillic& s = kCyrillic[i];
    const Cyrillic& t = kCyrillic[(i + 1) % std::size(kCyrillic)];
    Bytes in, expected;
    for (const auto& [b, p] : letters_of(s.id)) {
      in += static_cast<char>(b);
      expected += static_cast<char>(expected_pivot_to_target(t.id, p, true));
    }
    EXPECT_EQ(hex(convert({s.from_switch, t.to_switch}, in)), hex(expected)) << s.from_switch << " " << t.to_switch;
  }
}

// The KX and KOI-7 particulars beyond the letters, worked out by hand.
TEST(RussianLetters, Koi7AndKxParticularsThroughTheProgram) {
  const struct { std::vector<std::string> switches; Bytes in, out; } cases[] = {
      // Ё ж , space 1 № $: Ё as Е; comma, space, digit and dollar move to the
      // Cyrillic half; № as the Latin N.
      {{"-tokoi7"}, "\xF0\xA6\x2C\x20\x31\xFC\x24", "\xE5\xD6\xAC\xA0\xB1\x4E\xA4"},
      {{"-koi8", "-tokoi7"}, "\x2C\xFF", "\x2C\xF8"},  // a KOI8-R comma has no pivot byte; Ъ as Ь
      {{"-koi7", "-todos"}, "\x24\xA4\x41\xFF", "\xFD\x24\x41\xFF"},  // ¤ and $; 0x41, 0xFF mean nothing
      {{"-kx", "-towin"}, "\xB0\xB1\x86\xA6", "\xC6\xE6\xC6\xE6"},  // Ж, ж read at both places
      // By default DOS 866 to KX: Ж, ж at the shade bytes, Ё as Е; the shades
      // have codes, and KX no table, so they take their fallback.
      {{}, "\x86\xA6\xF0\xF1\xB0\xB1", "\xB0\xB1\x85\xA5++"},
  };
  for (const auto& c : cases) EXPECT_EQ(hex(convert(c.switches, c.in)), hex(c.out)) << hex(c.in);
}

}  // namespace
}  // namespace recodia::test
