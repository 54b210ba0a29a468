// UTF-16 and UTF-32 files as Windows programs leave them, through the whole
// program: "-detect" names each, "-auto" and a source switch convert them in
// place and from a pipe, and the guard says when a named form does not fit.
#include "process.hpp"

namespace recodia::test {
namespace {

struct File {
  const char* name;
  Bytes bytes;
  const char* sample;    // what it reads as, in UTF-8 (tests/data)
  const char* detected;  // -detect's answer
};

std::vector<File> wide_files() {
  const Bytes russian = data_file("russian.txt"), german = data_file("german.txt");
  return {
      {"notepad.txt", iconv_convert("UTF-8", "UTF-16", replace_all(russian, "\n", "\r\n")), "russian.txt", "-utf16 UTF-16LE"},
      {"export.txt", iconv_convert("UTF-8", "UTF-16BE", german), "german.txt", "-utf16be UTF-16BE"},
      {"bare.txt", iconv_convert("UTF-8", "UTF-16LE", russian), "russian.txt", "-utf16 UTF-16LE"},
      {"wide.txt", iconv_convert("UTF-8", "UTF-32", russian), "russian.txt", "-utf32 UTF-32LE"},
      {"widebe.txt", Bytes("\0\0\xFE\xFF", 4) + iconv_convert("UTF-8", "UTF-32BE", german), "german.txt", "-utf32be UTF-32BE"},
  };
}

TEST(UnicodeFormsRun, DetectedAndConvertedInPlace) {
  TempDir dir;
  std::vector<std::string> detect = {"-detect"}, in_place = {"-ni", "-auto", "-toutf8", "-i"};
  std::string lines, said;
  for (const File& f : wide_files()) {
    write_file(dir / f.name, f.bytes);
    detect.emplace_back(f.name);
    in_place.emplace_back(f.name);
    lines += std::string(f.name) + ": " + f.detected + "\n";
    const std::string name = f.detected;
    said += "recodia: converting '" + std::string(f.name) + "' in place\nrecodia: '" + f.name + "': detected " +
            name.substr(name.find(' ') + 1) + " (" + name.substr(0, name.find(' ')) + ")\n";
  }
  const RunResult answers = run_recodia(detect, dir.path());
  EXPECT_EQ(answers.exit_code, 0);
  EXPECT_EQ(answers.out, lines);
  EXPECT_EQ(answers.err, "");
  const RunResult converted = run_recodia(in_place, dir.path());
  EXPECT_EQ(converted.exit_code, 0) << converted.err;
  EXPECT_TRUE(same_messages(said, converted.err));
  for (const File& f : wide_files()) EXPECT_TRUE(same_bytes(data_file(f.sample), read_file(dir / f.name))) << f.name;
}

// A source switch in place, Notepad's file back into UTF-16, and a pipe.
TEST(UnicodeFormsRun, NamedInPlaceBackIntoUtf16AndFromAPipe) {
  TempDir dir;
  const Bytes notepad = wide_files()[0].bytes;
  write_file(dir / "a.txt", notepad);
  RunResult r = run_recodia({"-ni", "-utf16", "-toutf8", "-i", "a.txt"}, dir.path());
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(same_bytes(data_file("russian.txt"), read_file(dir / "a.txt")));
  r = run_recodia({"-ni", "-utf8", "-toutf16", "a.txt", "b.txt"}, dir.path());
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(same_bytes(notepad, read_file(dir / "b.txt")));  // mark, little-endian, CR LF: as Notepad saved it
  write_file(dir / "in", wide_files()[1].bytes);
  r = run_recodia({"-ni", "-auto", "-to1252"}, dir.path(), {.standard_input_file = dir / "in"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_TRUE(same_bytes(field_bytes("CP1252,crlf:@german.txt"), r.out));
  EXPECT_EQ(r.err, "");  // a filter says nothing unless something is wrong
}

// "-auto" passes on plain ASCII before the first letter beyond it, far into
// the text: into UTF-16 that is written as UTF-16 too, the byte-order mark once.
TEST(UnicodeFormsRun, AutoIntoUtf16AfterALongStretchOfAscii) {
  TempDir dir;
  const Bytes ascii = repeated("plain \"ASCII\" text\n", 100000), russian = data_file("russian.txt");
  write_file(dir / "in", ascii + iconv_convert("UTF-8", "CP1251", russian));
  const RunResult r = run_recodia({"-ni", "-auto", "-toutf16", "in", "out"}, dir.path());
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(same_bytes(iconv_convert("UTF-8", "UTF-16", replace_all(ascii + russian, "\n", "\r\n")), read_file(dir / "out")));
}

// The guard: a UTF-16 file named as a code page, and a code page named as UTF-16.
TEST(UnicodeFormsRun, GuardSaysWhatTheTextLooksLike) {
  TempDir dir;
  write_file(dir / "wide.txt", wide_files()[0].bytes);
  write_file(dir / "cp1251.txt", field_bytes("CP1251:@russian.txt"));
  RunResult r = run_recodia({"-ni", "-w", "-toutf8", "wide.txt", "out"}, dir.path());
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_TRUE(same_messages("recodia: 'wide.txt' looks like UTF-16LE (-utf16), not Windows-1251; converted as Windows-1251, as asked\n", r.err));
  r = run_recodia({"-ni", "-utf16be", "-toutf8", "cp1251.txt", "out"}, dir.path());
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_TRUE(r.err.starts_with("recodia: 'cp1251.txt' looks like Windows-1251 (-w), not UTF-16BE; converted as UTF-16BE, as asked\n")) << r.err;
}

}  // namespace
}  // namespace recodia::test
