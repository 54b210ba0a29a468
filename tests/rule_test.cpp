// The rule of what a character becomes, over every byte of every source to
// every target, read back through the target's code page; and the converter
// of old (recorded in tests/data) differing from today's only where its
// output broke the rule.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <sstream>
#include <stdexcept>

#include "convert/byte_processor.hpp"
#include "rule.hpp"
#include "tables_support.hpp"

namespace recodia::test {

const std::vector<LegacyRun>& legacy_runs() {
  static const std::vector<LegacyRun> runs = [] {
    const std::string record = std::string(RECODIA_SOURCE_DIR) + "/tests/data/legacy-outcomes.txt.gz";
    std::istringstream lines(command_output("gzip -dc '" + record + "'").value_or(""));
    std::vector<LegacyRun> out;
    for (std::string line; std::getline(lines, line);) {
      const std::size_t tab = line.find('\t');
      LegacyRun run;
      std::istringstream switches(line.substr(0, tab)), outcomes(line.substr(tab + 1));
      for (std::string w; switches >> w;) run.switches.push_back(w);
      for (std::string o; outcomes >> o;) {
        const std::size_t i = run.outcomes.size();
        run.outcomes.push_back(o == "=" ? run.outcomes.at(i - 256) : o == "-" ? Bytes() : unhex(o));
      }
      if (run.outcomes.size() != 512) throw std::runtime_error("a run of the record without 512 outcomes");
      out.push_back(std::move(run));
    }
    return out;
  }();
  return runs;
}

namespace {

std::string utf8(std::u32string_view s) {
  std::string out;
  for (Character c : s) {
    if (c < 0x20 || c == 0x7F) {
      char buf[8];
      out.append(buf, static_cast<std::size_t>(std::snprintf(buf, sizeof buf, "<%02X>", static_cast<unsigned>(c))));
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += {static_cast<char>(0xC0 | c >> 6), static_cast<char>(0x80 | (c & 0x3F))};
    } else {
      out += {static_cast<char>(0xE0 | c >> 12), static_cast<char>(0x80 | (c >> 6 & 0x3F)),
              static_cast<char>(0x80 | (c & 0x3F))};
    }
  }
  return out;
}

std::string bytes_of(const Converted& out) { return {reinterpret_cast<const char*>(out.bytes.data()), out.size}; }

// Gathers the exceptions, so that a broken rule shows a few of them, not thousands.
class Exceptions {
 public:
  void add(const std::string& what) {
    if (++count_ <= 25) shown_ += what + "\n";
  }
  ~Exceptions() { EXPECT_EQ(count_, 0) << shown_; }

