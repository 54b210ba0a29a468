// Converting a file in place: through a temporary file in the current folder,
// whatever the file is called on the command line, keeping its permissions.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "fault_injection.hpp"
#include "test_support.hpp"

namespace recodia::test {
namespace {

const std::string ok = message(Language::english, kWaitMessage) + message(Language::english, kDoneMessage);

TEST(InPlace, OneFileUnderAnyOfItsNames) {
  // Never emptied before it is read; a link stays a link, a hard link keeps
  // what was read while the name written gets the result, and the permission
  // bits stay, also where another user could not write the file itself.
  const std::string text = "644 " + converted_text();
  check_real_runs({
      {"the same name twice", {"a.txt", "a.txt"}, 0, ok, "", {{"a.txt", text}}},
      {"a.txt and ./a.txt", {"a.txt", "./a.txt"}, 0, ok, "", {{"a.txt", text}}},
      {"through another folder", {"./a.txt", "folder/../a.txt"}, 0, ok, "", {{"a.txt", text}}},
      {"relative and absolute", {"a.txt", "$DIR/a.txt"}, 0, ok, "", {{"a.txt", text}}},
      {"a link and the file", {"link", "a.txt"}, 0, ok, "", {{"a.txt", text}}},
      {"the file and a link to a link", {"a.txt", "link2"}, 0, ok, "", {{"a.txt", text}}},
      {"a link twice", {"link", "link"}, 0, ok, "", {{"a.txt", text}}},
      {"a hard link", {"a.txt", "hard"}, 0, ok, "", {{"hard", text}}},
      {"from another folder", {"../a.txt", "../a.txt"}, 0, ok, "", {{"a.txt", text}}, {}, "work"},
      {"private", {"private.txt", "private.txt"}, 0, ok, "", {{"private.txt", "600 " + converted_text()}}},
      {"executable", {"exec.txt", "exec.txt"}, 0, ok, "", {{"exec.txt", "755 " + converted_text()}}},
      // Another user may convert the file (the folder is open to all) but not give it away.
      {"read-only, for another user", {"ro.txt", "ro.txt"}, 0, ok,
       "recodia: 'ro.txt': could not keep its owner: Operation not permitted\n"
       "recodia: 'ro.txt': could not keep its group: Operation not permitted\n",
       {{"ro.txt", "444 " + converted_text()}}, {.unprivileged = true}},
      {"names over 255 bytes", {"a.txt", kDeep + "/" + std::string(255, 'o')}, 0, ok, "",
       {{kDeep + "/" + std::string(255, 'o'), text}}},
      {"names over 255 bytes, in place", {kLongName, "$DIR/" + kLongName}, 0, ok, "", {{kLongName, text}}},
  });
}

TEST(InPlace, AcrossFileSystems) {
  // The temporary file cannot be renamed onto another file system: the result
  // is copied beside the file first, and renamed there.
  TempDir work;
  if (!std::filesystem::is_directory("/dev/shm")) GTEST_SKIP() << "no /dev/shm";
  TempDir shm("/dev/shm");
  struct stat a {}, b {};
  if (::stat(work.path().c_str(), &a) != 0 || ::stat(shm.path().c_str(), &b) != 0 || a.st_dev == b.st_dev)
    GTEST_SKIP() << "/dev/shm and the temporary folder are one file system";
  const std::string file = (shm / "a.txt").string();
  write_file(file, original_text());
  ::chmod(file.c_str(), 0604);
  const long long seconds = local_seconds(2011, 11, 11, 11, 11, 11);
  set_modification_time(file, seconds * 1000000000);
  const RunResult r = run_recodia({"-ni", "-w", "-tokoi8", "-pdt", file, file}, work.path());
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, ok);
  EXPECT_TRUE(same_tree({{"a.txt", "604 " + converted_text()}}, tree(shm.path())));
  EXPECT_EQ(modification_time(file), (seconds - 1) * 1000000000);
  EXPECT_TRUE(tree(work.path()).empty());
}

}  // namespace
}  // namespace recodia::test
