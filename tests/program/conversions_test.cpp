// Whole runs of the program on the cases of tests/data/conversions.txt, those
// with the same switches in one run; "-auto" on standard input longer than
// the detection's sample; and the modification time that "-pdt" carries.
#include <fstream>

#include "process.hpp"

namespace recodia::test {
namespace {

// Cases with the same switches share one run, one after the other in one
// file; a case that begins with a quotation mark (which depends on the byte
// before it) or says what standard error carries runs alone. When a shared
// run goes wrong, each of its cases runs alone, to name the one at fault.
TEST(Conversions, CasesOfTheDataFile) {
  struct Case {
    std::string what;
    Bytes input, expected;
    std::optional<Bytes> err;
    bool alone() const { return err || input.starts_with('"') || input.starts_with('\''); }
  };
  std::map<std::string, std::vector<std::vector<Case>>> runs;
  for (const auto& row : data_rows("conversions.txt")) {
    ASSERT_TRUE(row.size() == 3 || row.size() == 4) << row[0];
    const Case c{row[0] + " | " + row[1], field_bytes(row[1]), field_bytes(row[2]),
                 row.size() == 4 ? std::optional(field_bytes(row[3])) : std::nullopt};
    auto& same = runs[row[0]];
    if (same.empty() || c.alone() || same.back()[0].alone()) same.emplace_back();
    same.back().push_back(c);
  }
  EXPECT_GT(runs.size(), 50u);
  for (const auto& [switch_text, groups] : runs) {
    std::vector<std::string> arguments = words(switch_text);
    arguments.insert(arguments.end(), {"-ni", "in.txt", "out.txt"});
    const auto run = [&](const Bytes& input, const std::string& what, const Bytes& expected, const std::optional<Bytes>& err) {
      TempDir dir;
      write_file(dir / "in.txt", input);
      const RunResult r = run_recodia(arguments, dir.path());
      const Bytes out = std::filesystem::exists(dir / "out.txt") ? read_file(dir / "out.txt") : "";
      EXPECT_EQ(r.exit_code, 0) << what;
      if (err) {
        EXPECT_TRUE(same_messages(*err, r.err)) << what;
      }
      return testing::AssertionResult(same_bytes(expected, out)) << what;
    };
    for (const auto& group : groups) {
      Bytes input, expected;
      for (const Case& c : group) input += c.input, expected += c.expected;
      const auto together = run(input, switch_text, expected, group[0].err);
      EXPECT_TRUE(together);
      for (std::size_t i = 0; !together && group.size() > 1 && i < group.size(); ++i)
        EXPECT_TRUE(run(group[i].input, group[i].what, group[i].expected, std::nullopt));
    }
  }
}

// Standard input is read for the detection and converted whole: a text far
// longer than the sample, and one whose first 100 KB are plain ASCII.
TEST(Conversions, AutoStandardInputIsDetectedAndConvertedWhole) {
  const Bytes koi8r = field_bytes("KOI8-R:@russian.txt");
  const Bytes ascii = repeated("plain \"ASCII\" text\n", 100000);
  for (const Bytes& input : {repeated(koi8r, 200000), ascii + koi8r + ascii}) {
    TempDir dir;
    write_file(dir / "in", input);
    const RunResult r = run_recodia({"-ni", "-auto", "-toutf8"}, dir.path(), {.standard_input_file = dir / "in"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(same_bytes(iconv_convert("KOI8-R", "UTF-8", input), r.out));
    EXPECT_EQ(r.err, "");  // a filter says nothing on success
  }
}

// Memory does not grow with the text: a run over 32 MiB of standard input
// (whose start is held for the detection) peaks within a few MiB of one over 1 MiB.
TEST(Conversions, MemoryDoesNotGrowWithTheText) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer keeps freed memory in quarantine";
#endif
  if (windows_program()) GTEST_SKIP() << "wine's own memory is not the program's";
  const Bytes koi8r = field_bytes("KOI8-R:@russian.txt"), utf8 = iconv_convert("KOI8-R", "UTF-8", koi8r);
  long peak[2] = {};
  for (const std::size_t copies : {(1u << 20) / koi8r.size(), (32u << 20) / koi8r.size()}) {
    // Written piece by piece: a forked child counts its parent's memory until it runs the program.
    TempDir dir;
    std::ofstream in(dir / "in", std::ios::binary);
    for (std::size_t i = 0; i < copies; ++i) in << koi8r;
    in.close();
    const RunResult r = run_recodia({"-ni", "-auto", "-toutf8", "-", "out"}, dir.path(), {.standard_input_file = dir / "in"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(std::filesystem::file_size(dir / "out"), copies * utf8.size());
    peak[copies * koi8r.size() > (1u << 20)] = r.peak_memory_kib;
  }
  EXPECT_LT(peak[1] - peak[0], 8 * 1024) << "KiB more for 32 MiB than for 1 MiB";
}

// "-pdt" gives the output the input's time, rounded down to even seconds,
// between two files and in place, within the years that DOS can hold.
TEST(Conversions, PreserveTimeRoundsDownToEvenSecondsWithinTheDosYears) {
  struct Case {
    const char* pdt;
    int year, second;
    long nanoseconds;
    bool carried;
  };
  for (const Case& c : {Case{"-pdt", 2019, 57, 600000000, true}, Case{"-pdt", 1980, 1, 0, true}, Case{"-pdt", 2107, 58, 0, true},
                        Case{"-pdt", 1975, 3, 0, false}, Case{"-pdt", 2110, 3, 0, false}, Case{"-nec", 2001, 0, 0, false}}) {
    for (const char* output : {"out", "in"}) {
      SCOPED_TRACE(testing::Message() << c.pdt << " " << c.year << " :" << c.second << " into " << output);
      TempDir dir;
      write_file(dir / "in", "a\r\n");
      const long long seconds = local_seconds(c.year, c.year == 1980 ? 1 : 6, 1, 12, 34, c.second);
      set_modification_time(dir / "in", seconds * 1000000000 + c.nanoseconds);
      ASSERT_EQ(run_recodia({"-ni", c.pdt, "-lf", "in", output}, dir.path()).exit_code, 0);
      EXPECT_EQ(read_file(dir / output), "a\n");
      const long long t = modification_time(dir / output);
      EXPECT_TRUE(c.carried ? t == (seconds - c.second % 2) * 1000000000 : t > local_seconds(2020, 1, 1, 0, 0, 0) * 1000000000)
          << "not the input's time, nor the time it was written";
    }
  }
}

}  // namespace
}  // namespace recodia::test
