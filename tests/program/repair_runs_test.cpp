// "-fix" and "-detect" on damaged files as the program runs them: in place
// over several files, each reported, and a sound file left byte for byte;
// -detect naming the damaged lines.
#include "process.hpp"

namespace recodia::test {
namespace {

// Three sound lines, then lines of UTF-8 read as Windows 1251, saved as UTF-8.
Bytes half_damaged() {
  const Bytes sound = "Первая строка сообщения.\nВторая строка.\nok\n";
  const Bytes damage = "Привет, как дела? Это письмо о погоде на завтра.\nВы уверены, что хотите удалить этот файл?\n";
  return sound + iconv_convert("WINDOWS-1251", "UTF-8", damage);
}

TEST(RepairRuns, DetectNamesTheDamagedLines) {
  TempDir dir;
  write_file(dir / "a.txt", half_damaged());
  write_file(dir / "b.txt", "Первая строка сообщения.\n");
  const RunResult r = run_recodia({"-detect", "a.txt", "b.txt"}, dir.path());
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "a.txt: -utf8 UTF-8, mojibake: UTF-8 read as Windows-1251 (lines 4\u20135)\nb.txt: -utf8 UTF-8\n");
}

TEST(RepairRuns, InPlaceRepairsEachFileAndSaysSo) {
  TempDir dir;
  write_file(dir / "a.txt", half_damaged());
  write_file(dir / "b.txt", iconv_convert("WINDOWS-1252", "UTF-8", "Le café est très bon à Paris, même en été.\n"));
  const Bytes sound = "Þórður fór til Reykjavíkur.\nПРИВЕТ МИР\n";
  write_file(dir / "c.txt", sound);
  const RunResult r = run_recodia({"-fix", "-utf8", "-toutf8", "-i", "-ni", "a.txt", "b.txt", "c.txt"}, dir.path());
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(read_file(dir / "a.txt"),
            "Первая строка сообщения.\nВторая строка.\nok\n"
            "Привет, как дела? Это письмо о погоде на завтра.\nВы уверены, что хотите удалить этот файл?\n");
  EXPECT_EQ(read_file(dir / "b.txt"), "Le café est très bon à Paris, même en été.\n");
  EXPECT_EQ(read_file(dir / "c.txt"), sound);
  EXPECT_TRUE(same_messages("recodia: converting 'a.txt' in place\n"
                            "recodia: 'a.txt': fixed 2 lines: UTF-8 read as Windows-1251\n"
                            "recodia: converting 'b.txt' in place\n"
                            "recodia: 'b.txt': fixed 1 lines: UTF-8 read as Windows-1252\n"
                            "recodia: converting 'c.txt' in place\n",
                            r.err));
  // Quiet: nothing but errors.
  write_file(dir / "a.txt", half_damaged());
  const RunResult quiet = run_recodia({"-fix", "-utf8", "-toutf8", "-i", "-q", "a.txt"}, dir.path());
  EXPECT_EQ(quiet.err, "");
}

// Lines that Windows 1252 and ISO 8859-15 read alike settle the chain; the
// line that tells them apart (è is 0xA8, read as š by ISO 8859-15 alone) is
// searched again, not pushed through the settled page.
TEST(RepairRuns, ASettledChainGivesWayWhereAnotherPageReadsOtherwise) {
  TempDir dir;
  Bytes original;
  for (int i = 0; i < 5; ++i) original += "Le café à la gare était fermé, hélas, pour la journée.\n";
  original += "Il est très tard, près de minuit, et la fenêtre est ouverte.\n";
  write_file(dir / "a.txt", iconv_convert("ISO-8859-15", "UTF-8", original));
  const RunResult r = run_recodia({"-fix", "-utf8", "-toutf8", "-q", "a.txt", "b.txt"}, dir.path());
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(read_file(dir / "b.txt"), original);
}

// In place keeps its refusals: a file that is not text is left as it was.
TEST(RepairRuns, InPlaceStillRefusesWhatIsNotText) {
  TempDir dir;
  const Bytes binary = Bytes("\x7F" "ELF\x02\x01\x01", 7) + Bytes(64, '\0');
  write_file(dir / "a.bin", binary);
  const RunResult r = run_recodia({"-fix", "-utf8", "-toutf8", "-i", "-ni", "a.bin"}, dir.path());
  EXPECT_NE(r.exit_code, 0);
  EXPECT_EQ(read_file(dir / "a.bin"), binary);
}

}  // namespace
}  // namespace recodia::test
