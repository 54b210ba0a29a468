// Helpers for the whole-run tests of the conversion engine: text in a code
// page by iconv, and tables of small whole runs that share few runs of the
// program.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "test_support.hpp"

namespace recodia::test {

// UTF-8 text in a charset, by glibc's iconv.
inline Bytes enc(const char* charset, std::string_view utf8) { return iconv_convert("UTF-8", charset, utf8); }

struct RunCase {
  std::string what;
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

}  // namespace recodia::test
