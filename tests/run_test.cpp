// The conversion run between two files: the line styles, "-noenc", every byte
// value, large input, and the modification time with "-pdt".
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.hpp"

namespace recodia::test {
namespace {

Bytes without_cr(Bytes s) { std::erase(s, '\r'); return s; }

Bytes lf_to_crlf(const Bytes& s) {
  Bytes out;
  for (char c : s) out += c == '\n' ? Bytes("\r\n") : Bytes(1, c);
  return out;
}

TEST(Run, LineStylesNoencAndEveryByte) {
  // CR LF, LF, a lone CR and CR CR LF around letters that nothing converts.
  const Bytes lines = "a\r\nb\nc\rd\r\r\ne", as_lf = "a\nb\ncd\ne", as_crlf = "a\r\nb\r\ncd\r\ne";
  Bytes every;
  for (int i = 0; i < 256; ++i) every += static_cast<char>(i);
  const Bytes bytes = every + lines + every;
  // 0x1A does not end the file, 0xFF is no end mark; the letters around them are converted.
  const Bytes controls("\x00" "A\x1A" "B\xFF\x1A\x00\xC1\xFF\xFF" "end", 13);
  Bytes large;  // line ends on every position relative to the program's blocks
  while (large.size() < 300000) large += Bytes(large.size() % 97, 'x') + "\r\ny\r";
  struct Case {
    std::vector<std::string> switches;
    Bytes input, expected;
  };
  const Case cases[] = {
      {{"-lf"}, lines, as_lf},
      {{"-crlf"}, lines, as_crlf},
      {{"-noaltlf"}, lines, lines},
      {{}, lines, lines},  // no target switch: kept
      {{"-tokoi8"}, lines, as_lf},
      {{"-towin", "-totl"}, lines, as_crlf},
      {{"-towin", "-noaltlf"}, lines, lines},  // resolved before the first byte
      {{"-lf"}, "one\rtwo\rthree\r", "onetwothree"},
      {{"-crlf"}, "one\rtwo\r", "onetwo"},
      {{"-crlf"}, "\n\n", "\r\n\r\n"},
      // CR LF is a replacement string: without strings each LF goes alone,
      // except for transliteration, which always has strings.
      {{"-nstr", "-crlf"}, lines, as_lf},
      {{"-nstr", "-towin"}, lines, as_lf},
      {{"-nstr", "-noaltlf"}, lines, lines},
      {{"-nstr", "-crlf", "-translit"}, lines, as_crlf},
      {{"-noenc", "-noaltlf"}, bytes, bytes},
      {{"-noenc", "-lf"}, bytes, without_cr(bytes)},
      {{"-noenc", "-crlf"}, bytes, lf_to_crlf(without_cr(bytes))},
      {{"-noenc", "-w", "-towin"}, bytes, lf_to_crlf(without_cr(bytes))},
      {{"-noenc", "-nstr", "-crlf"}, bytes, without_cr(bytes)},
      {{"-noenc", "-html", "-translit", "-noaltlf"}, bytes, bytes},
      {{"-koi8", "-towin"}, controls, iconv_convert("KOI8-R", "CP1251", controls)},
      {{"-crlf"}, large, lf_to_crlf(without_cr(large))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.switches) + " on " + hex(c.input.substr(0, 16)));
    EXPECT_TRUE(same_bytes(c.expected, convert(c.switches, c.input)));
  }
}

TEST(Run, PreserveTimeRoundsDownToEvenSecondsWithinTheDosYears) {
  struct Case {
    bool pdt;
    int year, month, day, hour, minute, second;
    long nanoseconds;
    bool carried;
  };
  const Case cases[] = {
      {true, 2019, 6, 15, 12, 34, 57, 600000000, true},
      {true, 2019, 6, 15, 12, 34, 56, 999999999, true},
      {true, 2019, 6, 15, 12, 34, 59, 5, true},
      {true, 1980, 1, 1, 0, 0, 1, 0, true},
      {true, 2000, 2, 29, 1, 2, 3, 0, true},
      {true, 2107, 12, 31, 23, 59, 58, 0, true},
      {true, 1975, 3, 3, 3, 3, 3, 0, false},  // before and after what DOS can hold
      {true, 2110, 3, 3, 3, 3, 3, 0, false},
      {false, 2001, 1, 1, 0, 0, 0, 0, false},
  };
  for (const Case& c : cases) {
    for (const char* output : {"out", "in"}) {
      SCOPED_TRACE(testing::Message() << c.year << "-" << c.month << "-" << c.day << " :" << c.second << " into "
                                      << output << (c.pdt ? "" : ", no -pdt"));
      TempDir dir;
      write_file(dir / "in", "a\r\n");
      const long long seconds = local_seconds(c.year, c.month, c.day, c.hour, c.minute, c.second);
      set_modification_time(dir / "in", seconds * 1000000000 + c.nanoseconds);
      const RunResult r = run_recodia({"-ni", c.pdt ? "-pdt" : "-nec", "-lf", "in", output}, dir.path());
      ASSERT_EQ(r.exit_code, 0);
      EXPECT_EQ(read_file(dir / output), "a\n");
      const long long t = modification_time(dir / output);
      if (c.carried) {
        EXPECT_EQ(t, (seconds - c.second % 2) * 1000000000);
      } else {
        EXPECT_GT(t, local_seconds(2020, 1, 1, 0, 0, 0) * 1000000000) << "the time it was written";
      }
    }
  }
}

}  // namespace
}  // namespace recodia::test
