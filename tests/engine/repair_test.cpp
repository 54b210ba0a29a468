// The mojibake repair: the chains of tests/data/repair.txt, damaged by glibc's
// iconv, must come back exactly and be named; sound text (the table's, and
// every line of the sample texts) must never be touched; lost bytes.
#include <algorithm>
#include <cctype>

#include "convert/registry.hpp"
#include "convert/repair.hpp"
#include "support.hpp"

namespace recodia::test {
namespace {

std::vector<Character> as_characters(const Bytes& utf8) {
  const std::u32string text = characters(utf8);
  return {text.begin(), text.end()};
}

// The registry's name of an encoding that iconv names so.
std::string registry_name(const std::string& iconv_name) {
  for (const Encoding& e : kEncodings) {
    std::string upper(e.name);
    std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
    if (upper == iconv_name) return std::string(e.name);
  }
  ADD_FAILURE() << "no encoding of the registry is " << iconv_name;
  return {};
}

struct Damage {
  Bytes text;  // UTF-8
  std::string chain;
};

// The text through each wrong reading of "ORIGINAL>WRONG,...", by iconv.
Damage damaged(Bytes text, const std::string& steps) {
  Damage d;
  for (std::size_t from = 0; from < steps.size();) {
    const std::size_t comma = std::min(steps.find(',', from), steps.size());
    const std::string step = steps.substr(from, comma - from);
    const std::string original = step.substr(0, step.find('>')), wrong = step.substr(step.find('>') + 1);
    text = iconv_convert(wrong.c_str(), "UTF-8", iconv_convert("UTF-8", original.c_str(), text));
    if (!d.chain.empty()) d.chain += ", then ";
    d.chain += registry_name(original) + " read as " + registry_name(wrong);
    from = comma + 1;
  }
  d.text = text;
  return d;
}

TEST(Repair, ChainsOfTheTableComeBackExactly) {
  int rows = 0;
  for (const auto& row : data_rows("repair.txt")) {
    if (row[0] != "undo") continue;
    ++rows;
    const Bytes original = field_bytes(row[2]);
    const Damage d = damaged(original, row[1]);
    ASSERT_NE(d.text, original) << row[2];
    const LineRepair r = repair_line(as_characters(d.text));
    ASSERT_EQ(r.verdict, RepairVerdict::repaired) << row[1] << ": " << d.text;
    EXPECT_EQ(std::u32string(r.text.begin(), r.text.end()), characters(original)) << row[1] << ": " << d.text;
    EXPECT_EQ(describe(r.chain), d.chain) << d.text;
  }
  EXPECT_GE(rows, 20);
}

TEST(Repair, SoundTextIsNeverTouched) {
  std::vector<Bytes> lines;
  for (const auto& row : data_rows("repair.txt"))
    if (row[0] == "keep") lines.push_back(field_bytes(row[1]));
  for (const char* sample : {"russian.txt", "ukrainian.txt", "serbian.txt", "french.txt", "german.txt", "turkish.txt"}) {
    const Bytes text = data_file(sample);
    for (std::size_t from = 0; from < text.size();) {
      const std::size_t end = std::min(text.find('\n', from), text.size());
      lines.push_back(text.substr(from, end - from));
      from = end + 1;
    }
  }
  EXPECT_GT(lines.size(), 30u);
  for (const Bytes& line : lines) {
    const LineRepair r = repair_line(as_characters(line));
    EXPECT_NE(r.verdict, RepairVerdict::repaired) << line << " became " << describe(r.chain);
  }
}

TEST(Repair, LostBytesAreToldByTheirContext) {
  int rows = 0;
  for (const auto& row : data_rows("repair.txt")) {
    if (row[0] != "lost") continue;
    ++rows;
    const LineRepair r = repair_line(as_characters(field_bytes(row[1])));
    ASSERT_EQ(r.verdict, RepairVerdict::repaired) << row[1];
    EXPECT_EQ(std::u32string(r.text.begin(), r.text.end()), characters(field_bytes(row[2]))) << row[1];
    EXPECT_EQ(r.recovered, std::stoul(row[3])) << row[1];
    EXPECT_EQ(r.unrecovered, std::stoul(row[4])) << row[1];
  }
  EXPECT_GE(rows, 2);
}

// The settled chain's shortcut, which a file damaged throughout takes, gives
// what the search gives, and never touches sound text.
TEST(Repair, SettledChainAgreesWithTheSearch) {
  std::vector<WrongChain> chains;
  for (const auto& row : data_rows("repair.txt")) {
    if (row[0] != "undo") continue;
    const auto damaged_text = as_characters(damaged(field_bytes(row[2]), row[1]).text);
    const LineRepair searched = repair_line(damaged_text);
    const auto shortcut = repair_through(damaged_text, searched.chain);
    // Only chains through UTF-8 throughout have the shortcut.
    const bool through_utf8 = row[1].starts_with("UTF-8>") && row[1].find(",UTF-8>") == row[1].find(',');
    if (!through_utf8) {
      EXPECT_FALSE(shortcut) << row[1];
      continue;
    }
    chains.push_back(searched.chain);
    // A line damaged twice is not taken as undone by the last step alone.
    if (searched.chain.length == 2) {
      const WrongChain last_step{{searched.chain.readings[1]}, 1};
      EXPECT_FALSE(repair_through(damaged_text, last_step)) << row[1];
      EXPECT_FALSE(repair_through(damaged_text, last_step, Search::plain)) << row[1];
    }
    ASSERT_TRUE(shortcut) << row[1];
    EXPECT_EQ(shortcut->text, searched.text) << row[1];
    // Taken without the model where it plainly reads undone: as when weighed.
    const auto weighed = repair_through(damaged_text, searched.chain, Search::plain);
    ASSERT_TRUE(weighed) << row[1];
    EXPECT_EQ(weighed->text, shortcut->text) << row[1];
  }
  ASSERT_GE(chains.size(), 8u);
  for (const auto& row : data_rows("repair.txt")) {
    if (row[0] != "keep") continue;
    for (const WrongChain& chain : chains) {
      EXPECT_FALSE(repair_through(as_characters(field_bytes(row[1])), chain)) << row[1];
      EXPECT_FALSE(repair_through(as_characters(field_bytes(row[1])), chain, Search::plain)) << row[1];
    }
  }
}

// The screen that settles sound text before any model cost (and reads as
// UTF-8 only the pages whose bytes may be UTF-8) gives what the plain search
// gives: on the damaged lines of the table, the sound ones and the samples.
TEST(Repair, ScreenAgreesWithThePlainSearch) {
  std::vector<Bytes> lines;
  for (const auto& row : data_rows("repair.txt")) {
    if (row[0] == "undo") lines.push_back(damaged(field_bytes(row[2]), row[1]).text);
    if (row[0] == "keep" || row[0] == "lost") lines.push_back(field_bytes(row[1]));
  }
  // The samples, sound and damaged (by pages that read every byte, or lack
  // none the sample's UTF-8 holds).
  for (const auto& [sample, wrongs] : {std::pair{"russian.txt", std::vector{"KOI8-R"}},
                                       {"french.txt", {"WINDOWS-1251", "CP850"}},
                                       {"turkish.txt", {"WINDOWS-1251", "CP850"}}}) {
    const Bytes text = data_file(sample);
    for (std::size_t from = 0; from < text.size();) {
      const std::size_t end = std::min(text.find('\n', from), text.size());
      lines.push_back(text.substr(from, end - from));
      for (const char* wrong : wrongs) lines.push_back(damaged(lines.back(), std::string("UTF-8>") + wrong).text);
      from = end + 1;
    }
  }
  for (const Bytes& line : lines) {
    const LineRepair screened = repair_line(as_characters(line)), plain = repair_line(as_characters(line), Search::plain);
    EXPECT_EQ(screened.verdict, plain.verdict) << line;
    EXPECT_EQ(screened.text, plain.text) << line;
    EXPECT_EQ(screened.chain, plain.chain) << line;
  }
}

}  // namespace
}  // namespace recodia::test
