// The fast paths against the plain reference: the table of every byte's
// outcome (through each kernel that the processor runs) for every pair of
// encodings and every switch that changes what a byte becomes, and the fast
// UTF-8 decoding, with the input cut at every place; and ill-formed UTF-8
// with what it gives.
#include <algorithm>
#include <iostream>
#include <random>

#include "convert/outcome_table.hpp"
#include "convert/registry.hpp"
#include "support.hpp"

namespace recodia::test {
namespace {

// Uneven pieces, so that their boundaries fall at every place of the kernels' 16-, 32- and 64-byte steps.
constexpr std::size_t kPieces[] = {1, 63, 64, 65, 2, 200, 1000, 127, 4096, 3, 130, 17, 31, 33};

// Names, once per test, the kernels that this processor cannot run and that
// are therefore not tested here.
void say_which_kernels_are_not_run() {
  std::string missing;
  for (const kernels::Kernel k : {kernels::Kernel::scalar, kernels::Kernel::portable, kernels::Kernel::avx2,
                                  kernels::Kernel::avx512, kernels::Kernel::neon}) {
    const auto offered = kernels::available();
    if (std::find(offered.begin(), offered.end(), k) == offered.end()) missing.append(" ").append(kernels::name_of(k));
  }
  if (!missing.empty()) std::cout << "[ NOTE     ] kernels this processor cannot run, not tested here:" << missing << "\n";
}

void expect_table_as_reference(const std::vector<std::string>& switches, const Bytes& input) {
  const auto s = resolved(switches);
  // Otherwise the run would quietly take the reference path and nothing would be tested here.
  ASSERT_TRUE(OutcomeTable::build(s).has_value()) << testing::PrintToString(switches);
  const Bytes reference = convert_in_pieces(s, input, {}, ConversionPath::reference).out;
  for (const kernels::Kernel k : kernels::available())
    EXPECT_TRUE(same_bytes(reference, convert_in_pieces(s, input, kPieces, ConversionPath::table, k).out))
        << testing::PrintToString(switches) << " " << kernels::name_of(k);
}

// Every single-byte source to every target, first with the default switches,
// then with each combination of the eight switches that change a byte and
// the line styles, twice over: on prose (the samples, with their quotes,
// dashes and letters of several alphabets, and CR LF line ends), every byte
// after each of a spread of bytes (after which a quotation opens or closes),
// and random bytes.
TEST(FastPath, TableAsTheReferenceForEverySwitch) {
  say_which_kernels_are_not_run();
  std::vector<const Encoding*> sources;
  std::vector<std::string> targets;
  for (const Encoding& e : kEncodings) {
    if (is_single_byte_source(e)) sources.push_back(&e);
    if (is_target(e)) targets.emplace_back(e.target_switches[0]);
  }
  const std::size_t pairs = sources.size() * targets.size(), combinations = 256 * 4;
  const char* const flags[] = {"-32", "-nstr", "-nta", "-src", "-html", "-dhcs", "-nqt", "-noenc"};
  const char* const lines[] = {"-ni", "-lf", "-crlf", "-noaltlf"};
  const Bytes prose = data_file("ukrainian.txt") + data_file("serbian.txt") + data_file("turkish.txt") + data_file("french.txt");
  std::vector<Bytes> texts;  // each source's: the prose, then every byte after each of the spread
  for (const Encoding* source : sources) {
    Bytes& text = texts.emplace_back(convert_in_pieces(resolved({"-utf8", std::string(source->target_switches[0]), "-nta", "-crlf"}), prose).out);
    for (const char before : std::string_view(" \n\r\0\x0E\x1F" "Az\"'\x80\xA0\xC0\xE1\xFF", 15))
      for (int x = 0; x < 256; ++x) text += {before, static_cast<char>(x)};
  }
  for (std::size_t n = 0; n < pairs + 2 * combinations; ++n) {
    const std::size_t pair = n < pairs ? n : n * 97 % pairs, combination = n < pairs ? 0 : (n - pairs) % combinations;
    const Encoding& source = *sources[pair / targets.size()];
    std::vector<std::string> switches = {std::string(source.source_switches[0]), targets[pair % targets.size()]};
    for (std::size_t f = 0; f < 8; ++f)
      if (combination & (1u << f)) switches.emplace_back(flags[f]);
    switches.emplace_back(lines[combination / 256]);
    Bytes input = texts[pair / targets.size()];
    std::mt19937 rng(static_cast<std::uint32_t>(n));
    for (int i = 0; i < 2048; ++i) input += static_cast<char>(rng());
    expect_table_as_reference(switches, input + input.substr(0, 3000));
  }
}

// Text with everything that a decoder can trip over: ASCII with CR LF pairs
// and quotation marks, two-, three- and four-byte characters, ill-formed
// bytes of every kind, a byte-order mark first and inside. `rare` in a
// hundred pieces are taken from all of these, the others from ASCII and the
// two-byte characters, as in running text.
Bytes random_utf8(std::size_t pieces, std::uint32_t seed, unsigned rare = 100) {
  static const char* const kUtf8Pieces[] = {
      "a", " ", "\r\n", "\"", "'", "\n", "\r", "Z",  // ASCII
      "\xD0\x96", "\xD1\x8F", "\xC2\xAB", "\xC3\xA9", "\xD0\x81",  // Ж я « é Ё
      "\xE2\x80\x94", "\xE2\x82\xAC", "\xE2\x95\x94", "\xE2\x84\x96", "\xEF\xBB\xBF",  // — € ╔ № BOM
      "\xF0\x9F\x98\x80", "\xF0\x90\x8D\x88",  // emoji, Gothic
      "\x80", "\xBF", "\xC0\xAF", "\xC1", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xF5", "\xFF",
      "\xE2\x82", "\xF0\x9F\x98", "\xC3",  // cut short
  };
  std::mt19937 rng(seed);
  Bytes text = "\xEF\xBB\xBF";
  for (std::size_t i = 0; i < pieces; ++i) text += kUtf8Pieces[rng() % (rng() % 100 < rare ? std::size(kUtf8Pieces) : 13)];
  return text;
}

// The fast decoding writes and counts what the plain one does wherever the
// input is cut: at every place of a short text, and in uneven pieces of a long one.
TEST(FastPath, Utf8DecodingAsThePlainOneAtEveryCut) {
  say_which_kernels_are_not_run();
  for (const std::vector<std::string>& switches : std::vector<std::vector<std::string>>{
           {"-utf8", "-tokoi8"}, {"-utf8", "-toutf8", "-crlf"}, {"-utf8", "-to1252", "-html"},
           {"-utf8", "-totl", "-nqt"}, {"-utf8", "-tokoi7", "-nstr", "-crlf"}, {"-utf8", "-tokx", "-32"},
           {"-utf8", "-tow"}}) {
    SCOPED_TRACE(testing::PrintToString(switches));
    const auto s = resolved(switches);
    const Bytes text = random_utf8(60, 7), long_text = random_utf8(20000, 11) + random_utf8(20000, 13, 3);
    const Conversion plain = convert_in_pieces(s, text, {}, ConversionPath::reference);
    std::vector<std::size_t> pieces;
    for (std::mt19937 rng(3); pieces.size() < 400;) pieces.push_back(rng() % 700);
    const Conversion long_plain = convert_in_pieces(s, long_text, {}, ConversionPath::reference);
    for (const kernels::Kernel k : kernels::available()) {
      SCOPED_TRACE(kernels::name_of(k));
      for (std::size_t cut = 1; cut <= text.size(); ++cut) {
        const std::size_t cuts[] = {cut, text.size()};
        const Conversion fast = convert_in_pieces(s, text, cuts, ConversionPath::table, k);
        ASSERT_TRUE(same_bytes(plain.out, fast.out) && plain.replaced == fast.replaced) << "cut at " << cut;
      }
      const Conversion long_fast = convert_in_pieces(s, long_text, pieces, ConversionPath::table, k);
      EXPECT_TRUE(same_bytes(long_plain.out, long_fast.out) && long_plain.replaced == long_fast.replaced);
    }
  }
}

// Every scalar value from the space up, written in UTF-8 by iconv, is read and
// written back as it was, with nothing replaced, by the fast decoding and the plain one.
TEST(FastPath, EveryScalarValueThroughUtf8AsIconvWritesItAndIntoEveryTarget) {
  Bytes utf32;
  for (char32_t c = 0x20; c <= 0x10FFFF; c = c == 0xD7FF ? 0xE000 : c + 1)
    utf32 += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8 & 0xFF), static_cast<char>(c >> 16), 0};
  const Bytes text = iconv_convert("UTF-32LE", "UTF-8", utf32);
  const auto s = resolved({"-utf8", "-toutf8", "-noaltlf"});
  for (const ConversionPath path : {ConversionPath::table, ConversionPath::reference}) {
    const Conversion run = convert_in_pieces(s, text, kPieces, path);
    EXPECT_TRUE(same_bytes(text, run.out));
    EXPECT_EQ(run.replaced, 0u);
  }
  // Into every other target, plain and with "-html" (the longest substitutes),
  // the fast decoding, which keeps each character's outcome once worked out,
  // writes what the plain one does: the Basic Multilingual Plane whole, and
  // every 61st character beyond it, in an order that meets each character's
  // neighbours in no particular order.
  std::vector<Bytes> some;
  for (std::size_t i = 0; i < utf32.size(); i += 4)
    if (utf32[i + 2] == 0 || i % (61 * 4) == 0) some.push_back(utf32.substr(i, 4));
  std::shuffle(some.begin(), some.end(), std::mt19937(5));
  Bytes shuffled;
  for (const Bytes& c : some) shuffled += c;
  const Bytes sample = iconv_convert("UTF-32LE", "UTF-8", shuffled);
  for (const Encoding& target : kEncodings) {
    if (!is_target(target)) continue;
    for (const char* mode : {"-noaltlf", "-html"}) {
      const auto into = resolved({"-utf8", std::string(target.target_switches[0]), mode});
      EXPECT_TRUE(same_bytes(convert_in_pieces(into, sample, {}, ConversionPath::reference).out,
                             convert_in_pieces(into, sample, kPieces).out))
          << target.name << " " << mode;
    }
  }
}

// Each maximal ill-formed part becomes one replacement character, counted
// (tests/data/utf8-ill-formed.txt); in a single-byte target it is written as
// a question mark, like one read from well-formed text.
TEST(FastPath, IllFormedUtf8AndWhatItGives) {
  const auto into_utf8 = resolved({"-utf8", "-toutf8", "-noaltlf"}), to_koi8 = resolved({"-utf8", "-tokoi8", "-noaltlf"});
  const auto rows = data_rows("utf8-ill-formed.txt");
  for (const auto& row : rows) {
    const Conversion run = convert_in_pieces(into_utf8, unhex(row[0]));
    EXPECT_EQ(hex(run.out), hex(unhex(row[1]))) << row[0];
    EXPECT_EQ(run.replaced, std::stoull(row[2])) << row[0];
    EXPECT_EQ(hex(convert_in_pieces(to_koi8, unhex(row[0])).out), hex(convert_in_pieces(to_koi8, run.out).out)) << row[0];
  }
  EXPECT_EQ(convert_in_pieces(to_koi8, "\xEF\xBF\xBD").out, "?");
  EXPECT_GT(rows.size(), 15u);
}

}  // namespace
}  // namespace recodia::test