 private:
  int count_ = 0;
  std::string shown_;
};

TEST(Rule, EveryByteOfEverySourceToEveryTarget) {
  Exceptions exceptions;
  for (std::string_view mode : {"-ni", "-32", "-nstr", "-html"}) {
    for (const Encoding& source : kEncodings) {
      if (!is_source(source) || source.form == Form::utf8) continue;  // one byte, one character
      for (const Encoding& target : kEncodings) {
        const auto s = resolved({source.source_switches[0], target.target_switches[0], mode});
        for (int b = 0; b < 256; ++b) {
          const auto expected = by_rule(b, s, true);
          if (!expected) continue;
          Converter converter(s);
          const std::string out = bytes_of(converter.convert_byte(static_cast<std::uint8_t>(b)));
          const Character c = read_by_rule(s.source, b, s.special_symbols).c;
          const bool markup = s.html && c != '<' && c != '>' && out.find_first_of("<>") != std::string::npos;
          if (read_back(s.target, out) != *expected || markup) {
            exceptions.add(std::string(source.source_switches[0]) + " " + std::string(target.target_switches[0]) + " " +
                           std::string(mode) + " " + hex(std::string(1, static_cast<char>(b))) + " '" +
                           utf8(std::u32string(1, c)) + "': " + hex(out) + " reads '" +
                           utf8(read_back(s.target, out)) + "', the rule gives '" + utf8(*expected) + "'");
          }
        }
      }
    }
  }
}

// Which part of the rule the old output broke.
std::string broken_part(const ConversionSettings& s, int b, const std::u32string& old) {
  const Character c = read_by_rule(s.source, b, s.special_symbols).c;
  const bool dos_glyphs = has_trait(encoding(s.target), kDosGlyphs) && s.special_symbols;
  if (c == kNoCharacter) return "a byte that stands for no character: now '?', or kept in its own code page";
  if (is_printable_ascii(c)) return "printable ASCII changed (\"-32\" turned $ into &; KOI-7 read $ as its currency sign)";
  if (target_has(s.target, c)) return "a character that the target has written as another one";
  for (Character x : old) {
    if (is_dos_glyph(x) && !dos_glyphs) return "a DOS glyph byte written where it shows no sign";
  }
  const bool readable = std::ranges::all_of(old, [&](Character x) {
    return is_printable_ascii(x) || is_dos_glyph(x) ||
           (is_cyrillic_letter(c) && is_cyrillic_letter(x) && target_has(s.target, x));
  });
  if (!readable) return "a character that the target lacks written as another character's byte or a control byte";
  return "a readable substitute, but not the first that the rule gives";
}

struct StringSink {
  std::string out;
  void put(std::span<const std::uint8_t> bytes) { out.append(bytes.begin(), bytes.end()); }
};

// Every run of the record: each byte after a line end and after the letter A.
TEST(Rule, DiffersFromTheOldConverterOnlyWhereItBrokeTheRule) {
  Exceptions exceptions;
  std::map<std::string, int> classes;
  for (const LegacyRun& run : legacy_runs()) {
    std::vector<std::string_view> switch_texts(run.switches.begin(), run.switches.end());
    switch_texts.push_back("-noaltlf");
    const auto s = resolved(switch_texts);
    ByteProcessor processor(s);
    // Whether a quotation opens after a line end and after the letter A.
    bool opens_after[2];
    for (const std::uint8_t before : {'\n', 'A'}) {
      StringSink ignored;
      processor.process_byte(before, ignored);
      opens_after[before == 'A'] = processor.converter().opening();
    }
    for (int i = 0; i < 512; ++i) {
      const int b = i % 256;
      const bool after_line_end = i < 256;
      const Bytes& old = run.outcomes[static_cast<std::size_t>(i)];
      const bool opening = opens_after[after_line_end ? 0 : 1];
      processor.converter().set_opening(opening);
      StringSink sink;
      processor.process_byte(static_cast<std::uint8_t>(b), sink);
      const auto expected = by_rule(b, s, opening);
      auto where = [&] {
        std::string w;
        for (const std::string& sw : run.switches) w += sw + " ";
        return w + hex(std::string(1, static_cast<char>(b))) + (after_line_end ? "" : " after a letter") + ": ";
      };
      if (expected && read_back(s.target, sink.out) != *expected) {
        exceptions.add(where() + hex(sink.out) + " breaks the rule");
      } else if (sink.out != old && (!expected || read_back(s.target, old) == *expected)) {
        exceptions.add(where() + hex(sink.out) + " differs from " + hex(old) + ", which kept the rule");
      } else if (sink.out != old) {
        ++classes[broken_part(s, b, read_back(s.target, old))];
      }
    }
  }
  EXPECT_EQ(legacy_runs().size(), 20u * 22 * 20) << "every source, target and combination of switches";
  std::string list;
  for (const auto& [what, count] : classes) list += "  " + std::to_string(count) + "  " + what + "\n";
  std::printf("Differences from the old converter, by what its output broke:\n%s", list.c_str());
  EXPECT_EQ(classes.size(), 6u) << list;
}

}  // namespace
}  // namespace recodia::test
