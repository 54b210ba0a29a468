// What goes wrong, and files under other names: the whole runs of
// tests/data/real-runs.txt (inputs that cannot be read, outputs that cannot be
// written, full disks, the standard streams, one file under any of its
// names); each step of the in-place replacement failing in turn through the
// platform seam; every temporary name taken. No file may be lost, and no
// failure reported as success.
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "cli/messages.hpp"
#include "seam.hpp"

namespace recodia::test {
namespace {

const std::string kWait = "Wait...\n", kDone = " Done.\n", kOk = kWait + kDone;
const char* const kInProcess = "faults injected through the POSIX services, in process";

const std::string kDeep = std::string(250, 'p') + "/" + std::string(250, 'q') + "/" + std::string(250, 'r');
const std::string kLongName = kDeep + "/" + std::string(255, 'n');

// The sample folder of tests/data/real-runs.txt.
void make_sample_folder(const TempDir& dir) {
  const auto file = [&](const std::string& name, const Bytes& bytes, unsigned mode) {
    write_file(dir / name, bytes);
    ::chmod((dir / name).c_str(), mode);
  };
  for (const std::string folder : {".", "folder", "locked", "work", "busy", "busy/TMP3.$$$", kDeep.c_str()}) {
    std::filesystem::create_directories(dir / folder);
    ::chmod((dir / folder).c_str(), 0777);
  }
  for (const auto& [name, mode] : {std::pair{"a.txt", 0644}, {"private.txt", 0600}, {"exec.txt", 0755}, {"ro.txt", 0444},
                                   {"secret.txt", 0}, {"locked/b.txt", 0666}, {kLongName.c_str(), 0644}})
    file(name, original_text(), mode);
  file("big.txt", repeated(original_text(), 400000), 0644);
  file("empty.txt", "", 0644);
  file("old.txt", "keep this", 0666);
  file("unsure.txt", data_file("detect/iso-8859-15.txt"), 0644);
  file("koi8.txt", data_file("detect/koi8-r.txt"), 0644);
  file("busy/TMP1.$$$", "someone else's", 0644);
  ::chmod((dir / "locked").c_str(), 0555);
  std::filesystem::create_symlink("nowhere", dir / "busy/TMP2.$$$");
  std::filesystem::create_symlink("a.txt", dir / "link");
  std::filesystem::create_symlink("link", dir / "link2");
  std::filesystem::create_hard_link(dir / "a.txt", dir / "hard");
  ::mknod((dir / "null").c_str(), S_IFCHR | 0666, makedev(1, 3));
}

// Why a run cannot be had here, or nothing.
std::string left_out(const std::vector<std::string>& arguments, const ProcessSetting& setting, const TempDir& dir) {
  if (setting.unprivileged && !permissions_bind()) return "another user than root is needed";
  if (std::ranges::count(arguments, "null") && !std::filesystem::exists(dir / "null")) return "no device can be made";
  if (setting.standard_output_terminal && ::access("/dev/ptmx", R_OK | W_OK) != 0) return "no terminal can be had";
  if (!windows_program()) return "";
  if (setting.standard_output_terminal) return "a terminal is a console under wine, which adds control sequences";
  if (setting.interrupt.value_or(2) != 2) return "wine makes only SIGINT a console event";
  if (std::ranges::count(arguments, "/dev/stdout") || (setting.standard_output_file && std::ranges::count(arguments, setting.standard_output_file->filename().string())))
    return "wine gives the standard output it inherits no volume, so it is never matched to a file";
  return "";
}

// A field of the table, with the program's own messages where it names them.
Bytes printed(const std::string& field) {
  const auto messages = [](Language language, int last) {
    std::string s;
    for (int n = 1; n <= last; ++n) s += std::string(select_messages(language)[n - 1]) + "\n";
    return s;
  };
  Bytes text = replace_all(field_bytes(field), "$RUHELP", messages(Language::russian, kLastHelpMessage));
  return replace_all(replace_all(text, "$HELP", messages(Language::english, kLastHelpMessage)), "$BANNER", messages(Language::english, 1));
}

TEST(Faults, RealRunsLoseNothing) {
  const mode_t previous_umask = ::umask(022);
  for (auto row : data_rows("real-runs.txt")) {
    SCOPED_TRACE(row[0]);
    ASSERT_LE(row.size(), 7u);
    row.resize(7);
    TempDir dir;
    make_sample_folder(dir);
    const auto named = [&](std::string word) {
      if (word.starts_with("$DIR")) word = dir.path().string() + word.substr(4);
      const std::size_t at = word.find("$LONG");
      return at == std::string::npos ? word : word.replace(at, 5, kLongName);
    };
    std::istringstream words(row[1]), changes(row[5]), settings(row[6]);
    std::vector<std::string> arguments;
    for (std::string word; words >> word;) arguments.push_back(named(word));
    ProcessSetting setting;
    std::string directory = ".";
    for (std::string word; settings >> word;) {
      const std::string value = word.substr(word.find_first_of(":<>=") + 1 + word.starts_with("out>>"));
      if (word == "nobody") setting.unprivileged = true;
      else if (word == "tty") setting.standard_output_terminal = true;
      else if (word == "tty-in") setting.standard_input_terminal = true;
      else if (word == "2>&1") setting.standard_error_to_output = true;
      else if (word == "broken-pipe") setting.standard_output_broken_pipe = true;
      else if (word.starts_with("cd:")) directory = value;
      else if (word.starts_with("in<")) setting.standard_input_file = dir / value;
      else if (word.starts_with("out>")) setting.standard_output_file = dir / value, setting.append_standard_output = word.starts_with("out>>");
      else if (word.starts_with("LC_ALL=")) setting.locale = value;
      else if (word.starts_with("signal:")) setting.interrupt = std::stoi(value);
      else if (word.starts_with("closed:")) for (char c : value) if (c != ',') setting.closed_descriptors.push_back(c - '0');
    }
    if (const std::string why = left_out(arguments, setting, dir); !why.empty()) {
      std::printf("  (left out: %s, as %s)\n", row[0].c_str(), why.c_str());
      continue;
    }
    Tree expected = tree(dir.path());
    for (std::string change; std::getline(changes, change, ';');) {
      std::istringstream parts(change);
      std::string name, mode, bytes;
      parts >> name >> mode;
      std::getline(parts >> std::ws, bytes);
      expected[named(name)] = mode + " " + field_bytes(bytes);
    }
    const RunResult r = run_recodia(arguments, dir / directory, setting);
    EXPECT_EQ(r.exit_code, std::stoi(row[2]));
    EXPECT_TRUE(same_bytes(printed(row[3]), r.out)) << "standard output";
    EXPECT_TRUE(same_messages(printed(row[4]), r.err));
    EXPECT_TRUE(same_tree(expected, tree(dir.path())));
  }
  ::umask(previous_umask);
}

TEST(Faults, EveryStepOfTheInPlaceReplacementFailsInTurn) {
  if (windows_program()) GTEST_SKIP() << kInProcess;
  using K = platform::Failure::Kind;
  enum Left { nothing, partial, complete, replaced };
  struct Case {
    const char* step;
    std::vector<Fault> faults;
    Left left;
    std::string err;  // each failure names its reason
    const char* kept_mode = "640";  // the temporary file is its owner's alone until the text is complete
  };
  const Fault other_device{Op::rename, 1, 1, K::other_device};
  const std::string kept = "recodia: '../a.txt' was converted to 'TMP1.$$$' but could not replace the original: ";
  const std::string injected = kept + "Injected fault (the converted text is kept in 'TMP1.$$$')\n";
  const std::string written = "recodia: cannot write 'TMP1.$$$': Injected fault\n";
  const Case cases[] = {
      {"create", {{Op::create}}, nothing, "recodia: cannot create the temporary file 'TMP1.$$$': Injected fault\n"},
      // Another run took the name between the test and the create: the next one is used.
      {"create, the name just taken", {{Op::create_taken}}, replaced, ""},
      {"second read", {{Op::read, 1, 2}}, partial, "recodia: cannot read '../a.txt': Injected fault\n", "600"},
      {"second write", {{Op::write, 1, 2}}, partial, written, "600"},
      {"flush", {{Op::flush}}, complete, written, "600"},
      {"carrying over", {{Op::carry_over}}, replaced, "recodia: '../a.txt': could not keep its owner: Injected fault\n", "600"},
      {"close", {{Op::close}}, complete, written},
      {"rename", {{Op::rename}}, complete, injected},
      {"copy: opening the temporary file", {other_device, {Op::open, 2}}, complete, injected},
      {"copy: reading", {other_device, {Op::read, 2}}, complete, injected},
      {"copy: create", {other_device, {Op::create, 2}}, complete,
       "recodia: cannot create the temporary file '../TMP2.$$$': Injected fault\n" + kept +
           "no copy could be made beside it (the converted text is kept in 'TMP1.$$$')\n"},
      {"copy: write", {other_device, {Op::write, 2}}, complete, injected},
      {"copy: flush", {other_device, {Op::flush, 2}}, complete, injected},
      {"copy: close", {other_device, {Op::close, 2}}, complete, injected},
      {"copy: rename, another device again", {other_device, {Op::rename, 2, 1, K::other_device}}, complete, injected},
      {"nothing", {}, replaced, ""},
      {"nothing, across devices", {other_device}, replaced, ""},
      {"setting the time, which is ignored", {{Op::set_time, 1, 0}, {Op::set_time, 2, 0}}, replaced, ""},
      // What cannot be carried over is said, and the text is converted all the same.
      {"copy: carrying over", {other_device, {Op::carry_over, 2}}, replaced,
       "recodia: '../a.txt': could not keep its owner: Injected fault\n", "600"},
  };
  const Bytes input = repeated(original_text(), 400000), expected = repeated(converted_text(), 400000);
  const mode_t previous_umask = ::umask(022);  // the temporary file must be private all the same
  const long long time = local_seconds(2005, 5, 5, 5, 5, 5) * 1000000000;
  for (const Case& c : cases) {
    for (bool pdt : {false, true}) {
      SCOPED_TRACE(testing::Message() << c.step << (pdt ? ", -pdt" : ""));
      TempDir dir;
      std::filesystem::create_directories(dir / "work");
      write_file(dir / "a.txt", input);
      ::chmod((dir / "a.txt").c_str(), 0640);
      set_modification_time(dir / "a.txt", time + 123);
      Tree before = tree(dir.path());
      FaultyFileSystem files(c.faults);
      const RunResult r = run_in_process({"-ni", "-w", "-tokoi8", pdt ? "-pdt" : "-nec", "../a.txt", "../a.txt"}, dir / "work", files);
      EXPECT_EQ(r.exit_code, c.left == replaced ? 0 : 1);
      EXPECT_EQ(r.out, c.left == nothing ? "" : c.left == replaced ? kOk : kWait);
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
        const std::string left = after["work/TMP1.$$$"];
        ASSERT_TRUE(left.starts_with(mode) && left.size() < expected.size() + 4) << left.substr(0, 4);
        EXPECT_TRUE(same_bytes(expected.substr(0, left.size() - 4), left.substr(4))) << "a start of the result";
        after.erase("work/TMP1.$$$");
      }
      if (c.left == complete) before["work/TMP1.$$$"] = mode + expected;
      if (c.left == replaced) before["a.txt"] = mode + expected;
      EXPECT_TRUE(same_tree(before, after));
      const bool time_set = c.left == replaced && pdt && (c.faults.empty() || c.faults[0].op != Op::set_time);
      if (c.left != replaced || time_set) {
        EXPECT_EQ(modification_time(dir / "a.txt"), time_set ? time - 1000000000 : time + 123);
      }
    }
  }
  ::umask(previous_umask);
}

// Between two files: a failed run keeps what was written, and sets no time.
TEST(Faults, AFailedRunBetweenTwoFilesSetsNoTime) {
  if (windows_program()) GTEST_SKIP() << kInProcess;
  for (const Fault& fault : {Fault{Op::write, 1, 2}, Fault{Op::close}}) {
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
      EXPECT_EQ(std::ranges::count(files.log, "set_time"), 0);
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
  EXPECT_EQ(r.err, "recodia: 'TMP1.$$$' is in the way, perhaps left by an interrupted run; it is left alone\nrecodia: cannot "
                   "convert 'a.txt' in place: every temporary name from TMP1.$$$ to TMP65535.$$$ in the current folder is taken\n");
  EXPECT_TRUE(same_tree(before, tree(dir.path())));
  // Each of the 65535 names asked for once, from TMP1 up, and nothing created.
  std::erase_if(files.log, [](const std::string& s) { return !s.starts_with("exists TMP") && !s.starts_with("create"); });
  ASSERT_EQ(files.log.size(), 65535u);
  for (std::size_t i = 0; i < files.log.size(); ++i) ASSERT_EQ(files.log[i], "exists TMP" + std::to_string(i + 1) + ".$$$");
  // The counter is 16 bits and skips 0: after TMP65535 comes TMP1.
  TemporaryNames names;
  FaultyFileSystem real;
  for (int i = 1; i <= 65535; ++i) ASSERT_EQ(names.make_temporary_name(real), "TMP" + std::to_string(i) + ".$$$");
  EXPECT_EQ(names.make_temporary_name(real), "TMP1.$$$");
}

}  // namespace
}  // namespace recodia::test
