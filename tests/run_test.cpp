// The conversion run between two files: line styles, "-noenc", every byte
// value, empty input, several names, the modification time.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "cli/messages.hpp"
#include "cli/run.hpp"
#include "fault_injection.hpp"
#include "test_support.hpp"

namespace recodia::test {
namespace {

// Converts in-process through the chosen path; the messages are dropped.
Bytes convert_in_process(const std::vector<std::string>& switches, std::string_view input, ConversionPath path) {
  TempDir dir;
  write_file(dir / "in", input);
  const std::string in = (dir / "in").string();
  const std::string out = (dir / "out").string();
  std::vector<std::string_view> args(switches.begin(), switches.end());
  args.push_back("-ni");
  args.push_back(in);
  args.push_back(out);
  FakeConsole console;
  const int code = run_program(args, platform::posix_file_system(), console, path);
  if (code != 0) throw std::runtime_error("the run failed");
  return read_file(dir / "out");
}

struct ByteCase {
  const char* name;
  std::vector<std::string> switches;
  Bytes input;
  Bytes expected;
};

// Every case through the program itself and through both in-process paths.
void check_cases(const std::vector<ByteCase>& cases) {
  for (const ByteCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(same_bytes(c.expected, convert(c.switches, c.input))) << "program";
    EXPECT_TRUE(same_bytes(c.expected, convert_in_process(c.switches, c.input, ConversionPath::reference)))
        << "reference";
    EXPECT_TRUE(same_bytes(c.expected, convert_in_process(c.switches, c.input, ConversionPath::table))) << "table";
  }
}

// CR LF, LF, a lone CR and CR CR LF, around letters that the converter
// leaves alone.
const Bytes kLines = "a\r\nb\nc\rd\r\r\ne";
const Bytes kAsLf = "a\nb\ncd\ne";
const Bytes kAsCrlf = "a\r\nb\r\ncd\r\ne";

TEST(LineStyles, TheTable) {
  check_cases({
      {"-lf", {"-lf"}, kLines, kAsLf},
      {"-crlf", {"-crlf"}, kLines, kAsCrlf},
      {"-noaltlf", {"-noaltlf"}, kLines, kLines},
      {"no switch: keep", {}, kLines, kLines},
      {"-tokx: CR LF", {"-tokx"}, kLines, kAsCrlf},
      {"-todos: CR LF", {"-todos"}, kLines, kAsCrlf},
      {"-towin: CR LF", {"-towin"}, kLines, kAsCrlf},
      {"-tokoi7: CR LF", {"-tokoi7"}, kLines, kAsCrlf},
      {"-to1252: CR LF", {"-to1252"}, kLines, kAsCrlf},
      {"-tokoi8: LF", {"-tokoi8"}, kLines, kAsLf},
      {"-tokoi8u: LF", {"-tokoi8u"}, kLines, kAsLf},
      {"-toiso: LF", {"-toiso"}, kLines, kAsLf},
      {"-tomac: LF, not CR", {"-tomac"}, kLines, kAsLf},
      {"-tomacroman: LF", {"-tomacroman"}, kLines, kAsLf},
      {"-totl: keep", {"-totl"}, kLines, kLines},
      {"-towin -totl: CR LF", {"-towin", "-totl"}, kLines, kAsCrlf},
      {"-tokoi8 -translit: LF", {"-tokoi8", "-translit"}, kLines, kAsLf},
      {"-crlf before -tokoi8", {"-crlf", "-tokoi8"}, kLines, kAsCrlf},
      {"-crlf after -tokoi8", {"-tokoi8", "-crlf"}, kLines, kAsCrlf},
      {"-lf -crlf", {"-lf", "-crlf"}, kLines, kAsCrlf},
      {"-crlf -lf", {"-crlf", "-lf"}, kLines, kAsLf},
      {"-noaltlf wins over -towin", {"-towin", "-noaltlf"}, kLines, kLines},
      {"lone CRs under LF: one line", {"-lf"}, "one\rtwo\rthree\r", "onetwothree"},
      {"lone CRs under CR LF: one line", {"-crlf"}, "one\rtwo\rthree\r", "onetwothree"},
      {"lone CRs kept", {"-noaltlf"}, "one\rtwo\r", "one\rtwo\r"},
      {"LF LF under CR LF", {"-crlf"}, "\n\n", "\r\n\r\n"},
      {"CR at the very end under CR LF", {"-crlf"}, "x\r", "x"},
  });
}

TEST(LineStyles, NoStringsWithCrlf) {
  check_cases({
      // The CR LF pair is a replacement string: without strings every LF is
      // written alone, and CRs are still dropped.
      {"-nstr -crlf", {"-nstr", "-crlf"}, kLines, kAsLf},
      {"-nstr -tokx", {"-nstr", "-tokx"}, kLines, kAsLf},
      {"-nstr -towin", {"-nstr", "-towin"}, kLines, kAsLf},
      {"-nstr -noaltlf", {"-nstr", "-noaltlf"}, kLines, kLines},
      // Strings are always allowed for transliteration.
      {"-nstr -crlf -translit", {"-nstr", "-crlf", "-translit"}, kLines, kAsCrlf},
      {"-nstr -towin -totl", {"-nstr", "-towin", "-totl"}, kLines, kAsCrlf},
  });
}

Bytes every_byte() {
  Bytes b;
  for (int i = 0; i < 256; ++i) b += static_cast<char>(i);
  return b;
}

Bytes without_cr(Bytes s) {
  std::erase(s, '\r');
  return s;
}

Bytes lf_to_crlf(const Bytes& s) {
  Bytes out;
  for (char c : s) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

TEST(NoEncoding, BytesCopiedOnlyTheLineStyleApplies) {
  const Bytes input = every_byte() + kLines + every_byte();
  check_cases({
      {"-noenc -noaltlf: byte for byte", {"-noenc", "-noaltlf"}, input, input},
      {"-noenc: keep", {"-noenc"}, input, input},
      {"-noenc -lf", {"-noenc", "-lf"}, input, without_cr(input)},
      {"-noenc -crlf", {"-noenc", "-crlf"}, input, lf_to_crlf(without_cr(input))},
      {"-noenc -tokoi8: LF, nothing converted", {"-noenc", "-tokoi8"}, input, without_cr(input)},
      {"-noenc -towin: CR LF, nothing converted", {"-noenc", "-w", "-towin"}, input, lf_to_crlf(without_cr(input))},
      {"-noenc -nstr -crlf", {"-noenc", "-nstr", "-crlf"}, input, without_cr(input)},
      {"-noenc -html -translit -noaltlf", {"-noenc", "-html", "-translit", "-noaltlf"}, input, input},
  });
}

TEST(Bytes, NulSubAndFFPassLikeAnyOther) {
  // 0x1A does not end the file and 0xFF is no end-of-file mark; the KOI8-R
  // letters around them are converted, which iconv confirms.
  const Bytes input = Bytes("\x00" "A\x1A" "B\xFF\x1A\x00\xC1\xFF\xFF" "end", 13);
  ASSERT_EQ(input.size(), 13u);
  const Bytes expected = iconv_convert("KOI8-R", "CP1251", input);
  check_cases({
      {"KOI8-R to Windows 1251", {"-koi8", "-towin"}, input, expected},
      {"copied", {"-noenc"}, input, input},
      {"long run of 0x1A and 0xFF", {"-noenc"}, Bytes(5000, '\x1A') + Bytes(5000, '\xFF') + Bytes(5000, '\0'),
       Bytes(5000, '\x1A') + Bytes(5000, '\xFF') + Bytes(5000, '\0')},
  });
}

TEST(Bytes, EmptyInput) {
  TempDir dir;
  write_file(dir / "in", "");
  write_file(dir / "out", "old contents");
  const RunResult r = run_recodia({"in", "out"}, dir.path());
  EXPECT_EQ(r.exit_code, 0);
  const MessageSet& m = select_messages(Language::english);
  EXPECT_EQ(r.out, std::string(m[0]) + "\n" + std::string(m[17]) + "\n" + std::string(m[18]) + "\n");
  EXPECT_EQ(read_file(dir / "out"), "");
}

TEST(Bytes, LargeFileAcrossBlocks) {
  // Line ends fall on every position relative to the program's blocks.
  Bytes input;
  for (int i = 0; input.size() < 300000; ++i) input += Bytes(static_cast<std::size_t>(i % 97), 'x') + "\r\n" + "y\r";
  const Bytes lf = without_cr(input);
  check_cases({
      {"big -lf", {"-lf"}, input, lf},
      {"big -crlf", {"-crlf"}, input, lf_to_crlf(lf)},
      {"big keep", {}, input, input},
      {"big -noenc -noaltlf", {"-noenc", "-noaltlf"}, input, input},
      {"big -noenc -crlf", {"-noenc", "-crlf"}, input, lf_to_crlf(lf)},
  });
}

TEST(Run, OutputIsEmptiedFirst) {
  TempDir dir;
  write_file(dir / "in", "ab");
  write_file(dir / "out", "a much longer old text\n");
  EXPECT_EQ(run_recodia({"-ni", "in", "out"}, dir.path()).exit_code, 0);
  EXPECT_EQ(read_file(dir / "out"), "ab");
}

TEST(Run, ThreeNamesWriteTheLast) {
  TempDir dir;
  write_file(dir / "a.txt", "a\r\nb\n");
  write_file(dir / "b.txt", "keep me");
  const RunResult r = run_recodia({"-ni", "-lf", "a.txt", "b.txt", "c.txt"}, dir.path());
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(read_file(dir / "c.txt"), "a\nb\n");
  EXPECT_EQ(read_file(dir / "b.txt"), "keep me");
  EXPECT_EQ(read_file(dir / "a.txt"), "a\r\nb\n");
  // a.txt given again as the third name: in place.
  const RunResult again = run_recodia({"-ni", "-lf", "a.txt", "b.txt", "a.txt"}, dir.path());
  EXPECT_EQ(again.exit_code, 0);
  EXPECT_EQ(read_file(dir / "a.txt"), "a\nb\n");
  EXPECT_EQ(read_file(dir / "b.txt"), "keep me");
  EXPECT_EQ(folder_listing(dir.path()), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
}

TEST(Run, SwitchLikeNamesAreFiles) {
  // Capitals and unknown switches are file names like any other.
  TempDir dir;
  write_file(dir / "-KOI8", "x\r\n");
  const RunResult r = run_recodia({"-ni", "-KOI8", "-lf", "-unknown"}, dir.path());
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(read_file(dir / "-unknown"), "x\n");
}

// The modification time with "-pdt".
struct TimeCase {
  const char* name;
  int second;
  long nanoseconds;
  int expected_second;
};

TEST(PreserveTime, OutputGetsTheInputTimeRoundedDownToEvenSeconds) {
  const TimeCase cases[] = {
      {"odd second with a fraction", 57, 600000000, 56},
      {"odd second", 57, 0, 56},
      {"even second with a fraction", 56, 999999999, 56},
      {"zero", 0, 1, 0},
      {"59", 59, 5, 58},
  };
  for (const TimeCase& c : cases) {
    for (bool in_place : {false, true}) {
      SCOPED_TRACE(testing::Message() << c.name << (in_place ? ", in place" : ", two files"));
      TempDir dir;
      write_file(dir / "in", "a\r\n");
      const long long base = local_seconds(2019, 6, 15, 12, 34, 0);
      set_modification_time(dir / "in", {base + c.second, c.nanoseconds});
      const std::string output = in_place ? "in" : "out";
      const RunResult r = run_recodia({"-ni", "-pdt", "-lf", "in", output}, dir.path());
      ASSERT_EQ(r.exit_code, 0);
      EXPECT_EQ(read_file(dir / output), "a\n");
      const FileTime t = modification_time(dir / output);
      EXPECT_EQ(t.seconds, base + c.expected_second);
      EXPECT_EQ(t.nanoseconds, 0);
    }
  }
}

TEST(PreserveTime, OtherDatesAndTheLimits) {
  struct DateCase {
    int year, month, day, hour, minute, second;
  };
  const DateCase cases[] = {
      {1980, 1, 1, 0, 0, 1}, {1999, 12, 31, 23, 59, 59}, {2000, 2, 29, 1, 2, 3}, {2107, 12, 31, 23, 59, 58},
  };
  for (const DateCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.year << "-" << c.month << "-" << c.day);
    TempDir dir;
    write_file(dir / "in", "z");
    const long long seconds = local_seconds(c.year, c.month, c.day, c.hour, c.minute, c.second);
    set_modification_time(dir / "in", {seconds, 0});
    ASSERT_EQ(run_recodia({"-ni", "-pdt", "in", "out"}, dir.path()).exit_code, 0);
    EXPECT_EQ(modification_time(dir / "out").seconds, seconds - c.second % 2);
  }
}

TEST(PreserveTime, TimesDosCannotHoldLeaveTheOutputAlone) {
  for (int year : {1975, 2110}) {
    SCOPED_TRACE(year);
    TempDir dir;
    write_file(dir / "in", "z");
    set_modification_time(dir / "in", {local_seconds(year, 3, 3, 3, 3, 3), 0});
    const long long before = local_seconds(2020, 1, 1, 0, 0, 0);
    const RunResult r = run_recodia({"-ni", "-pdt", "in", "out"}, dir.path());
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(read_file(dir / "out"), "z");
    // The output keeps the time it was written at.
    EXPECT_GT(modification_time(dir / "out").seconds, before);
  }
}

TEST(PreserveTime, WithoutTheSwitchTheTimeIsNotCarried) {
  TempDir dir;
  write_file(dir / "in", "z");
  set_modification_time(dir / "in", {local_seconds(2001, 1, 1, 0, 0, 0), 0});
  ASSERT_EQ(run_recodia({"-ni", "in", "out"}, dir.path()).exit_code, 0);
  EXPECT_GT(modification_time(dir / "out").seconds, local_seconds(2020, 1, 1, 0, 0, 0));
  ASSERT_EQ(run_recodia({"-ni", "in", "in"}, dir.path()).exit_code, 0);
  EXPECT_GT(modification_time(dir / "in").seconds, local_seconds(2020, 1, 1, 0, 0, 0));
}

TEST(PreserveTime, AFailedRunDoesNotSetIt) {
  for (bool in_place : {false, true}) {
    SCOPED_TRACE(in_place ? "in place" : "two files");
    TempDir dir;
    CurrentDirectory cwd(dir.path());
    write_file(dir / "in", Bytes(1000, 'q'));
    const FileTime original{local_seconds(2003, 4, 5, 6, 7, 8), 0};
    set_modification_time(dir / "in", original);
    FaultyFileSystem files;
    files.add({Operation::write});
    FakeConsole console;
    const std::vector<std::string_view> args = {"-ni", "-pdt", "in", in_place ? "in" : "out"};
    EXPECT_EQ(run_program(args, files, console), 1);
    EXPECT_EQ(files.calls(Operation::set_last_write_time), 0);
    const std::filesystem::path written = in_place ? dir / "TMP1.$$$" : dir / "out";
    ASSERT_TRUE(std::filesystem::exists(written));
    EXPECT_NE(modification_time(written), original);
    EXPECT_EQ(modification_time(dir / "in"), original);
    EXPECT_EQ(read_file(dir / "in"), Bytes(1000, 'q'));
    EXPECT_EQ(console.out, std::string(select_messages(Language::english)[17]) + "\n");
  }
}

}  // namespace
}  // namespace recodia::test
