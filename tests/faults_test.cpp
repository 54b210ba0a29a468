// What goes wrong: inputs that cannot be read, outputs that cannot be
// written, full disks, every temporary name taken, standard output as the
// output or closed, and each step of the in-place replacement failing in
// turn. No file may be lost, and no failure reported as success.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <map>
#include <string>
#include <vector>

#include "fault_injection.hpp"
#include "test_support.hpp"

namespace recodia::test {
namespace {

const std::string kWait = message(Language::english, kWaitMessage);
const std::string kDone = message(Language::english, kDoneMessage);
// The Windows program has no part in these.
const char* const kInProcess = "faults injected through the POSIX services, in process";

TEST(Faults, RealRunsLoseNothing) {
  const std::string ok = kWait + kDone, text = "644 " + converted_text();
  const std::string ru = message(Language::russian, kWaitMessage) + message(Language::russian, kDoneMessage);
  const ProcessSetting nobody{.unprivileged = true};  // where root's rights would hide the fault
  check_real_runs({
      {"missing input", {"missing", "old.txt"}, 1, "", "recodia: cannot open 'missing': No such file or directory\n", {}},
      {"missing input, in place", {"missing", "missing"}, 1, "", "recodia: cannot open 'missing': No such file or directory\n", {}},
      {"unreadable input", {"secret.txt", "old.txt"}, 1, "", "recodia: cannot open 'secret.txt': Permission denied\n", {}, nobody},
      {"unreadable input, in place", {"secret.txt", "secret.txt"}, 1, "", "recodia: cannot open 'secret.txt': Permission denied\n", {}, nobody},
      {"input is a folder", {"folder", "new.txt"}, 1, "", "recodia: cannot open 'folder': Is a directory\n", {}},
      {"input is a folder, in place", {"folder", "folder"}, 1, "", "recodia: cannot open 'folder': Is a directory\n", {}},
      {"current folder not writable, in place", {"../a.txt", "../a.txt"}, 1, "",
       "recodia: cannot create the temporary file 'TMP1.$$$': Permission denied\n", {}, nobody, "locked"},
      {"output folder not writable", {"a.txt", "locked/new.txt"}, 1, "", "recodia: cannot create 'locked/new.txt': Permission denied\n", {}, nobody},
      {"missing output folder", {"a.txt", "none/new.txt"}, 1, "", "recodia: cannot create 'none/new.txt': No such file or directory\n", {}},
      {"output is a folder", {"a.txt", "folder"}, 1, "", "recodia: cannot create 'folder': Is a directory\n", {}},
      {"a name component too long", {"a.txt", std::string(300, 'z')}, 1, "",
       "recodia: cannot create '" + std::string(300, 'z') + "': File name too long\n", {}},
      {"a device in place", {"null", "null"}, 1, "", "recodia: cannot convert 'null' in place: it is not a regular file\n", {}},
      {"rename refused", {"../locked/b.txt", "../locked/b.txt"}, 1, kWait,
       "recodia: '../locked/b.txt' was converted to 'TMP1.$$$' but could not replace the original: Permission denied"
       " (the converted text is kept in 'TMP1.$$$')\n",
       {{"work/TMP1.$$$", "666 " + converted_text()}}, nobody, "work"},
      {"rename refused, the first names taken", {"../locked/b.txt", "../locked/b.txt"}, 1, kWait,
       "recodia: 'TMP1.$$$' is in the way, perhaps left by an interrupted run; it is left alone\n"
       "recodia: '../locked/b.txt' was converted to 'TMP4.$$$' but could not replace the original: Permission denied"
       " (the converted text is kept in 'TMP4.$$$')\n",
       {{"busy/TMP4.$$$", "666 " + converted_text()}}, nobody, "busy"},
      {"full disk, small file", {"a.txt", "/dev/full"}, 1, kWait, "recodia: cannot write '/dev/full': No space left on device\n", {}},
      {"full disk", {"big.txt", "/dev/full"}, 1, kWait, "recodia: cannot write '/dev/full': No space left on device\n", {}},
      {"full disk, nothing to write", {"empty.txt", "/dev/full"}, 0, ok, "", {}},
      {"empty input empties the output", {"empty.txt", "old.txt"}, 0, ok, "", {{"old.txt", "666 "}}},
      // Messages never go into the text: not to standard output when it is the
      // output, or the input that the output is appended to; and no file takes
      // the number of a standard stream that the program was started without.
      {"/dev/stdout", {"a.txt", "/dev/stdout"}, 0, converted_text(), ok, {}},
      {"redirected to the output", {"a.txt", "out"}, 0, "", ok, {{"out", text}}, {.standard_output_file = "out"}},
      {"redirected elsewhere", {"a.txt", "b"}, 0, "", "", {{"b", text}, {"out", "644 " + ok}},
       {.standard_output_file = "out"}},
      {"appended to the input", {"a.txt", "b"}, 0, "", ok, {{"b", text}},
       {.standard_output_file = "a.txt", .append_standard_output = true}},
      {"standard output closed", {"a.txt", "b"}, 0, "", "", {{"b", text}}, {.closed_descriptors = {1}}},
      {"all closed, in place", {"a.txt", "a.txt"}, 0, "", "", {{"a.txt", text}}, {.closed_descriptors = {0, 1, 2}}},
      {"all closed", {"a.txt", "b"}, 0, "", "", {{"b", text}}, {.closed_descriptors = {0, 1, 2}}},
      {"standard error closed", {"a.txt", "b"}, 0, ok, "", {{"b", text}}, {.closed_descriptors = {2}}},
      // Russian messages are readable on a UTF-8 terminal, and stored bytes elsewhere.
      {"UTF-8 terminal", {"-rus", "a.txt", "b"}, 0, iconv_convert("CP866", "UTF-8", ru), "", {{"b", text}},
       {.standard_output_terminal = true, .locale = "C.UTF-8"}},
      {"other terminal", {"-rus", "a.txt", "b"}, 0, ru, "", {{"b", text}},
       {.standard_output_terminal = true, .locale = "C"}},
      {"UTF-8 pipe", {"-rus", "a.txt", "b"}, 0, ru, "", {{"b", text}}, {.locale = "C.UTF-8"}},
      {"Russian error on a UTF-8 terminal", {"-rus", "missing", "b"}, 1,
       "recodia: не удалось открыть 'missing': No such file or directory\n", "", {},
       {.standard_output_terminal = true, .standard_error_to_output = true, .locale = "C.UTF-8"}},
      // The command line is checked before anything is opened.
      {"unknown switch", {"a.txt", "-tokoi", "b"}, 1, "", "recodia: unknown switch '-tokoi'; did you mean '-tokoi8'?\n", {}},
      {"three names", {"a.txt", "b", "a.txt"}, 1, "",
       "recodia: too many file names (3); to convert several files in place, use -i\n", {}},
      {"a dash name after --", {"a.txt", "--", "-x"}, 0, ok, "", {{"-x", text}}},
      {"a Cyrillic name", {"a.txt", "письмо.txt"}, 0, ok, "", {{"письмо.txt", text}}},
      // Several files in place: one that fails is said and left, the others converted.
      // A file named again, here through a link, is converted once.
      {"-i", {"-i", "a.txt", "missing", "private.txt", "link"}, 1, ok + ok,
       "recodia: converting 'a.txt' in place\nrecodia: converting 'missing' in place\n"
       "recodia: cannot open 'missing': No such file or directory\nrecodia: converting 'private.txt' in place\n"
       "recodia: 'link' is named again; it is converted once\n",
       {{"a.txt", text}, {"private.txt", "600 " + converted_text()}}},
      // The standard streams: "-" for either, and no name at all when standard input is no terminal.
      {"filter", {}, 0, converted_text(), ok, {}, {.standard_input_file = "a.txt"}},
      {"- -", {"-", "-"}, 0, converted_text(), ok, {}, {.standard_input_file = "a.txt"}},
      {"- b", {"-", "b"}, 0, ok, "", {{"b", text}}, {.standard_input_file = "a.txt"}},
      {"a.txt -", {"a.txt", "-"}, 0, converted_text(), ok, {}},
      {"a.txt - >> a.txt", {"a.txt", "-"}, 1, "",
       "recodia: cannot convert 'a.txt' into itself through standard output; name it twice to convert it in place\n", {},
       {.standard_output_file = "a.txt", .append_standard_output = true}},
      {"-i -", {"-i", "-"}, 1, "", "recodia: converting standard input in place\n"
       "recodia: cannot convert standard input or output in place\n", {}},
      // A reader that has gone takes no message with it, only the converted text.
      {"closed pipe, in place", {"a.txt", "a.txt"}, 0, "", "", {{"a.txt", text}}, {.standard_output_broken_pipe = true}},
      {"closed pipe as the output", {"a.txt", "-"}, 1, "", kWait + "recodia: cannot write standard output: Broken pipe\n", {},
       {.standard_output_broken_pipe = true}},
  });
}

TEST(Faults, EveryStepOfTheInPlaceReplacementFailsInTurn) {
  if (windows_program()) GTEST_SKIP() << kInProcess;
  using K = platform::Failure::Kind;
  enum Left { nothing, partial, complete, replaced };
  struct Case {
    const char* step;
    std::vector<Fault> faults;
    Left left;
    // What standard error says; each failure names its reason.
    std::string err;
    // The temporary file is its owner's alone until the text is complete.
    const char* kept_mode = "640";
  };
  const Fault other_device{Op::rename, 1, 1, K::other_device};
  const std::string in_tmp1 = "recodia: '../a.txt' was converted to 'TMP1.$$$' but could not replace the original: ";
  const std::string written = "recodia: cannot write 'TMP1.$$$': Injected fault\n";
  const Case cases[] = {
      {"create", {{Op::create}}, nothing,
       "recodia: cannot create the temporary file 'TMP1.$$$': Injected fault\n"},
      // Another run took the name between the test and the create: the next one is used.
      {"create, the name just taken", {{Op::create_taken}}, replaced, ""},
      {"first read", {{Op::read}}, partial, "recodia: cannot read '../a.txt': Injected fault\n", "600"},
      {"second read", {{Op::read, 1, 2}}, partial, "recodia: cannot read '../a.txt': Injected fault\n", "600"},
      {"first write", {{Op::write}}, partial, written, "600"},
      {"second write", {{Op::write, 1, 2}}, partial, written, "600"},
      {"flush", {{Op::flush}}, complete, written, "600"},
      {"close", {{Op::close}}, complete, written},
      {"rename", {{Op::rename}}, complete, in_tmp1 + "Injected fault (the converted text is kept in 'TMP1.$$$')\n"},
      {"copy: opening the temporary file", {other_device, {Op::open, 2}}, complete,
       in_tmp1 + "Injected fault (the converted text is kept in 'TMP1.$$$')\n"},
      {"copy: reading", {other_device, {Op::read, 2}}, complete, in_tmp1 + "Injected fault (the converted text is kept in 'TMP1.$$$')\n"},
      {"copy: create", {other_device, {Op::create, 2}}, complete,
       "recodia: cannot create the temporary file '../TMP2.$$$': Injected fault\n" + in_tmp1 +
           "no copy could be made beside it (the converted text is kept in 'TMP1.$$$')\n"},
      {"copy: write", {other_device, {Op::write, 2}}, complete, in_tmp1 + "Injected fault (the converted text is kept in 'TMP1.$$$')\n"},
      {"copy: flush", {other_device, {Op::flush, 2}}, complete, in_tmp1 + "Injected fault (the converted text is kept in 'TMP1.$$$')\n"},
      {"copy: close", {other_device, {Op::close, 2}}, complete, in_tmp1 + "Injected fault (the converted text is kept in 'TMP1.$$$')\n"},
      {"copy: rename", {other_device, {Op::rename, 2}}, complete, in_tmp1 + "Injected fault (the converted text is kept in 'TMP1.$$$')\n"},
      {"copy: rename, another device again", {other_device, {Op::rename, 2, 1, K::other_device}}, complete,
       in_tmp1 + "Injected fault (the converted text is kept in 'TMP1.$$$')\n"},
      {"nothing", {}, replaced, ""},
      {"nothing, across devices", {other_device}, replaced, ""},
      {"setting the time, which is ignored", {{Op::set_time, 1, 0}, {Op::set_time, 2, 0}}, replaced, ""},
      // What cannot be carried over is said, and the text is converted all the same.
      {"carrying over", {{Op::carry_over}}, replaced, "recodia: '../a.txt': could not keep its owner: Injected fault\n",
       "600"},
      {"copy: carrying over", {other_device, {Op::carry_over, 2}}, replaced,
       "recodia: '../a.txt': could not keep its owner: Injected fault\n", "600"},
  };
  const Bytes input = repeated(original_text(), 400000);  // several blocks, so that a write can fail midway
  const Bytes expected = repeated(converted_text(), 400000);
  const mode_t previous_umask = ::umask(022);  // the temporary file must be no more open than the original all the same
  for (const Case& c : cases) {
    for (bool pdt : {false, true}) {
      SCOPED_TRACE(testing::Message() << c.step << (pdt ? ", -pdt" : ""));
      TempDir dir;
      std::filesystem::create_directories(dir / "work");
      write_file(dir / "a.txt", input);
      ::chmod((dir / "a.txt").c_str(), 0640);
      const long long seconds = local_seconds(2005, 5, 5, 5, 5, 5);
      set_modification_time(dir / "a.txt", seconds * 1000000000 + 123);
      Tree before = tree(dir.path());
      FaultyFileSystem files(c.faults);
      const RunResult r = run_in_process({"-ni", "-w", "-tokoi8", pdt ? "-pdt" : "-nec", "../a.txt", "../a.txt"},
                                         dir / "work", files);
      EXPECT_EQ(r.exit_code, c.left == replaced ? 0 : 1);
      EXPECT_EQ(r.out, c.left == nothing ? "" : c.left == replaced ? kWait + kDone : kWait);
      EXPECT_EQ(r.err, c.err);
      // Every temporary file private from its creation on, and removed should
      // the run be interrupted, until it is done with.
      std::map<std::string, int> kinds;
      for (const std::string& entry : files.log) ++kinds[entry.substr(0, entry.find(' '))];
      for (const std::string& entry : files.log) EXPECT_TRUE(!entry.starts_with("mode") || entry == "mode 384") << entry;
      EXPECT_EQ(kinds["guard"], kinds["mode"]);
      EXPECT_EQ(kinds["release"], kinds["mode"]);
      Tree after = tree(dir.path());
      const std::string mode = std::string(c.kept_mode) + " ";
      if (c.left == partial) {
        const std::string kept = after["work/TMP1.$$$"];
        ASSERT_TRUE(kept.starts_with(mode) && kept.size() < expected.size() + 4) << kept.substr(0, 4);
        EXPECT_TRUE(same_bytes(expected.substr(0, kept.size() - 4), kept.substr(4))) << "a prefix of the result";
        after.erase("work/TMP1.$$$");
      }
      if (c.left == complete) before["work/TMP1.$$$"] = mode + expected;
      if (c.left == replaced) before["a.txt"] = mode + expected;
      EXPECT_TRUE(same_tree(before, after));
      if (c.left != replaced) {
        EXPECT_EQ(modification_time(dir / "a.txt"), seconds * 1000000000 + 123);
      } else if (pdt && (c.faults.empty() || c.faults[0].op != Op::set_time)) {
        EXPECT_EQ(modification_time(dir / "a.txt"), (seconds - 1) * 1000000000);
      }
    }
  }
  ::umask(previous_umask);
}

TEST(Faults, AFailedRunBetweenTwoFilesKeepsWhatWasWrittenAndSetsNoTime) {
  if (windows_program()) GTEST_SKIP() << kInProcess;
  for (const Fault& fault : {Fault{Op::write, 1, 2}, Fault{Op::close}}) {
    SCOPED_TRACE(fault.op == Op::close ? "close" : "write");
    TempDir dir;
    write_file(dir / "in", repeated(original_text(), 400000));
    FaultyFileSystem files({fault});
    const RunResult r = run_in_process({"-ni", "-pdt", "-w", "-tokoi8", "in", "out"}, dir.path(), files);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, kWait);
    const Bytes out = read_file(dir / "out"), expected = repeated(converted_text(), 400000);
    EXPECT_TRUE(out.size() <= expected.size() && same_bytes(expected.substr(0, out.size()), out));
    // The time is set just before closing, where the second fault lies.
    if (fault.op == Op::write) {
      EXPECT_EQ(std::count(files.log.begin(), files.log.end(), "set_time"), 0);
    }
  }
}

TEST(Faults, AllTemporaryNamesTaken) {
  if (windows_program()) GTEST_SKIP() << kInProcess;
  TempDir dir;
  write_file(dir / "a.txt", original_text());
  const Tree before = tree(dir.path());
  FaultyFileSystem files;
  files.all_temporary_names_taken = true;
  const RunResult r = run_in_process({"-ni", "-w", "-tokoi8", "a.txt", "a.txt"}, dir.path(), files);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_TRUE(same_tree(before, tree(dir.path())));
  // Each of the 65535 names asked for once, from TMP1 up, and nothing created.
  std::vector<std::string> expected_log;
  for (int i = 1; i <= 65535; ++i) expected_log.push_back("exists TMP" + std::to_string(i) + ".$$$");
  std::erase_if(files.log, [](const std::string& s) { return !s.starts_with("exists TMP") && !s.starts_with("create"); });
  EXPECT_TRUE(files.log == expected_log) << files.log.size() << " calls";

  // The counter is 16 bits and skips 0: after TMP65535 comes TMP1.
  TemporaryNames names;
  FaultyFileSystem real;
  const std::string folder = dir.path().string() + "/";
  for (int i = 1; i <= 65535; ++i)
    ASSERT_EQ(names.make_temporary_name(real, folder), folder + "TMP" + std::to_string(i) + ".$$$");
  EXPECT_EQ(names.make_temporary_name(real, folder), folder + "TMP1.$$$");
}

}  // namespace
}  // namespace recodia::test
