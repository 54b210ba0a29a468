// The table path must write exactly what the byte-at-a-time path writes, for
// every pair of encodings and every switch that changes what a byte becomes,
// across the block boundaries of the run and the buffers of both paths.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <map>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli/byte_output.hpp"
#include "cli/options.hpp"
#include "cli/run.hpp"
#include "platform/console.hpp"
#include "platform/files.hpp"
#include "test_support.hpp"

namespace recodia {
namespace {

using test::Bytes;
using test::hex;

constexpr std::size_t kBlock = 128 * 1024;  // what the run reads at a time
constexpr std::size_t kSinkBlock = 256 * 1024;  // what the reference path collects before writing

struct Encoding {
  const char* source;  // nullptr: a target only
  const char* target;
  const char* text_charset;  // glibc's name of a charset to write sample text in
};

// Every encoding, in id order; the test below checks that these switches
// really select ids 0..20.
const std::vector<Encoding>& encodings() {
  static const std::vector<Encoding> all = {
      {"-kx", "-tokx", "CP866"},
      {"-866", "-to866", "CP866"},
      {"-w", "-towin", "CP1251"},
      {"-koi8", "-tokoi8", "KOI8-R"},
      {"-855", "-to855", "CP855"},
      {"-mac", "-tomac", "MAC-CYRILLIC"},
      {"-iso", "-toiso", "ISO-8859-5"},
      {"-koi7", "-tokoi7", "KOI-7"},
      {nullptr, "-totl", nullptr},
      {"-isoir111", "-toisoir111", "ISO-IR-111"},
      {"-koi8u", "-tokoi8u", "KOI8-U"},
      {"-macu", "-tomacu", "MAC-UK"},
      {"-1254", "-to1254", "CP1254"},
      {"-857", "-to857", "CP857"},
      {"-macturk", "-tomacturk", "MACINTOSH"},  // glibc has no Mac Turkish; Mac Roman is its base
      {"-iso8859_9", "-toiso8859_9", "ISO-8859-9"},
      {"-850", "-to850", "CP850"},
      {"-1252", "-to1252", "CP1252"},
      {"-iso8859_1", "-toiso8859_1", "ISO-8859-1"},
      {"-iso8859_15", "-toiso8859_15", "ISO-8859-15"},
      {"-macroman", "-tomacroman", "MACINTOSH"},
  };
  return all;
}

using Switches = std::vector<std::string>;

std::string describe(const Switches& switches) {
  std::string s;
  for (const auto& w : switches) s += (s.empty() ? "" : " ") + w;
  return s;
}

// Settings exactly as the program makes them from these switches.
struct RunSettings {
  ConversionSettings settings;
  CommandLine command_line;
  explicit RunSettings(const Switches& switches) {
    const std::vector<std::string_view> arguments(switches.begin(), switches.end());
    parse_arguments(arguments, settings, command_line);
    resolve_settings(settings, command_line);
  }
};

struct StringSink {
  Bytes out;
  void put(std::uint8_t b) { out.push_back(static_cast<char>(b)); }
  void put_string(const char* s) { out += s; }
};

Bytes reference_output(const RunSettings& setup, std::string_view input) {
  ByteProcessor processor(setup.settings, setup.command_line.no_encoding);
  StringSink sink;
  for (const char c : input) processor.process_byte(static_cast<std::uint8_t>(c), sink);
  return sink.out;
}

// What one byte writes after a space, on its own.
Bytes reference_outcome(const RunSettings& setup, std::uint8_t b) {
  ByteProcessor processor(setup.settings, setup.command_line.no_encoding);
  StringSink sink;
  processor.process_byte(b, sink);
  return sink.out;
}

// Through the table in pieces of these sizes, in turn, each into a buffer of
// exactly the room the table asks for, so that a write past it is caught
// (under the address sanitizer).
Bytes table_output(const OutcomeTable& table, std::string_view input, std::span<const std::size_t> pieces,
                   bool bytewise) {
  Bytes out;
  bool opening = true;
  const auto* data = reinterpret_cast<const std::uint8_t*>(input.data());
  for (std::size_t at = 0, k = 0; at < input.size(); ++k) {
    const std::size_t n = std::min(pieces[k % pieces.size()], input.size() - at);
    std::vector<std::uint8_t> buffer(table.capacity_for(n));
    const std::size_t written = bytewise ? table.convert_bytewise(data + at, n, buffer.data(), opening)
                                         : table.convert(data + at, n, buffer.data(), opening);
    EXPECT_LE(written, n * table.longest());
    out.append(reinterpret_cast<const char*>(buffer.data()), written);
    at += n;
  }
  return out;
}

// Where two outputs first differ, for the failure message.
std::string first_difference(const Bytes& expected, const Bytes& actual) {
  std::size_t i = 0;
  while (i < expected.size() && i < actual.size() && expected[i] == actual[i]) ++i;
  const auto around = [&](const Bytes& b) { return hex(b.substr(i < 8 ? 0 : i - 8, 24)); };
  return "sizes " + std::to_string(expected.size()) + " and " + std::to_string(actual.size()) +
         ", first difference at output byte " + std::to_string(i) + ": expected ..." + around(expected) +
         " got ..." + around(actual);
}

// Compares both table loops with the reference, in uneven pieces that put
// piece boundaries at every place within the 64-byte steps of the wide loop.
void expect_same_output(const Switches& switches, std::string_view input) {
  const RunSettings setup(switches);
  const std::optional<OutcomeTable> table = OutcomeTable::build(setup.settings, setup.command_line.no_encoding);
  // Every byte's outcome fits an entry for these switches: otherwise the run
  // would quietly take the reference path and nothing here would be tested.
  ASSERT_TRUE(table.has_value()) << describe(switches);
  const Bytes expected = reference_output(setup, input);
  static constexpr std::size_t kPieces[] = {1, 63, 64, 65, 2, 200, 1000, 127, 4096, 3, 130};
  const Bytes wide = table_output(*table, input, kPieces, false);
  EXPECT_TRUE(wide == expected) << describe(switches) << ": " << first_difference(expected, wide);
  const Bytes bytewise = table_output(*table, input, kPieces, true);
  EXPECT_TRUE(bytewise == expected) << describe(switches) << " (byte-wise): " << first_difference(expected, bytewise);
  if (table->copies_input()) {
    EXPECT_TRUE(expected == input) << describe(switches);
  }
}

Bytes random_bytes(std::size_t size, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b(size, '\0');
  for (char& c : b) c = static_cast<char>(rng() & 0xFF);
  return b;
}

// Every byte after each of a spread of bytes: spaces, line ends and control
// bytes (a quotation opens after them), letters, quotes and high bytes.
Bytes every_byte_after_each_context() {
  Bytes b;
  for (const int previous : std::initializer_list<int>{0x20, 0x0A, 0x0D, 0x00, 0x0E, 0x1F, 'A', 'z', '"', '\'', 0x80, 0xA0, 0xC0, 0xE1, 0xFF}) {
    for (int x = 0; x < 256; ++x) {
      b.push_back(static_cast<char>(previous));
      b.push_back(static_cast<char>(x));
    }
  }
  return b;
}

// Prose with the characters that take the interesting roads: quotes straight
// and typographic, dashes, signs, box drawing, the letters of the other
// Cyrillic, Turkish and West-European alphabets, and every kind of line end.
constexpr std::string_view kSampleText =
    "Дорогой Пётр Ильич!\r\n\r\n"
    "Посылаю Вам «Записки» — те самые, о которых шла речь в письме № 12.\r\n"
    "Рукопись в трёх тетрадях, © автора; переписчику уплачено 15 руб. … ‘так’ и “этак” – §5 ¶ • · °±\r\n"
    "\"Береги её\", — сказал мне издатель, — 'второй такой нет'.\n"
    "Ваш покорный слуга,\rЮ. Щербаков\r\r\n"
    "╔══════╤════╗\r\n║ Итог │ 42 ║\r\n╟──────┼────╢\r\n║ Всё  │ ░▒▓█ ║\r\n╚══════╧════╝\r\n"
    "Є є Ї ї І і Ґ ґ Ў ў Ђ ђ Љ љ Њ њ Ћ ћ Џ џ\r\n"
    "Ğ ğ Ş ş İ ı Ç ç Ö ö Ü ü — Türkçe metin \"alıntı\" ve 'tırnak'.\r\n"
    "Éte à Noël: crème brûlée, señor, Straße, € 5, æ ø å ™ ® ¢ £ ¥ ¿ ¡ ½ ¼ ¾ µ\r\n"
    "\t<tag attr=\"x\">&amp;</tag> $ & # @ ` ~ ^ | \\ { } [ ] \x1A end\r\n";

// The sample text in one charset: each character that the charset lacks is
// left out.
Bytes sample_text(const char* charset) {
  static std::map<std::string, Bytes> made;
  const auto found = made.find(charset);
  if (found != made.end()) return found->second;
  Bytes text;
  for (std::size_t i = 0; i < kSampleText.size();) {
    const auto lead = static_cast<unsigned char>(kSampleText[i]);
    const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    const std::string_view character = kSampleText.substr(i, length);
    i += length;
    if (length == 1) {
      text += character;
      continue;
    }
    try {
      text += test::iconv_convert("UTF-8", charset, character);
    } catch (const std::exception&) {
      // not in this charset
    }
  }
  made.emplace(charset, text);
  return text;
}

Bytes text_of_source(const Encoding& e) { return sample_text(e.text_charset); }

// A short input that still meets every byte in both quotation contexts.
Bytes short_input(const Encoding& source, std::uint32_t seed) {
  Bytes input = text_of_source(source);
  input += every_byte_after_each_context();
  input += random_bytes(2048, seed);
  input += text_of_source(source);
  return input;
}

Switches with(Switches base, const Switches& more) {
  base.insert(base.end(), more.begin(), more.end());
  return base;
}

TEST(FastPath, SwitchesNameEveryEncodingInIdOrder) {
  for (std::size_t id = 0; id < encodings().size(); ++id) {
    const Encoding& e = encodings()[id];
    EXPECT_EQ(RunSettings({e.target}).settings.target, static_cast<EncodingId>(id)) << e.target;
    if (e.source != nullptr) {
      EXPECT_EQ(RunSettings({e.source}).settings.source, static_cast<EncodingId>(id)) << e.source;
    }
  }
  EXPECT_EQ(encodings().size(), static_cast<std::size_t>(kEncodingCount));
}

TEST(FastPath, EveryPairOfEncodingsWithDefaultSwitches) {
  std::uint32_t seed = 1;
  for (const Encoding& source : encodings()) {
    if (source.source == nullptr) continue;
    for (const Encoding& target : encodings()) {
      expect_same_output({source.source, target.target}, short_input(source, seed++));
    }
  }
}

// A spread of pairs that between them reach every kind of step: letter tables
// both ways, the Windows 1251 arithmetic, KX and KOI-7, the DOS control
// symbols, smart quotes into targets with typographic quotes, symbol lookups
// into Turkish and West-European code pages, and transliteration.
const std::vector<Switches>& spread_of_pairs() {
  static const std::vector<Switches> pairs = {
      {"-866", "-tokx"},         {"-866", "-towin"},      {"-w", "-tokoi8"},       {"-w", "-totl"},
      {"-866", "-to866"},        {"-koi8", "-to1252"},    {"-w", "-todos"},        {"-866", "-tokoi7"},
      {"-1254", "-to866"},       {"-mac", "-toiso"},      {"-koi7", "-totl"},      {"-macroman", "-to850"},
      {"-kx", "-tomacu"},        {"-855", "-tokoi8u"},    {"-iso8859_15", "-towin"}, {"-866", "-totl"},
      {"-isoir111", "-to857"},   {"-w", "-tomacturk"},    {"-850", "-tokx"},       {"-koi8u", "-toiso8859_1"},
  };
  return pairs;
}

// Every combination of the switches that change what a byte becomes, each
// line style included, on pairs taken in turn from the spread.
TEST(FastPath, EverySwitchCombinationOverASpreadOfPairs) {
  static const char* const kFlags[] = {"-32", "-nstr", "-nta", "-src", "-html", "-dhcs", "-nqt", "-noenc"};
  static const char* const kLineStyles[] = {nullptr, "-lf", "-crlf", "-noaltlf"};
  constexpr unsigned kCombinations = 1u << std::size(kFlags);
  const std::vector<Switches>& pairs = spread_of_pairs();
  std::size_t next_pair = 0;
  for (unsigned mask = 0; mask < kCombinations; ++mask) {
    for (const char* line_style : kLineStyles) {
      Switches flags;
      for (std::size_t f = 0; f < std::size(kFlags); ++f) {
        if (mask & (1u << f)) flags.emplace_back(kFlags[f]);
      }
      if (line_style != nullptr) flags.emplace_back(line_style);
      for (int n = 0; n < 2; ++n) {
        const Switches& pair = pairs[next_pair++ % pairs.size()];
        const RunSettings probe(pair);
        const Encoding& source = encodings()[static_cast<std::size_t>(probe.settings.source)];
        expect_same_output(with(pair, flags), short_input(source, mask * 8 + static_cast<unsigned>(n)));
      }
    }
  }
}

// Output as long as it can get: nothing but the byte with the longest output,
// so that the last bytes of the room the table asks for are used.
TEST(FastPath, InputOfTheLongestOutputOnly) {
  for (const Switches& switches :
       {Switches{"-866", "-tokx"}, Switches{"-w", "-tokoi8", "-html"}, Switches{"-w", "-totl"},
        Switches{"-866", "-towin", "-crlf"}, Switches{"-koi7", "-totl", "-crlf"}, Switches{"-noenc", "-crlf"},
        Switches{"-w", "-tow", "-noaltlf"}}) {
    const RunSettings setup(switches);
    std::size_t longest = 0;
    char byte = 0;
    for (int b = 0; b < 256; ++b) {
      const std::size_t length = reference_outcome(setup, static_cast<std::uint8_t>(b)).size();
      if (length > longest) {
        longest = length;
        byte = static_cast<char>(b);
      }
    }
    for (const std::size_t size : {std::size_t{64}, std::size_t{127}, std::size_t{128}, std::size_t{1000}}) {
      expect_same_output(switches, Bytes(size, byte));
    }
  }
}

// Text where every byte converts to itself: the table is then the identity
// only where the reference writes the input back.
TEST(FastPath, CopyingTheInputOnlyWhereNothingChanges) {
  const Bytes input = random_bytes(5000, 7) + every_byte_after_each_context();
  for (const Switches& switches : {Switches{"-noenc", "-noaltlf"}, Switches{"-noenc", "-lf"},
                                   Switches{"-noenc", "-crlf", "-nstr"}, Switches{"-w", "-towin", "-noaltlf"},
                                   Switches{"-866", "-to866", "-noaltlf", "-32"}}) {
    const RunSettings setup(switches);
    const std::optional<OutcomeTable> table = OutcomeTable::build(setup.settings, setup.command_line.no_encoding);
    ASSERT_TRUE(table.has_value());
    EXPECT_EQ(table->copies_input(), reference_output(setup, input) == input) << describe(switches);
  }
  const RunSettings plain({"-noenc", "-noaltlf"});
  EXPECT_TRUE(OutcomeTable::build(plain.settings, true)->copies_input());
}

// Whole runs of the program on files, one through the table and one through
// the reference, on inputs that put quotation marks, CR LF pairs and bytes
// that write strings across the 128 KiB blocks that the run reads, and a
// string across the end of the reference path's output buffer.
class DiscardingConsole : public platform::Console {
 public:
  void write(platform::Stream, std::string_view) override {}
  bool is_terminal(platform::Stream) override { return false; }
  bool uses_utf8() override { return false; }
};

// The first byte that writes more than one byte after a space, and one that
// writes exactly one byte after any other byte and leaves the next quote
// closing or opening alike.
struct Probe {
  std::optional<std::uint8_t> several;
  std::optional<std::uint8_t> single;
};

Probe probe_bytes(const RunSettings& setup) {
  Probe p;
  for (int b = 0; b < 256; ++b) {
    const Bytes alone = reference_outcome(setup, static_cast<std::uint8_t>(b));
    if (!p.several && alone.size() > 1) p.several = static_cast<std::uint8_t>(b);
  }
  for (const int b : std::initializer_list<int>{'a', 'x', '0', '5', 'Q', 0xE0, 0xC0, 0x41}) {
    const Bytes alone = reference_output(setup, Bytes(1, static_cast<char>(b)));
    const Bytes twice =
        reference_output(setup, Bytes{static_cast<char>(b), static_cast<char>(b)});
    if (alone.size() == 1 && twice.size() == 2) {
      p.single = static_cast<std::uint8_t>(b);
      break;
    }
  }
  return p;
}

Bytes boundary_input(const Encoding& source, const Probe& probe, std::uint32_t seed) {
  Bytes input;
  const Bytes text = text_of_source(source);
  std::mt19937 rng(seed);
  while (input.size() < 4 * kBlock + 777) {
    input += text;
    input += random_bytes(rng() % 3000, rng());
  }
  input.resize(4 * kBlock + 777);
  const auto put = [&](std::size_t at, std::string_view bytes) { input.replace(at, bytes.size(), bytes); };
  put(kBlock - 1, " \"");          // an opening quote first in a block, its space last in the one before
  put(kBlock + 40, "A\"");
  put(2 * kBlock - 1, "\r\n");     // a CR LF pair split between two blocks
  put(2 * kBlock - 3, "\"\r");     // and a quote closing before it
  put(4 * kBlock - 2, " \"'");     // a quote last in a block, an apostrophe after it
  const char several = static_cast<char>(probe.several.value_or(0x01));
  put(3 * kBlock - 1, Bytes(2, several));  // a string last in one block and first in the next
  put(3 * kBlock + 63, Bytes(3, several));  // around the wide loop's steps
  return input;
}

Bytes run_through(const Switches& switches, const std::string& input_path, const std::string& output_path,
                  ConversionPath path) {
  std::vector<std::string_view> arguments(switches.begin(), switches.end());
  arguments.emplace_back("-ni");
  arguments.emplace_back(input_path);
  arguments.emplace_back(output_path);
  DiscardingConsole console;
  EXPECT_EQ(run_program(arguments, platform::posix_file_system(), console, path), 0) << describe(switches);
  return test::read_file(output_path);
}

void expect_same_file_output(const test::TempDir& dir, const Switches& switches, const Bytes& input) {
  const std::string in = (dir / "in.txt").string();
  const std::string by_table = (dir / "table.txt").string();
  const std::string by_reference = (dir / "reference.txt").string();
  test::write_file(in, input);
  const Bytes expected = run_through(switches, in, by_reference, ConversionPath::reference);
  const Bytes actual = run_through(switches, in, by_table, ConversionPath::table);
  EXPECT_TRUE(actual == expected) << describe(switches) << ": " << first_difference(expected, actual);
}

TEST(FastPath, WholeRunsOnFilesAcrossBlockBoundaries) {
  test::TempDir dir;
  const std::vector<Switches> extras = {
      {},          {"-crlf"},        {"-noaltlf"}, {"-lf", "-html"}, {"-nstr", "-crlf"},
      {"-32"},     {"-src", "-crlf"}, {"-nta"},     {"-html", "-dhcs"}, {"-nqt"},
      {"-noenc", "-crlf"}, {"-noenc", "-noaltlf"},
  };
  std::uint32_t seed = 100;
  std::size_t next_extra = 0;
  for (const Switches& pair : spread_of_pairs()) {
    const Switches switches = with(pair, extras[next_extra++ % extras.size()]);
    const RunSettings setup(switches);
    const Encoding& source = encodings()[static_cast<std::size_t>(setup.settings.source)];
    expect_same_file_output(dir, switches, boundary_input(source, probe_bytes(setup), seed++));
  }
}

TEST(FastPath, StringAcrossTheEndOfTheOutputBuffer) {
  test::TempDir dir;
  int tested = 0;
  for (const Switches& switches : {Switches{"-866", "-tokx"}, Switches{"-w", "-todos"}, Switches{"-w", "-totl"},
                                   Switches{"-w", "-tokoi8", "-html"}, Switches{"-866", "-towin", "-crlf"}}) {
    const RunSettings setup(switches);
    const Probe probe = probe_bytes(setup);
    ASSERT_TRUE(probe.several && probe.single) << describe(switches);
    const Bytes string = reference_outcome(setup, *probe.several);
    // One-byte outputs up to one byte before the buffer's end, then strings.
    for (const std::size_t before : {kSinkBlock - 1, kSinkBlock - 2}) {
      Bytes input(before, static_cast<char>(*probe.single));
      input += Bytes(5, static_cast<char>(*probe.several));
      input += text_of_source(encodings()[static_cast<std::size_t>(setup.settings.source)]);
      const Bytes expected = reference_output(setup, input);
      ASSERT_EQ(expected.substr(before, string.size()), string) << describe(switches);
      expect_same_file_output(dir, switches, input);
      ++tested;
    }
  }
  EXPECT_EQ(tested, 10);
}

}  // namespace
}  // namespace recodia
