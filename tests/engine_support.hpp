// Helpers for the conversion engine's tests: byte literals, text in a code
// page by iconv, the converter under resolved switches, and tables of small
// whole runs that share few runs of the program.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/options.hpp"
#include "convert/converter.hpp"
#include "convert/registry.hpp"
#include "test_support.hpp"

namespace recodia::test {

inline Bytes B(std::initializer_list<unsigned> values) {
  Bytes s;
  for (unsigned v : values) s.push_back(static_cast<char>(v));
  return s;
}

// UTF-8 text in a charset, by glibc's iconv.
inline Bytes enc(const char* charset, std::string_view utf8) { return iconv_convert("UTF-8", charset, utf8); }

// One switch for each encoding, in id order (transliteration is no source).
inline std::vector<std::string_view> first_switches(bool sources) {
  std::vector<std::string_view> out;
  for (const Encoding& e : kEncodings) {
    const std::string_view first = sources ? e.source_switches[0] : e.target_switches[0];
    if (!first.empty()) out.push_back(first);
  }
  return out;
}
inline const std::vector<std::string_view> kSourceSwitches = first_switches(true);
inline const std::vector<std::string_view> kTargetSwitches = first_switches(false);

inline ConversionSettings settings_from(const std::vector<std::string_view>& switches) {
  ConversionSettings settings;
  CommandLine command_line;
  parse_arguments(switches, settings, command_line);
  resolve_settings(settings, command_line);
  return settings;
}

// What the run writes for each byte, line style aside, by the converter alone.
inline Bytes written_by(const std::vector<std::string_view>& switches, std::string_view input) {
  const ConversionSettings s = settings_from(switches);
  Converter converter(s);
  Bytes out;
  for (unsigned char b : input) {
    const std::uint8_t r = converter.convert_byte(b);
    if (converter.result().string_pending && s.strings_allowed) out += converter.result().output_string.data();
    else out.push_back(static_cast<char>(r != 0 ? r : b));
  }
  return out;
}

struct RunCase {
  const char* what;
  std::vector<std::string> switches;
  Bytes input, expected;
};

// Cases with the same switches share one run of the program, one after the
// other in one file; a case that begins with a quotation mark depends on the
// byte before it and gets a run of its own. When a shared run goes wrong,
// each of its cases is run alone to name the one at fault.
inline void expect_runs(const std::vector<RunCase>& cases) {
  auto alone = [](const RunCase& c) { return !c.input.empty() && (c.input[0] == '"' || c.input[0] == '\''); };
  std::vector<std::vector<const RunCase*>> runs;
  for (const RunCase& c : cases) {
    std::vector<const RunCase*>* run = nullptr;
    for (auto& r : runs)
      if (!alone(c) && !alone(*r.front()) && r.front()->switches == c.switches) run = &r;
    if (run == nullptr) run = &runs.emplace_back();
    run->push_back(&c);
  }
  for (const auto& run : runs) {
    Bytes input, expected;
    std::string names;
    for (const RunCase* c : run) {
      input += c->input;
      expected += c->expected;
      names += std::string(names.empty() ? "" : "; ") + c->what;
    }
    const Bytes output = convert(run.front()->switches, input);
    EXPECT_EQ(hex(output), hex(expected)) << names;
    if (output == expected || run.size() == 1) continue;
    for (const RunCase* c : run) EXPECT_EQ(hex(convert(c->switches, c->input)), hex(c->expected)) << c->what;
  }
}

// The lines of a text, without their LF.
inline std::vector<Bytes> lines_of(const Bytes& text) {
  std::vector<Bytes> lines;
  std::istringstream in(text);
  for (Bytes line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace recodia::test
