// "-auto", "-detect" and the guard, through the program: real texts in
// several scripts, standard input longer than the detection's sample, and what
// standard output and standard error carry. The detector's own answers are
// tested in detect_test.cpp.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.hpp"

namespace recodia::test {
namespace {

Bytes data_file(const std::string& name) { return read_file(std::string(RECODIA_SOURCE_DIR) + "/tests/data/" + name); }

Bytes repeated(const Bytes& text, std::size_t at_least) {
  Bytes out;
  while (out.size() < at_least) out += text;
  return out;
}

// Standard input is read for the detection and converted whole: a text far
// longer than the sample, and one whose first 100 KB are plain ASCII.
TEST(Auto, StandardInputIsDetectedAndConvertedWhole) {
  const Bytes koi8r = iconv_convert("UTF-8", "KOI8-R", data_file("russian.txt"));
  const Bytes ascii = repeated("plain \"ASCII\" text\n", 100000);
  for (const Bytes& input : {repeated(koi8r, 200000), ascii + koi8r + ascii}) {
    TempDir dir;
    write_file(dir / "in", input);
    const RunResult r = run_recodia({"-ni", "-auto", "-toutf8"}, dir.path(), {.standard_input_file = dir / "in"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(same_bytes(iconv_convert("KOI8-R", "UTF-8", input), r.out));
    EXPECT_EQ(r.err, "Wait...\nrecodia: standard input: detected KOI8-R (-koi8)\n Done.\n");
  }
}

// A real text per script, detected and converted as its own switch would.
TEST(Auto, RealTextsInEachScript) {
  struct Case {
    std::string text;  // UTF-8
    const char* charset;
    std::vector<std::string> target;
    const char* detected;
  };
  const Case cases[] = {
      {data_file("russian.txt"), "CP1251", {"-toutf8"}, "detected Windows-1251 (-w)"},
      {iconv_convert("CP866", "UTF-8", data_file("detect/cp866-table.txt")), "CP866", {"-toutf8"},
       "detected CP866 (-dos)"},
      {data_file("turkish.txt"), "CP857", {"-toutf8"}, "detected CP857 (-857)"},
      {data_file("french.txt"), "MACINTOSH", {"-toutf8"}, "detected MacRoman (-macroman)"},
      {data_file("french.txt"), "CP1252", {"-toutf8"}, "detected Windows-1252 (-1252)"},
      {data_file("russian.txt"), "UTF-8", {"-tokoi8"}, "detected UTF-8 (-utf8)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.charset);
    TempDir dir;
    write_file(dir / "in.txt", iconv_convert("UTF-8", c.charset, c.text));
    std::vector<std::string> args = {"-ni", "-nta", "-auto", "in.txt", "out.txt"};
    args.insert(args.end(), c.target.begin(), c.target.end());
    const RunResult r = run_recodia(args, dir.path());
    EXPECT_EQ(r.exit_code, 0);
    const Bytes expected = c.target[0] == "-toutf8" ? c.text : iconv_convert("UTF-8", "KOI8-R", c.text);
    EXPECT_TRUE(same_bytes(expected, read_file(dir / "out.txt")));
    EXPECT_EQ(r.err, std::string("recodia: 'in.txt': ") + c.detected + "\n");
  }
}

// The guard: a text already in the target is copied (its line ends aside); a
// source switch that plainly does not fit is obeyed, and named on standard
// error; where it fits, nothing is said.
TEST(Auto, TheGuard) {
  const Bytes russian = data_file("russian.txt"), french = data_file("french.txt");
  const Bytes koi8r = iconv_convert("UTF-8", "KOI8-R", russian), table = data_file("detect/cp866-table.txt");
  Bytes koi8r_crlf;
  for (char c : koi8r) koi8r_crlf += c == '\n' ? Bytes("\r\n") : Bytes(1, c);
  struct Case {
    std::vector<std::string> switches;
    Bytes input, output;
    std::string err;  // after "recodia: "
  };
  const Case cases[] = {
      {{"-auto", "-tokoi8"}, koi8r_crlf, koi8r,
       "'in.txt': detected KOI8-R (-koi8), already the target encoding; its characters are written unchanged"},
      {{"-auto", "-tokoi8u"}, koi8r, koi8r,
       "'in.txt': detected KOI8-R (-koi8), already the target encoding; its characters are written unchanged"},
      {{"-auto", "-toutf8"}, russian, russian,
       "'in.txt': detected UTF-8 (-utf8), already the target encoding; its characters are written unchanged"},
      {{"-auto", "-towin"}, "a \"b\"\n", "a \"b\"\r\n",
       "'in.txt': plain ASCII, which every encoding reads alike; its characters are written unchanged"},
      {{"-1252", "-toutf8", "-nta"}, french, iconv_convert("CP1252", "UTF-8", french),
       "'in.txt' looks like UTF-8 (-utf8), not Windows-1252; converted as Windows-1252, as asked"},
      {{"-w", "-toutf8"}, koi8r, iconv_convert("CP1251", "UTF-8", koi8r),
       "'in.txt' looks like KOI8-R (-koi8), not Windows-1251; converted as Windows-1251, as asked"},
      {{"-koi8u", "-toutf8"}, koi8r, russian, ""},
      {{"-dos", "-toutf8"}, table, iconv_convert("CP866", "UTF-8", table), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.switches));
    TempDir dir;
    write_file(dir / "in.txt", c.input);
    std::vector<std::string> args = c.switches;
    args.insert(args.end(), {"-ni", "in.txt", "out.txt"});
    const RunResult r = run_recodia(args, dir.path());
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "Wait...\n Done.\n");
    EXPECT_TRUE(same_bytes(c.output, read_file(dir / "out.txt")));
    EXPECT_EQ(r.err, c.err.empty() ? "" : "recodia: " + c.err + "\n");
  }
  // UTF-8 named that is not: the warning, in Russian too, and the bytes it could not read.
  TempDir dir;
  write_file(dir / "in.txt", iconv_convert("UTF-8", "CP1251", russian));
  const RunResult r = run_recodia({"-rus", "-ni", "-utf8", "-towin", "in.txt", "out.txt"}, dir.path());
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.err.substr(0, r.err.find('\n')),
            iconv_convert("UTF-8", "CP866", "recodia: 'in.txt' похож на Windows-1251 (-w), а не на UTF-8; "
                                            "преобразован как UTF-8, как задано"));
}

// An answer that is not sure converts into another file, with a warning, but
// never replaces the only copy.
TEST(Auto, AnUnsureAnswerIsNotWrittenInPlace) {
  const Bytes unsure = data_file("detect/iso-8859-15.txt");
  TempDir dir;
  write_file(dir / "a.txt", unsure);
  RunResult r = run_recodia({"-ni", "-auto", "-toutf8", "a.txt", "b.txt"}, dir.path());
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.err, "recodia: 'a.txt': detected ISO-8859-15 (-iso8859_15), but not surely; if the text comes out "
                   "wrong, name its encoding with a switch\n");
  r = run_recodia({"-ni", "-auto", "-toutf8", "-i", "a.txt"}, dir.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "recodia: converting 'a.txt' in place\nrecodia: cannot convert 'a.txt' in place: its encoding is "
                   "not sure (most likely ISO-8859-15, -iso8859_15); name it with a switch\n");
  EXPECT_TRUE(same_tree(Tree{{"a.txt", "644 " + unsure}, {"b.txt", "644 " + read_file(dir / "b.txt")}},
                        tree(dir.path())));
}

// One line per file on standard output, standard input among them; a file
// that cannot be read is said on standard error and makes the exit code 1.
TEST(Auto, DetectNamesEachFile) {
  TempDir dir;
  write_file(dir / "ascii.txt", "plain text\r\n");
  write_file(dir / "empty.txt", "");
  write_file(dir / "utf8.txt", data_file("russian.txt"));
  write_file(dir / "koi8.txt", data_file("detect/koi8-r.txt"));
  write_file(dir / "850.txt", data_file("detect/cp850-table.txt"));
  write_file(dir / "unsure.txt", data_file("detect/iso-8859-15.txt"));
  write_file(dir / "stdin", data_file("detect/windows-1254.txt"));
  const std::vector<std::string> names = {"ascii.txt", "empty.txt", "utf8.txt", "koi8.txt", "850.txt", "-",
                                          "unsure.txt"};
  const std::string lines =
      "ascii.txt: ascii\nempty.txt: ascii\nutf8.txt: -utf8 UTF-8\nkoi8.txt: -koi8 KOI8-R\n850.txt: -850 CP850\n"
      "-: -1254 Windows-1254\nunsure.txt: -iso8859_15 ISO-8859-15\n";
  const std::string unsure_line = "recodia: 'unsure.txt': most likely ISO-8859-15, but not surely\n";
  std::vector<std::string> args = {"-detect"};
  args.insert(args.end(), names.begin(), names.end());
  RunResult r = run_recodia(args, dir.path(), {.standard_input_file = dir / "stdin"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, lines);
  EXPECT_EQ(r.err, unsure_line);

  args.insert(args.begin() + 2, "missing.txt");
  r = run_recodia(args, dir.path(), {.standard_input_file = dir / "stdin"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, lines);
  EXPECT_TRUE(same_messages("recodia: cannot open 'missing.txt': No such file or directory\n" + unsure_line, r.err));
}

}  // namespace
}  // namespace recodia::test
