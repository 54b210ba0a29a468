// The table path must write exactly what the byte-at-a-time path writes, for
// every pair of encodings and every switch that changes what a byte becomes,
// across the block boundaries of the run and the buffers of both paths.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "convert/byte_processor.hpp"
#include "convert/outcome_table.hpp"
#include "cli/options.hpp"
#include "cli/run.hpp"
#include "platform/native.hpp"
#include "test_support.hpp"

namespace recodia {
namespace {

using test::Bytes;
using Switches = std::vector<std::string>;

constexpr std::size_t kBlock = 128 * 1024;      // what the run reads at a time
constexpr std::size_t kSinkBlock = 256 * 1024;  // what the reference path collects before writing
// Every single-byte source (not transliteration, a target only, nor UTF-8,
// which is read through its own path) with every target.
constexpr std::size_t kTargets = kEncodingCount;
constexpr std::size_t kPairs = (kEncodingCount - 2) * kTargets;
constexpr std::size_t kCombinations = 256 * 4;  // eight switches, and no line switch or one of three

std::string describe(const Switches& switches) { return testing::PrintToString(switches); }

// Settings exactly as the program makes them from these switches.
struct RunSettings {
  ConversionSettings settings;
  CommandLine command_line;
  explicit RunSettings(const Switches& switches) {
    parse_arguments(std::vector<std::string_view>(switches.begin(), switches.end()), settings, command_line);
    resolve_settings(settings, command_line);
  }
};

struct StringSink {
  Bytes out;
  void put(std::span<const std::uint8_t> bytes) { out.append(bytes.begin(), bytes.end()); }
};

// What the byte-at-a-time path writes; the first byte comes after a space.
Bytes reference_output(const RunSettings& setup, const Bytes& input) {
  ByteProcessor processor(setup.settings);
  StringSink sink;
  for (const char c : input) processor.process_byte(static_cast<std::uint8_t>(c), sink);
  return sink.out;
}

// Case n: below kPairs, a source and a target encoding with the default
// switches, each encoding by the first switch of the program's table that
// selects it (seen from two starting points, so that a switch that selects
// the default counts too); above, pairs taken in turn (both sides changing
// from one to the next) with each combination of the switches that change
// what a byte becomes, each line style included.
Switches test_case(std::size_t n) {
  static const auto [sources, targets] = [] {
    std::array<std::string, kEncodingCount> source, target;
    for (const Switch& sw : switch_table()) {
      const std::string_view text = sw.text;
      const RunSettings a({"-kx", "-tokx", std::string(text)}), b({"-macroman", "-tomacroman", std::string(text)});
      if (a.settings.source == b.settings.source && source[a.settings.source].empty()) source[a.settings.source] = text;
      if (a.settings.target == b.settings.target && target[a.settings.target].empty()) target[a.settings.target] = text;
    }
    return std::pair(source, target);
  }();
  static const char* const kSwitches[] = {"-32",  "-nstr", "-nta", "-src",  "-html",   "-dhcs",
                                          "-nqt", "-noenc", "-lf", "-crlf", "-noaltlf"};
  const std::size_t pair = n < kPairs ? n : n * 97 % kPairs;
  Switches switches = {sources[pair / kTargets + (pair / kTargets >= kTransliteration)], targets[pair % kTargets]};
  EXPECT_FALSE(switches[0].empty() || switches[1].empty()) << "an encoding without a switch: " << describe(switches);
  const std::size_t combination = n < kPairs ? 0 : (n - kPairs) % kCombinations;
  for (std::size_t f = 0; f < 8; ++f)
    if (combination & (1u << f)) switches.emplace_back(kSwitches[f]);
  if (combination >= 256) switches.emplace_back(kSwitches[7 + combination / 256]);
  return switches;
}

// glibc's names of charsets to write sample text in, by encoding id (it has no
// Mac Turkish; Mac Roman is its base).
constexpr const char* kCharsets[kEncodingCount] = {
    "CP866",     "CP866",      "CP1251", "KOI8-R", "CP855",      "MAC-CYRILLIC", "ISO-8859-5",
    "KOI-7",     "",           "ISO-IR-111", "KOI8-U", "MAC-UK", "CP1254",       "CP857",
    "MACINTOSH", "ISO-8859-9", "CP850",  "CP1252", "ISO-8859-1", "ISO-8859-15",  "MACINTOSH", "UTF-8"};

// Prose with the characters that take the interesting roads: quotes straight
// and typographic, dashes, signs, box drawing, the letters of the other
// Cyrillic, Turkish and West-European alphabets, and every kind of line end;
// in the source's charset, with glibc's stand-ins for what it lacks.
const Bytes& sample_text(EncodingId source) {
  static constexpr std::string_view kText =
      "Дорогой Пётр Ильич!\r\n\r\nПосылаю Вам «Записки» — те самые, о которых шла речь в письме № 12.\r\n"
      "Рукопись в трёх тетрадях, © автора; уплачено 15 руб. … ‘так’ и “этак” – §5 ¶ • · °±\r\n"
      "\"Береги её\", — сказал мне издатель, — 'второй такой нет'.\nВаш покорный слуга,\rЮ. Щербаков\r\r\n"
      "╔══════╤════╗\r\n║ Итог │ 42 ║\r\n╟──────┼────╢\r\n║ Всё  │ ░▒▓█ ║\r\n╚══════╧════╝\r\n"
      "Є є Ї ї І і Ґ ґ Ў ў Ђ ђ Љ љ Њ њ Ћ ћ Џ џ\r\nĞ ğ Ş ş İ ı Ç ç Ö ö Ü ü — Türkçe \"alıntı\" ve 'tırnak'.\r\n"
      "Éte à Noël: crème brûlée, señor, Straße, € 5, æ ø å ™ ® ¢ £ ¥ ¿ ¡ ½ ¼ ¾ µ\r\n"
      "\t<tag attr=\"x\">&amp;</tag> $ & # @ ` ~ ^ | \\ { } [ ] \x1A end\r\n";
  static std::map<EncodingId, Bytes> made;
  Bytes& text = made[source];
  if (text.empty()) text = test::iconv_convert("UTF-8", (kCharsets[source] + std::string("//TRANSLIT")).c_str(), kText);
  return text;
}

Bytes random_bytes(std::size_t size, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b;
  while (b.size() < size) b += static_cast<char>(rng());
  return b;
}

// Where two outputs first differ, for the failure message.
std::string first_difference(const Bytes& expected, const Bytes& actual) {
  const auto i = static_cast<std::size_t>(std::ranges::mismatch(expected, actual).in1 - expected.begin());
  return "sizes " + std::to_string(expected.size()) + " and " + std::to_string(actual.size()) + ", from byte " +
         std::to_string(i) + ": " + test::hex(expected.substr(i, 16)) + " expected, " + test::hex(actual.substr(i, 16));
}

// Both table loops against the reference, in uneven pieces that put piece
// boundaries at every place within the 64-byte steps of the wide loop, each
// into a buffer of exactly the room the table asks for, so that a write past
// it is caught (under the address sanitizer).
void expect_same_output(const Switches& switches, const Bytes& input) {
  const RunSettings setup(switches);
  const std::optional<OutcomeTable> table = OutcomeTable::build(setup.settings);
  // Otherwise the run would quietly take the reference path and nothing here would be tested.
  ASSERT_TRUE(table.has_value()) << describe(switches);
  const Bytes expected = reference_output(setup, input);
  static constexpr std::size_t kPieces[] = {1, 63, 64, 65, 2, 200, 1000, 127, 4096, 3, 130};
  for (const bool bytewise : {false, true}) {
    Bytes out;
    bool opening = true;
    const auto* data = reinterpret_cast<const std::uint8_t*>(input.data());
    for (std::size_t at = 0, k = 0; at < input.size(); at += kPieces[k++ % std::size(kPieces)]) {
      const std::size_t n = std::min(kPieces[k % std::size(kPieces)], input.size() - at);
      std::vector<std::uint8_t> buffer(table->capacity_for(n));
      const std::size_t written = bytewise ? table->convert_bytewise(data + at, n, buffer.data(), opening)
                                           : table->convert(data + at, n, buffer.data(), opening);
      EXPECT_LE(written, n * table->longest());
      out.append(reinterpret_cast<const char*>(buffer.data()), written);
    }
    EXPECT_TRUE(out == expected) << describe(switches) << (bytewise ? " byte-wise: " : ": ")
                                 << first_difference(expected, out);
  }
  EXPECT_TRUE(!table->copies_input() || expected == input) << describe(switches) << " is taken for a copy";
}

// Every case, the combinations of switches twice over, on sample text, every
// byte after each of a spread of bytes (spaces, line ends and control bytes,
// after which a quotation opens, letters, quotes and high bytes) and random
// bytes; and on nothing but the byte with the longest output, so that the
// last bytes of the room the table asks for are used.
TEST(FastPath, TableLoopsWriteWhatTheReferenceWrites) {
  for (std::size_t n = 0; n < kPairs + 2 * kCombinations; ++n) {
    const Switches switches = test_case(n);
    const RunSettings setup(switches);
    Bytes input = sample_text(setup.settings.source), longest(1, '\0');
    for (const char previous : std::string_view(" \n\r\0\x0E\x1F" "Az\"'\x80\xA0\xC0\xE1\xFF", 15))
      for (int x = 0; x < 256; ++x) input += {previous, static_cast<char>(x)};
    input += random_bytes(2048, static_cast<std::uint32_t>(n)) + sample_text(setup.settings.source);
    expect_same_output(switches, input);
    for (int b = 1; b < 256; ++b)
      if (reference_output(setup, {char(b)}).size() > reference_output(setup, longest).size()) longest = char(b);
    expect_same_output(switches, Bytes(1000, longest[0]));
  }
}

struct DiscardingConsole : platform::Console {
  void write(platform::Stream, std::string_view) override {}
  bool is_terminal(platform::Stream) override { return false; }
  bool uses_utf8() override { return false; }
};

// The program run on a file twice, through the reference and through the table.
void expect_same_file_output(const Switches& switches, const Bytes& input) {
  const test::TempDir dir;
  const std::string in = (dir / "in.txt").string(), out = (dir / "out.txt").string();
  test::write_file(in, input);
  Bytes outputs[2];
  for (const ConversionPath path : {ConversionPath::reference, ConversionPath::table}) {
    std::vector<std::string_view> arguments(switches.begin(), switches.end());
    arguments.insert(arguments.end(), {"-ni", in, out});
    DiscardingConsole console;
    EXPECT_EQ(run_program(arguments, platform::native_file_system(), console, path), 0) << describe(switches);
    outputs[path == ConversionPath::table] = test::read_file(out);
  }
  EXPECT_TRUE(outputs[1] == outputs[0]) << describe(switches) << ": " << first_difference(outputs[0], outputs[1]);
}

// Whole runs on inputs that put strings across the end of the reference
// path's output buffer, and quotation marks, CR LF pairs and bytes that write
// strings across the blocks that the run reads; half of them with the default
// switches, under which quotation marks become typographic ones.
TEST(FastPath, WholeRunsAcrossBlockAndBufferBoundaries) {
  for (std::uint32_t n = 0; n < 24; ++n) {
    const Switches switches = test_case(n < 12 ? n * 37 : kPairs + n * 389);
    const RunSettings setup(switches);
    char several = 1;  // the first byte that writes more than one byte, if any
    for (int b = 255; b > 0; --b)
      if (reference_output(setup, {char(b)}).size() > 1) several = char(b);
    // One-byte outputs up to one or two bytes before the buffer's end, then strings, across two blocks too.
    const std::size_t before = kSinkBlock - 1 - n % 2;
    Bytes input = Bytes(before, 'a') + Bytes(5, several);
    ASSERT_EQ(reference_output(setup, input.substr(0, before + 2)).substr(0, before + 2),
              Bytes(before, 'a') + reference_output(setup, Bytes(2, several)).substr(0, 2)) << describe(switches);
    for (std::mt19937 rng(n); input.size() < 6 * kBlock + 777;)
      input += sample_text(setup.settings.source) + random_bytes(rng() % 3000, rng());
    input.resize(6 * kBlock + 777);
    const auto put = [&](std::size_t at, std::string_view bytes) { input.replace(at, bytes.size(), bytes); };
    put(3 * kBlock - 1, " \"");       // an opening quote first in a block, its space last in the one before
    put(4 * kBlock - 1, "\r\n");      // a CR LF pair split between two blocks
    put(4 * kBlock - 3, "\"\r");      // and a quote closing before it
    put(4 * kBlock + 63, Bytes(3, several));  // strings around the wide loop's steps
    put(5 * kBlock - 1, "A\"");       // a closing quote first in a block
    put(6 * kBlock - 2, " \"'");      // a quote last in a block, an apostrophe after it
    expect_same_file_output(switches, input);
  }
}

}  // namespace
}  // namespace recodia
