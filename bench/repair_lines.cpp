// The mojibake repair on lines, for the repair benchmark: reads UTF-8 lines
// from a file (a sample to a line) and prints for each stretch `VERDICT<TAB>MARGIN<TAB>CHAIN<TAB>TEXT`,
// VERDICT "sound", "repaired" or "left", TEXT the line as repaired (or as it
// was). With --time, prints the MB/s of repair_line over the file's lines instead.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "convert/repair.hpp"
#include "convert/utf8.hpp"

namespace {

std::vector<recodia::Character> decoded(const std::string& line) {
  std::vector<recodia::Character> out;
  recodia::Utf8Decoder d;
  for (const char b : line) d.put(static_cast<std::uint8_t>(b), [&](recodia::Character c) { out.push_back(c); });
  d.finish([&](recodia::Character c) { out.push_back(c); });
  return out;
}

std::string encoded(const std::vector<recodia::Character>& text) {
  std::string out;
  for (const recodia::Character c : text) recodia::encode_utf8(c, [&](std::uint8_t b) { out.push_back(static_cast<char>(b)); });
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  const bool time = argc == 3 && std::string(argv[1]) == "--time";
  if (argc != 2 && !time) {
    std::fprintf(stderr, "usage: recodia_repair_lines [--time] FILE\n");
    return 2;
  }
  std::ifstream in(argv[argc - 1], std::ios::binary);
  std::vector<std::string> lines;
  std::size_t bytes = 0;
  for (std::string line; std::getline(in, line);) bytes += line.size() + 1, lines.push_back(line);
  std::vector<std::vector<recodia::Character>> texts;
  for (const std::string& l : lines) texts.push_back(decoded(l));
  if (time) {
    const auto start = std::chrono::steady_clock::now();
    recodia::WrongChain last;
    std::size_t fixed = 0;
    for (const auto& t : texts) {
      const recodia::LineRepair r = recodia::repair_line(t);
      if (r.verdict == recodia::RepairVerdict::repaired) last = r.chain, ++fixed;
    }
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.1f MB/s (%zu of %zu lines repaired)\n", static_cast<double>(bytes) / 1e6 / s, fixed, texts.size());
    return 0;
  }
  for (const auto& t : texts) {
    const recodia::StretchRepair r = recodia::repair_stretch(t);
    const char* verdict = r.verdict == recodia::RepairVerdict::repaired ? "repaired"
                          : r.verdict == recodia::RepairVerdict::left_alone ? "left" : "sound";
    std::cout << verdict << '\t' << r.margin_bits << '\t' << recodia::describe(r.chain) << '\t'
              << (r.verdict == recodia::RepairVerdict::repaired ? encoded(r.text) : encoded(t)) << '\n';
  }
  return 0;
}
