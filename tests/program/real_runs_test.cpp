// The whole runs of tests/data/real-runs.txt: which messages are printed
// when, what goes wrong (inputs that cannot be read, outputs that cannot be
// written, full disks, the standard streams, signals), and one file under any
// of its names. No file may be lost, and no failure reported as success.
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "cli/messages.hpp"
#include "process.hpp"

namespace recodia::test {
namespace {

// The sample folder of tests/data/real-runs.txt.
void make_sample_folder(const TempDir& dir) {
  const auto file = [&](const std::string& name, const Bytes& bytes, unsigned mode) {
    write_file(dir / name, bytes);
    ::chmod((dir / name).c_str(), mode);
  };
  for (const char* folder : {".", "folder", "locked", "work", "busy", "busy/TMP3.$$$"}) {
    std::filesystem::create_directories(dir / folder);
    ::chmod((dir / folder).c_str(), 0777);
  }
  for (const auto& [name, mode] : {std::pair{"a.txt", 0644}, {"private.txt", 0600}, {"exec.txt", 0755}, {"ro.txt", 0444},
                                   {"secret.txt", 0}, {"locked/b.txt", 0666}})
    file(name, field_bytes("CP1251:@russian.txt"), mode);
  file("big.txt", repeated(field_bytes("CP1251:@russian.txt"), 400000), 0644);
  file("empty.txt", "", 0644);
  file("old.txt", "keep this", 0666);
  file("unsure.txt", data_file("detect/iso-8859-15.txt"), 0644);
  file("koi8.txt", data_file("detect/koi8-r.txt"), 0644);
  file("utf8.txt", field_bytes("@russian.txt И=Й"), 0644);
  file("stray.txt", field_bytes("@russian.txt") + std::string(70000, 'a') + "\xE9\n", 0644);
  file("exec.txt.bak", "older", 0644);
  std::filesystem::create_directories(dir / "empty.txt.bak");
  file("busy/TMP1.$$$", "someone else's", 0644);
  ::chmod((dir / "locked").c_str(), 0555);
  std::filesystem::create_symlink("nowhere", dir / "busy/TMP2.$$$");
  std::filesystem::create_symlink("a.txt", dir / "link");
  std::filesystem::create_symlink("link", dir / "link2");
  std::filesystem::create_hard_link(dir / "a.txt", dir / "hard");
  ::mknod((dir / "null").c_str(), S_IFCHR | 0666, makedev(1, 3));
  ::mkfifo((dir / "fifo").c_str(), 0666);
  // Another user's link in a sticky folder that all may write in, as in /tmp.
  std::filesystem::create_directories(dir / "sticky");
  ::chmod((dir / "sticky").c_str(), 01777);
  std::filesystem::create_symlink("../a.txt", dir / "sticky/link");
  if (::geteuid() == 0) ::lchown((dir / "sticky/link").c_str(), 65534, 65534);
}

// Why a run cannot be had here, or nothing.
std::string left_out(const std::vector<std::string>& arguments, const ProcessSetting& setting, const TempDir& dir) {
  if (setting.unprivileged && !permissions_bind()) return "another user than root is needed";
  if (std::ranges::count(arguments, "null") && !std::filesystem::exists(dir / "null")) return "no device can be made";
  if (std::ranges::count(arguments, "sticky/link") && ::geteuid() != 0) return "root is needed to give a link to another user";
  if (std::ranges::count(arguments, "sticky/link") && windows_program()) return "Windows follows links itself, by its own rules";
  if (setting.standard_output_terminal && ::access("/dev/ptmx", R_OK | W_OK) != 0) return "no terminal can be had";
  if (!windows_program()) return "";
  if (setting.standard_output_terminal) return "a terminal is a console under wine, which adds control sequences";
  if (setting.interrupt.value_or(2) != 2) return "wine makes only SIGINT a console event";
  if (!setting.closed_descriptors.empty()) return "wine takes closed standard descriptors for its own pipes to its server";
  if (std::ranges::count(arguments, "/dev/stdout") || (setting.standard_output_file && std::ranges::count(arguments, setting.standard_output_file->filename().string())))
    return "wine gives the standard output it inherits no volume, so it is never matched to a file";
  return "";
}

// A field of the table, with the program's own messages where it names them
// and the version that CMake gives; the help ends with a line that points to
// the full reference.
Bytes printed(const std::string& field) {
  const auto messages = [](Language language, int last) {
    std::string s;
    for (int n = 1; n <= last; ++n) s += std::string(select_messages(language)[n - 1]) + "\n";
    return s;
  };
  const Bytes help = messages(Language::english, kLastHelpMessage) + "Every switch, with what it does: recodia --help\n";
  const Bytes russian = messages(Language::russian, kLastHelpMessage) + field_bytes("CP866:Все ключи и что делает каждый: recodia --help\n");
  Bytes text = replace_all(field_bytes(field), "$RUHELP", russian);
  text = replace_all(text, "$VERSION", RECODIA_VERSION);
  return replace_all(replace_all(text, "$HELP", help), "$BANNER", messages(Language::english, 1));
}

TEST(RealRuns, OfTheDataFile) {
  const mode_t previous_umask = ::umask(022);
  for (auto row : data_rows("real-runs.txt")) {
    SCOPED_TRACE(row[0]);
    ASSERT_LE(row.size(), 7u);
    row.resize(7);
    TempDir dir;
    make_sample_folder(dir);
    const auto named = [&](const std::string& word) { return word.starts_with("$DIR") ? dir.path().string() + word.substr(4) : word; };
    std::istringstream changes(row[5]);
    std::vector<std::string> arguments;
    for (const std::string& word : words(row[1])) arguments.push_back(named(word));
    ProcessSetting setting;
    std::string directory = ".";
    for (const std::string& word : words(row[6])) {
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

}  // namespace
}  // namespace recodia::test
