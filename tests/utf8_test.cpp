// UTF-8 in and out: every byte of every code page into UTF-8 as glibc's iconv
// writes it and back again; ill-formed UTF-8 and what it gives; and the fast
// decoding against the plain one, with the input cut at every place.
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>

#include "convert/stream_converter.hpp"
#include "rule.hpp"

namespace recodia::test {
namespace {

struct Output {
  Bytes out;
  std::uint64_t replaced;
};

// Converts `input`, given in blocks of the sizes listed (the rest in the last).
Output convert_in_blocks(const ConversionSettings& s, const Bytes& input, std::vector<std::size_t> blocks = {},
                      ConversionPath path = ConversionPath::table) {
  StreamConverter converter(s, path);
  Output run;
  auto take = [&](std::span<const std::uint8_t> bytes) { run.out.append(bytes.begin(), bytes.end()); };
  const auto* data = reinterpret_cast<const std::uint8_t*>(input.data());
  std::size_t at = 0;
  for (std::size_t block : blocks) {
    block = std::min(block, input.size() - at);
    take(converter.convert({data + at, block}));
    at += block;
  }
  take(converter.convert({data + at, input.size() - at}));
  take(converter.finish());
  run.replaced = converter.replaced();
  return run;
}

bool printable(Character c) { return c >= 0x20 && c != 0x7F && !(c >= 0x80 && c < 0xA0) && c != kNoCharacter; }

// glibc's name of each code page, and the bytes where Recodia reads it
// otherwise on purpose (the same as the code page tests list).
struct GlibcPage {
  EncodingId id;
  const char* charset;  // nullptr: glibc lacks it
  std::vector<int> differences;
};
const GlibcPage kPages[] = {
    {kKx, "CP866", {0xB0, 0xB1}},  // Ж ж where DOS 866 has two shades
    {kDos866, "CP866", {}}, {kWindows1251, "CP1251", {}}, {kKoi8r, "KOI8-R", {}}, {kDos855, "IBM855", {}},
    {kMacCyrillic, "MAC-CYRILLIC", {0xA2, 0xB6}},  // Apple's Cyrillic before Mac OS 9: ¢ and ∂
    {kIso8859_5, "ISO-8859-5", {}},
    {kKoi7, nullptr, {}},  // glibc's KOI-7 is the 7-bit Cyrillic set alone
    {kIsoIr111, "ISO-IR-111", {}}, {kKoi8u, "KOI8-U", {}}, {kMacUkrainian, "MAC-UK", {}},
    {kWindows1254, "CP1254", {}}, {kDos857, "IBM857", {}}, {kMacTurkish, nullptr, {}},
    {kIso8859_9, "ISO-8859-9", {}}, {kDos850, "IBM850", {}}, {kWindows1252, "CP1252", {}},
    {kIso8859_1, "CP1252", {}},  // read with the Windows 1252 signs at 0x80..0x9F
    {kIso8859_15, "ISO-8859-15", {}},
    {kMacRoman, "MACINTOSH", {0xC6}},  // the increment sign, where glibc has Greek capital delta
};

// Into UTF-8 as iconv writes it, and from UTF-8 back to the very byte, for
// every printable byte; KX writes Ж ж at 0xB0 0xB1 and Ё ё as Е е, KOI-7 the
// punctuation of UTF-8 in its Latin half.
TEST(Utf8, EveryCodePageIntoUtf8AsIconvWritesItAndBack) {
  int compared = 0;
  for (const GlibcPage& page : kPages) {
    const Encoding& e = encoding(page.id);
    const auto into = resolved({e.source_switches[0], "-toutf8", "-nta", "-noaltlf"});
    const auto back = resolved({"-utf8", e.target_switches[0], "-nta", "-noaltlf"});
    for (int b = 0x20; b < 0x100; ++b) {
      const Character c = read_page(page.id).characters[static_cast<std::size_t>(b)];
      if (!printable(c) || (c >= 0xE000 && c < 0xF900)) continue;  // the Apple logo is private use
      const Bytes byte(1, static_cast<char>(b));
      const Bytes utf8 = convert_in_blocks(into, byte).out;
      const bool listed = std::ranges::count(page.differences, b) != 0;
      if (page.charset && !listed) {
        Bytes theirs;
        try {
          theirs = iconv_convert(page.charset, "UTF-8", byte);
        } catch (const std::runtime_error&) {  // iconv leaves it undefined
        }
        if (!theirs.empty()) {
          EXPECT_EQ(hex(utf8), hex(theirs)) << e.name << " " << b;
        }
        ++compared;
      }
      const bool moves = (page.id == kKx && (b == 0x86 || b == 0xA6 || b == 0xF0 || b == 0xF1)) ||
                         (page.id == kKoi7 && b >= 0xA0 && b < 0xC0 && b != 0xA4);
      EXPECT_EQ(hex(convert_in_blocks(back, utf8).out) == hex(byte), !moves) << e.name << " " << b << " back";
    }
  }
  EXPECT_GT(compared, 3000);
}

TEST(Utf8, IllFormedSequencesAndWhatTheyGive) {
  std::ifstream file(std::string(RECODIA_SOURCE_DIR) + "/tests/data/utf8-ill-formed.txt");
  const auto s = resolved({"-utf8", "-toutf8", "-noaltlf"});
  const auto to_koi8 = resolved({"-utf8", "-tokoi8", "-noaltlf"});
  int cases = 0;
  for (std::string line; std::getline(file, line);) {
    if (line.empty() || line.starts_with("#")) continue;
    std::istringstream fields(line);
    std::string input, output;
    std::uint64_t replaced = 0;
    fields >> input >> output >> replaced;
    const Output run = convert_in_blocks(s, unhex(input));
    EXPECT_EQ(hex(run.out), hex(unhex(output))) << input;
    EXPECT_EQ(run.replaced, replaced) << input;
    // In a single-byte target the replacement character is written like one
    // read from well-formed text: a question mark.
    EXPECT_EQ(hex(convert_in_blocks(to_koi8, unhex(input)).out), hex(convert_in_blocks(to_koi8, run.out).out)) << input;
    EXPECT_EQ(std::ranges::count(convert_in_blocks(to_koi8, "\xEF\xBF\xBD").out, '?'), 1);
    ++cases;
  }
  EXPECT_GT(cases, 15);
}

// Nothing is replaced silently: the run says how many sequences it replaced.
TEST(Utf8, ReplacementsAreCountedOnStandardError) {
  const TempDir dir;
  write_file(dir / "in.txt", "a\x80" "b\xE2\x82");
  const RunResult run = run_recodia({"-utf8", "-tokoi8", "-ni", "in.txt", "out.txt"}, dir.path());
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(read_file(dir / "out.txt"), "a?b?");
  EXPECT_NE(run.err.find("'in.txt': 2 ill-formed UTF-8 sequences"), std::string::npos) << run.err;
}

// Text with everything that a decoder can trip over: ASCII with CR LF pairs
// and quotation marks, two-, three- and four-byte characters, and ill-formed
// bytes of every kind, with a byte-order mark first and one inside; `rare`
// in a hundred pieces are taken from all of these, the others from ASCII and
// the two-byte characters, as in running text.
Bytes random_utf8(std::size_t pieces, std::uint32_t seed, unsigned rare = 100) {
  static const char* const kPieces[] = {
      "a", " ", "\r\n", "\"", "'", "\n", "\r", "Z",  // ASCII
      "\xD0\x96", "\xD1\x8F", "\xC2\xAB", "\xC3\xA9", "\xD0\x81",  // Ж я « é Ё
      "\xE2\x80\x94", "\xE2\x82\xAC", "\xE2\x95\x94", "\xE2\x84\x96", "\xEF\xBB\xBF",  // — € ╔ № BOM
      "\xF0\x9F\x98\x80", "\xF0\x90\x8D\x88",  // emoji, Gothic
      "\x80", "\xBF", "\xC0\xAF", "\xC1", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xF5", "\xFF",
      "\xE2\x82", "\xF0\x9F\x98", "\xC3",  // cut short
  };
  std::mt19937 rng(seed);
  Bytes text = "\xEF\xBB\xBF";
  for (std::size_t i = 0; i < pieces; ++i) text += kPieces[rng() % (rng() % 100 < rare ? std::size(kPieces) : 13)];
  return text;
}

// The fast decoding writes what the plain one writes, and counts alike,
// wherever the input is cut between blocks: at every place of a short text,
// and in uneven blocks of a long one.
TEST(Utf8, FastDecodingAsThePlainOneAtEveryBlockBoundary) {
  const std::vector<std::vector<std::string_view>> runs = {
      {"-utf8", "-tokoi8"}, {"-utf8", "-toutf8", "-crlf"}, {"-utf8", "-to1252", "-html"},
      {"-utf8", "-totl", "-nqt"}, {"-utf8", "-tokoi7", "-nstr", "-crlf"}, {"-utf8", "-tokx", "-32"}};
  for (const auto& switches : runs) {
    const auto s = resolved(switches);
    const Bytes text = random_utf8(60, 7);
    const Output plain = convert_in_blocks(s, text, {}, ConversionPath::reference);
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
      const Output fast = convert_in_blocks(s, text, {cut});
      ASSERT_EQ(hex(fast.out), hex(plain.out)) << testing::PrintToString(switches) << " cut at " << cut;
      ASSERT_EQ(fast.replaced, plain.replaced) << testing::PrintToString(switches) << " cut at " << cut;
    }
    const Bytes long_text = random_utf8(20000, 11) + random_utf8(20000, 13, 3);
    std::vector<std::size_t> blocks;
    for (std::mt19937 rng(3); blocks.size() < 400;) blocks.push_back(rng() % 700);
    const Output long_plain = convert_in_blocks(s, long_text, {}, ConversionPath::reference);
    const Output long_fast = convert_in_blocks(s, long_text, blocks);
    EXPECT_TRUE(long_fast.out == long_plain.out) << testing::PrintToString(switches);
    EXPECT_EQ(long_fast.replaced, long_plain.replaced);
  }
}

}  // namespace
}  // namespace recodia::test
