// Whole runs of "-detect" and "-auto" on the texts that need the whole file:
// binary content, UTF-8 with a stray byte, parts in different encodings; and
// a device or a pipe that never ends.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <thread>

#include "process.hpp"

namespace recodia::test {
namespace {

struct Texts {
  Bytes russian = data_file("russian.txt");
  Bytes halves = repeated(iconv_convert("UTF-8", "CP1251", russian), 20000) +
                 repeated(iconv_convert("UTF-8", "KOI8-R", russian), 20000);
  Bytes stray = russian + " Caf\xE9 au lait\n" + russian;
  Bytes png = Bytes("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR", 16);
};

TEST(DetectionRuns, DetectNamesEachAnswerOnOneLine) {
  const Texts t;
  TempDir dir;
  write_file(dir / "halves.txt", t.halves);
  write_file(dir / "stray.txt", t.stray);
  write_file(dir / "image.png", t.png);
  const RunResult r = run_recodia({"-detect", "halves.txt", "stray.txt", "image.png"}, dir.path());
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "halves.txt: mixed: -w lines 1\u2013268, -koi8 lines 269\u2013536\n"
                   "stray.txt: -utf8 UTF-8, 1 stray byte read as -1252 Windows-1252\n"
                   "image.png: binary (PNG image)\n");
  EXPECT_EQ(r.err, "");
  if (!windows_program()) {
    const RunResult zero = run_recodia({"-detect", "/dev/zero"}, dir.path());
    EXPECT_EQ(zero.out, "/dev/zero: binary (NUL bytes)\n");
  }
}

TEST(DetectionRuns, AutoConvertsEachPartFromItsOwnAndReadsStrayBytes) {
  const Texts t;
  TempDir dir;
  write_file(dir / "halves.txt", t.halves);
  write_file(dir / "stray.txt", t.stray);
  RunResult r = run_recodia({"-ni", "-auto", "-toutf8", "halves.txt", "out.txt"}, dir.path());
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_TRUE(same_messages("recodia: 'halves.txt': parts in different encodings, each converted from its own: "
                            "-w lines 1-268, -koi8 lines 269-536\n", r.err));
  EXPECT_EQ(read_file(dir / "out.txt"), iconv_convert("CP1251", "UTF-8", t.halves.substr(0, t.halves.size() / 2)) +
                                            iconv_convert("KOI8-R", "UTF-8", t.halves.substr(t.halves.size() / 2)));
  r = run_recodia({"-ni", "-auto", "-toutf8", "stray.txt", "out.txt"}, dir.path());
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_TRUE(same_messages("recodia: 'stray.txt': detected UTF-8 (-utf8) with stray bytes (1), each read as "
                            "Windows-1252 (-1252)\n", r.err));
  EXPECT_EQ(read_file(dir / "out.txt"), t.russian + " Caf\u00E9 au lait\n" + t.russian);
}

TEST(DetectionRuns, AutoRefusesBinaryAndMixedInPlace) {
  const Texts t;
  TempDir dir;
  write_file(dir / "halves.txt", t.halves);
  write_file(dir / "image.png", t.png);
  RunResult r = run_recodia({"-ni", "-auto", "-toutf8", "-i", "halves.txt"}, dir.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_TRUE(same_messages("recodia: converting 'halves.txt' in place\nrecodia: cannot convert 'halves.txt' in place: "
                            "its parts are in different encodings (-w lines 1-268, -koi8 lines 269-536); "
                            "convert it into another file\n", r.err));
  EXPECT_EQ(read_file(dir / "halves.txt"), t.halves);
  r = run_recodia({"-ni", "-auto", "-toutf8", "image.png", "out.txt"}, dir.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_TRUE(same_messages("recodia: cannot convert 'image.png': it is not text (PNG image); name its encoding "
                            "with a switch to convert it all the same\n", r.err));
  EXPECT_FALSE(std::filesystem::exists(dir / "out.txt")) << "a refused run leaves no empty file";
}

// With a source switch too, in place refuses what is not text and a file whose
// parts disagree anywhere (the whole file is surveyed, not its first 64 KiB);
// "-force" converts as told.
TEST(DetectionRuns, NamedSourceRefusesBinaryAndMixedInPlace) {
  const Texts t;
  TempDir dir;
  write_file(dir / "halves.txt", t.halves);
  write_file(dir / "image.png", t.png);
  RunResult r = run_recodia({"-ni", "-w", "-toutf8", "-i", "halves.txt", "image.png"}, dir.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_TRUE(same_messages("recodia: converting 'halves.txt' in place\nrecodia: cannot convert 'halves.txt' in place: "
                            "its parts are in different encodings (-w lines 1-268, -koi8 lines 269-536); "
                            "convert it into another file\nrecodia: converting 'image.png' in place\n"
                            "recodia: cannot convert 'image.png' in place: it is not text (PNG image); add -force "
                            "to convert it all the same\n", r.err)) << r.err;
  EXPECT_EQ(read_file(dir / "halves.txt"), t.halves);
  EXPECT_EQ(read_file(dir / "image.png"), t.png);
  r = run_recodia({"-ni", "-q", "-w", "-toutf8", "-i", "-force", "halves.txt"}, dir.path());
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(read_file(dir / "halves.txt"), iconv_convert("CP1251", "UTF-8", t.halves));
}

// A pipe that never ends is read only as far as the bound, and said so.
TEST(DetectionRuns, DetectReadsAnEndlessPipeOnlySoFar) {
  if (windows_program()) GTEST_SKIP() << "(left out under wine: a FIFO as standard input)";
  TempDir dir;
  const auto fifo = dir / "endless";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::signal(SIGPIPE, SIG_IGN);
  std::thread writer([&] {
    const int fd = ::open(fifo.c_str(), O_WRONLY);
    const std::string lines(4096, 'y');
    while (fd >= 0 && ::write(fd, lines.data(), lines.size()) > 0) {
    }
    if (fd >= 0) ::close(fd);
  });
  const RunResult r = run_recodia({"-detect"}, dir.path(), {.standard_input_file = fifo});
  writer.join();
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "-: ascii\n");
  EXPECT_EQ(r.err, "recodia: standard input: not a regular file; only its first 1048576 bytes were read\n");
}

TEST(DetectionRuns, AutoInPlaceReadsStrayBytesIntoWholeUtf8) {
  const Texts t;
  TempDir dir;
  write_file(dir / "stray.txt", t.stray);
  const RunResult r = run_recodia({"-ni", "-auto", "-toutf8", "-i", "stray.txt"}, dir.path());
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(read_file(dir / "stray.txt"), t.russian + " Caf\u00E9 au lait\n" + t.russian);
}

}  // namespace
}  // namespace recodia::test
