// Whole runs of the program on the cases of tests/data/conversions.txt: the
// examples that set characters right, smart quotes, DOS text's control
// symbols, "-32", transliteration, KX and KOI-7, bytes without a character and
// line ends.
#include <algorithm>
#include <fstream>
#include <sstream>

#include "engine_support.hpp"

namespace recodia::test {
namespace {

// A field of the file as bytes: "CHARSET:" turns the text into that charset;
// \uXXXX is a character of the text, \xNN a raw byte.
Bytes field_bytes(std::string_view field) {
  std::string charset;
  if (const std::size_t colon = field.find(':'); colon != std::string_view::npos && colon > 2 &&
      field.substr(0, colon).find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-") == std::string_view::npos) {
    charset = field.substr(0, colon);
    field.remove_prefix(colon + 1);
  }
  Bytes out, text;
  auto flush = [&] {
    out += charset.empty() || text.empty() ? text : iconv_convert("UTF-8", charset.c_str(), text);
    text.clear();
  };
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '\\' || i + 1 == field.size()) {
      text += field[i];
      continue;
    }
    const char kind = field[++i];
    if (kind == 'x') {
      flush();
      out += unhex(field.substr(i + 1, 2));
      i += 2;
    } else if (kind == 'u') {
      const unsigned long c = std::stoul(std::string(field.substr(i + 1, 4)), nullptr, 16);
      text += iconv_convert("UTF-32LE", "UTF-8", std::string{char(c), char(c >> 8), 0, 0});
      i += 4;
    } else {
      text += kind == 't' ? '\t' : kind == 'r' ? '\r' : kind == 'n' ? '\n' : kind;
    }
  }
  flush();
  return out;
}

TEST(Conversions, CasesOfTheDataFile) {
  std::ifstream file(std::string(RECODIA_SOURCE_DIR) + "/tests/data/conversions.txt");
  ASSERT_TRUE(file) << "tests/data/conversions.txt";
  std::vector<RunCase> cases;
  std::string what;
  for (std::string line; std::getline(file, line);) {
    if (line.starts_with("#")) {
      what = line;
      continue;
    }
    if (line.empty()) continue;
    std::vector<std::string> fields;
    for (std::size_t at = 0, tab; at <= line.size(); at = tab + 1) {
      tab = std::min(line.find('\t', at), line.size());
      fields.push_back(line.substr(at, tab - at));
    }
    ASSERT_EQ(fields.size(), 3u) << line;
    std::vector<std::string> switches;
    std::istringstream words(fields[0]);
    for (std::string w; words >> w;) switches.push_back(w);
    cases.push_back({what + " | " + line, switches, field_bytes(fields[1]), field_bytes(fields[2])});
  }
  EXPECT_GT(cases.size(), 60u);
  expect_runs(cases);
}

}  // namespace
}  // namespace recodia::test
