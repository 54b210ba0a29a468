// Every byte of every code page, read by the converter into UTF-8, against
// sources that owe nothing to the generator of the tables
// (tests/data/code-pages.txt); and from UTF-8 back to the very byte.
#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <sstream>

#include "convert/registry.hpp"
#include "support.hpp"

namespace recodia::test {
namespace {

// The characters of bytes 0x80..0xFF as a source has them, 0 where it has
// none; nothing when the source is not installed.
std::optional<std::u32string> upper_half(const std::string& source, const std::string& name) {
  std::u32string half(128, 0);
  if (source == "iconv") {
    for (int b = 0x80; b < 0x100; ++b) {
      try {
        half[b - 0x80] = characters(iconv_convert(name.c_str(), "UTF-8", Bytes(1, static_cast<char>(b)))).at(0);
      } catch (const std::exception&) {  // no character at this byte
      }
    }
    return half;
  }
  // Lines "byte code-point" in hex: from the charmap's "<U0410>  /xc0  CYRILLIC ...", or
  // from uconv given each byte on a line of its own (so that none can shift the others).
  std::string lines_of_bytes;
  char octal[8];
  for (int b = 0x80; b < 0x100; ++b) lines_of_bytes.append(octal, static_cast<std::size_t>(std::snprintf(octal, sizeof octal, "\\%o\\n", b)));
  const auto out = command_output(
      source == "charmap"
          ? "zcat /usr/share/i18n/charmaps/" + name + ".gz | sed -n 's|^<U\\([0-9A-Fa-f]*\\)> */x\\([0-9A-Fa-f]*\\) .*|\\2 \\1|p'"
          : "printf '" + lines_of_bytes + "' | uconv --from-callback substitute -f " + name +
                " -t UTF-32BE | od -An -v -w8 -tx4 --endian=big | awk '{printf \"%x %s\\n\", NR + 127, $1}'");
  std::istringstream lines(out.value_or(""));
  int listed = 0;
  for (unsigned long b, c; lines >> std::hex >> b >> c;) {
    if (b < 0x80 || b > 0xFF) continue;
    half[b - 0x80] = c == 0xFFFD ? 0 : static_cast<char32_t>(c);
    ++listed;
  }
  return listed < 64 ? std::nullopt : std::optional(half);
}

// Each byte of 0x80..0xFF on its own into UTF-8 and, where it has a
// character, back; characters as read from the UTF-8, 0 for U+FFFD.
std::u32string read_and_written_back(const Encoding& e) {
  const auto into = resolved({std::string(e.source_switches[0]), "-toutf8", "-nta", "-noaltlf"});
  const auto back = resolved({"-utf8", std::string(e.target_switches[0]), "-nta", "-noaltlf"});
  std::u32string read;
  for (int b = 0x80; b < 0x100; ++b) {
    const Bytes byte(1, static_cast<char>(b)), utf8 = convert_in_pieces(into, byte).out;
    read += utf8 == "\xEF\xBF\xBD" ? 0 : characters(utf8).at(0);
    // KX and KOI-7 write some of their characters at other places than they read them.
    if (read.back() != 0 && e.form == Form::code_page) {
      EXPECT_EQ(hex(convert_in_pieces(back, utf8).out), hex(byte)) << e.name << " back from UTF-8";
    }
  }
  return read;
}

TEST(CodePages, EveryByteIntoUtf8AsIndependentSourcesReadItAndBack) {
  std::map<std::string, std::u32string> ours;
  for (const auto& row : data_rows("code-pages.txt")) {
    const auto e = std::ranges::find(kEncodings, row[0], &Encoding::name);
    ASSERT_NE(e, kEncodings.end()) << row[0];
    if (!ours.contains(row[0])) ours[row[0]] = read_and_written_back(*e);
    if (row[1] == "none") continue;
    const std::optional<std::u32string> theirs = upper_half(row[1], row[2]);
    if (!theirs) {
      std::printf("  (not compared, as it is not installed: %s %s)\n", row[1].c_str(), row[2].c_str());
      continue;
    }
    std::u32string expected = *theirs;
    std::istringstream differences(row.size() > 3 ? row[3] : "");
    for (std::string d; differences >> d;) {
      unsigned b = 0, mine = 0, other = 0;
      ASSERT_EQ(std::sscanf(d.c_str(), "%x=%x/%x", &b, &mine, &other), 3) << d;
      EXPECT_EQ(expected[b - 0x80], static_cast<char32_t>(other)) << row[0] << " " << d << " no longer differs";
      expected[b - 0x80] = mine;
    }
    std::string wrong;
    for (int b = 0x80; b < 0x100; ++b) {
      const char32_t o = ours[row[0]][b - 0x80], t = expected[b - 0x80];
      if (o != t) wrong += hex(Bytes(1, static_cast<char>(b))) + ": " + testing::PrintToString(o) + ", not " + testing::PrintToString(t) + "\n";
    }
    EXPECT_EQ(wrong, "") << row[0] << " against " << row[1] << " " << row[2];
  }
  for (const Encoding& e : kEncodings)
    EXPECT_TRUE(!is_single_byte_source(e) || ours.contains(std::string(e.name))) << e.name << " is in no row";
}

}  // namespace
}  // namespace recodia::test
