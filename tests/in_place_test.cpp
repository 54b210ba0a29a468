// Converting a file in place: through a temporary file in the current folder,
// whatever the file is called on the command line, keeping its permissions.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <string>
#include <string_view>
#include <vector>

#include "cli/messages.hpp"
#include "cli/run.hpp"
#include "fault_injection.hpp"
#include "test_support.hpp"

namespace recodia::test {
namespace {

// Windows 1251 text converted to KOI8-R; glibc's iconv gives both sides.
const char* const kText = "Съешь же ещё этих мягких французских булок,\nда выпей же чаю. ЁЁЁ ёёё\n";
Bytes original() { return iconv_convert("UTF-8", "CP1251", kText); }
Bytes converted() { return iconv_convert("UTF-8", "KOI8-R", kText); }
const std::vector<std::string> kSwitches = {"-w", "-tokoi8"};

std::vector<std::string> with_switches(std::vector<std::string> names) {
  std::vector<std::string> args = kSwitches;
  args.insert(args.end(), names.begin(), names.end());
  return args;
}

std::string messages_of_success() {
  const MessageSet& m = select_messages(Language::english);
  return std::string(m[0]) + "\n" + std::string(m[17]) + "\n" + std::string(m[18]) + "\n";
}

TEST(InPlace, SameNameTwice) {
  TempDir dir;
  write_file(dir / "a.txt", original());
  const RunResult r = run_recodia(with_switches({"a.txt", "a.txt"}), dir.path());
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, messages_of_success());
  EXPECT_EQ(hex(read_file(dir / "a.txt")), hex(converted()));
  EXPECT_EQ(folder_listing(dir.path()), std::vector<std::string>{"a.txt"});
}

TEST(InPlace, TemporaryNamesAlreadyTakenAreLeftAlone) {
  // TMP1.$$$ taken: TMP2.$$$ is used; TMP1 and TMP2 taken: TMP3.$$$. Whatever
  // holds the name (a file, a folder, a dangling link) is not touched.
  struct Case {
    const char* name;
    std::vector<std::string> taken;
    std::string expected_temporary;
  };
  const Case cases[] = {
      {"nothing taken", {}, "TMP1.$$$"},
      {"TMP1 taken", {"TMP1.$$$"}, "TMP2.$$$"},
      {"TMP1 and TMP2 taken", {"TMP1.$$$", "TMP2.$$$"}, "TMP3.$$$"},
      {"TMP2 taken only", {"TMP2.$$$"}, "TMP1.$$$"},
  };
  for (const Case& c : cases) {
    for (const char* kind : {"file", "folder", "dangling link"}) {
      SCOPED_TRACE(testing::Message() << c.name << " by a " << kind);
      TempDir dir;
      write_file(dir / "a.txt", original());
      for (const std::string& t : c.taken) {
        const std::string k = kind;
        if (k == "file") write_file(dir / t, "someone else's " + t);
        if (k == "folder") std::filesystem::create_directory(dir / t);
        if (k == "dangling link") std::filesystem::create_symlink("nowhere", dir / t);
      }
      // Through the program.
      const RunResult r = run_recodia(with_switches({"a.txt", "a.txt"}), dir.path());
      EXPECT_EQ(r.exit_code, 0);
      EXPECT_EQ(hex(read_file(dir / "a.txt")), hex(converted()));
      std::vector<std::string> expected_listing = c.taken;
      expected_listing.push_back("a.txt");
      std::sort(expected_listing.begin(), expected_listing.end());
      EXPECT_EQ(folder_listing(dir.path()), expected_listing);
      for (const std::string& t : c.taken) {
        const std::string k = kind;
        if (k == "file") {
          EXPECT_EQ(read_file(dir / t), "someone else's " + t);
        }
        if (k == "folder") {
          EXPECT_TRUE(std::filesystem::is_directory(dir / t));
        }
        if (k == "dangling link") {
          EXPECT_EQ(std::filesystem::read_symlink(dir / t), "nowhere");
        }
      }
      // Through the seam, to see which name was used.
      write_file(dir / "a.txt", original());
      CurrentDirectory cwd(dir.path());
      FaultyFileSystem files;
      FakeConsole console;
      std::vector<std::string_view> args = {"-ni", "-w", "-tokoi8", "a.txt", "a.txt"};
      EXPECT_EQ(run_program(args, files, console), 0);
      EXPECT_EQ(files.create_requests(), std::vector<std::string>{c.expected_temporary});
      EXPECT_EQ(hex(read_file(dir / "a.txt")), hex(converted()));
    }
  }
}

TEST(InPlace, TemporaryFileIsInTheCurrentFolder) {
  TempDir dir;
  std::filesystem::create_directories(dir / "work");
  std::filesystem::create_directories(dir / "data");
  write_file(dir / "data" / "a.txt", original());
  {
    CurrentDirectory cwd(dir / "work");
    FaultyFileSystem files;
    FakeConsole console;
    const std::vector<std::string_view> args = {"-ni", "-w", "-tokoi8", "../data/a.txt", "../data/a.txt"};
    EXPECT_EQ(run_program(args, files, console), 0);
    EXPECT_EQ(files.create_requests(), std::vector<std::string>{"TMP1.$$$"});
  }
  EXPECT_EQ(hex(read_file(dir / "data" / "a.txt")), hex(converted()));
  EXPECT_TRUE(folder_listing(dir / "work").empty());
  EXPECT_EQ(folder_listing(dir / "data"), std::vector<std::string>{"a.txt"});

  // And through the program.
  write_file(dir / "data" / "a.txt", original());
  const RunResult r = run_recodia(with_switches({"../data/a.txt", "../data/a.txt"}), dir / "work");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(hex(read_file(dir / "data" / "a.txt")), hex(converted()));
  EXPECT_TRUE(folder_listing(dir / "work").empty());
  EXPECT_EQ(folder_listing(dir / "data"), std::vector<std::string>{"a.txt"});
}

TEST(InPlace, OneFileUnderTwoNames) {
  // Different spellings of one existing file are one file: it is converted
  // in place, never emptied before it is read.
  struct Case {
    const char* name;
    std::string input;
    std::string output;
    // Where the converted text must be found afterwards, and which names
    // must still hold the original.
    std::vector<std::string> converted_under;
    std::vector<std::string> original_under;
  };
  TempDir dir;
  const std::string absolute = (dir / "a.txt").string();
  const Case cases[] = {
      {"a.txt and ./a.txt", "a.txt", "./a.txt", {"a.txt"}, {}},
      {"./a.txt and a.txt", "./a.txt", "a.txt", {"a.txt"}, {}},
      {"a.txt and .//a.txt", "a.txt", ".//a.txt", {"a.txt"}, {}},
      {"a.txt and sub/../a.txt", "a.txt", "sub/../a.txt", {"a.txt"}, {}},
      {"relative and absolute", "a.txt", absolute, {"a.txt"}, {}},
      {"absolute and relative", absolute, "a.txt", {"a.txt"}, {}},
      // The link stays a link; the file it points to is converted.
      {"a.txt and a link to it", "a.txt", "link", {"a.txt", "link"}, {}},
      {"a link and a.txt", "link", "a.txt", {"a.txt", "link"}, {}},
      {"the link twice", "link", "link", {"a.txt", "link"}, {}},
      {"a link to a link", "a.txt", "link2", {"a.txt", "link", "link2"}, {}},
      // The output name gets the result; the other name keeps what was read.
      {"a.txt and a hard link", "a.txt", "hard", {"hard"}, {"a.txt"}},
      {"a hard link and a.txt", "hard", "a.txt", {"a.txt"}, {"hard"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(dir.path());
    std::filesystem::create_directories(dir / "sub");
    write_file(dir / "a.txt", original());
    ::chmod((dir / "a.txt").c_str(), 0640);
    std::filesystem::create_symlink("a.txt", dir / "link");
    std::filesystem::create_symlink("link", dir / "link2");
    std::filesystem::create_hard_link(dir / "a.txt", dir / "hard");
    const RunResult r = run_recodia(with_switches({c.input, c.output}), dir.path());
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, messages_of_success());
    for (const std::string& name : c.converted_under) EXPECT_EQ(hex(read_file(dir / name)), hex(converted())) << name;
    for (const std::string& name : c.original_under) EXPECT_EQ(hex(read_file(dir / name)), hex(original())) << name;
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link"));
    EXPECT_EQ(std::filesystem::read_symlink(dir / "link"), "a.txt");
    EXPECT_EQ(permission_bits(dir / "a.txt"), 0640u);
    EXPECT_EQ(folder_listing(dir.path()), (std::vector<std::string>{"a.txt", "hard", "link", "link2", "sub"}));
  }
}

TEST(InPlace, PermissionBitsAreKept) {
  for (unsigned mode : {0600u, 0644u, 0640u, 0604u, 0444u, 0400u, 0755u, 0711u, 0777u}) {
    SCOPED_TRACE(testing::Message() << std::oct << mode);
    TempDir dir;
    write_file(dir / "a.txt", original());
    ASSERT_EQ(::chmod((dir / "a.txt").c_str(), mode), 0);
    const RunResult r = run_recodia(with_switches({"a.txt", "a.txt"}), dir.path());
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(permission_bits(dir / "a.txt"), mode);
    EXPECT_EQ(hex(read_file(dir / "a.txt")), hex(converted()));
  }
}

TEST(InPlace, ReadOnlyFileForAnUnprivilegedUser) {
  // The folder is writable, the file is not: the file is replaced, as a
  // rename allows, and stays read-only.
  if (!permissions_bind()) GTEST_SKIP() << "root, and cannot run as another user";
  TempDir dir;
  ::chmod(dir.path().c_str(), 0777);
  write_file(dir / "a.txt", original());
  ::chmod((dir / "a.txt").c_str(), 0444);
  ProcessSetting setting;
  setting.unprivileged = true;
  const RunResult r = run_recodia_with(with_switches({"a.txt", "a.txt"}), dir.path(), setting);
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(hex(read_file(dir / "a.txt")), hex(converted()));
  EXPECT_EQ(permission_bits(dir / "a.txt"), 0444u);
}

TEST(InPlace, NotARegularFile) {
  // A device cannot be replaced by a text file safely: nothing is done.
  TempDir dir;
  if (::mknod((dir / "null").c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0)
    GTEST_SKIP() << "cannot make a device node here";
  const RunResult r = run_recodia({"-ni", "null", "null"}, dir.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, "");
  struct stat st {};
  ASSERT_EQ(::stat((dir / "null").c_str(), &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
  EXPECT_EQ(folder_listing(dir.path()), std::vector<std::string>{"null"});
}

TEST(InPlace, AcrossFileSystems) {
  // The current folder on one file system, the file on another: the result
  // is copied beside the file and renamed there.
  TempDir work;
  ShmDir shm;
  if (shm.path().empty()) GTEST_SKIP() << "no /dev/shm";
  struct stat a {}, b {};
  ::stat(work.path().c_str(), &a);
  ::stat(shm.path().c_str(), &b);
  if (a.st_dev == b.st_dev) GTEST_SKIP() << "/dev/shm and the temporary folder are one file system";
  const std::filesystem::path file = shm.path() / "a.txt";
  write_file(file, original());
  ::chmod(file.c_str(), 0604);
  const FileTime time{local_seconds(2011, 11, 11, 11, 11, 11), 0};
  set_modification_time(file, time);
  const RunResult r = run_recodia(with_switches({"-pdt", file.string(), file.string()}), work.path());
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, messages_of_success());
  EXPECT_EQ(hex(read_file(file)), hex(converted()));
  EXPECT_EQ(permission_bits(file), 0604u);
  EXPECT_EQ(modification_time(file).seconds, time.seconds - 1);
  EXPECT_TRUE(folder_listing(work.path()).empty());
  EXPECT_EQ(folder_listing(shm.path()), std::vector<std::string>{"a.txt"});
}

}  // namespace
}  // namespace recodia::test
