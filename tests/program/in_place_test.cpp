// Converting in place beyond the sample folder of the real runs: onto another
// file system, as root on another user's file with an ACL and extended
// attributes, and under a path longer than PATH_MAX.
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <climits>
#include <thread>

#include "process.hpp"

namespace recodia::test {
namespace {

const std::string kOk = "Wait...\n Done.\n";

// The temporary file cannot be renamed onto another file system: the result
// is copied beside the file first, and renamed there.
TEST(InPlace, AcrossFileSystems) {
  TempDir work;
  if (!std::filesystem::is_directory("/dev/shm")) GTEST_SKIP() << "no /dev/shm";
  TempDir shm("/dev/shm");
  struct stat a {}, b {};
  if (::stat(work.path().c_str(), &a) != 0 || ::stat(shm.path().c_str(), &b) != 0 || a.st_dev == b.st_dev)
    GTEST_SKIP() << "/dev/shm and the temporary folder are one file system";
  const std::string file = (shm / "a.txt").string();
  write_file(file, field_bytes("CP1251:@russian.txt"));
  ::chmod(file.c_str(), 0604);
  const long long seconds = local_seconds(2011, 11, 11, 11, 11, 11);
  set_modification_time(file, seconds * 1000000000);
  const RunResult r = run_recodia({"-ni", "-w", "-tokoi8", "-pdt", file, file}, work.path());
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, kOk);
  EXPECT_TRUE(same_tree({{"a.txt", "604 " + field_bytes("KOI8-R:@russian.txt")}}, tree(shm.path())));
  EXPECT_EQ(modification_time(file), (seconds - 1) * 1000000000);
  EXPECT_TRUE(tree(work.path()).empty());
}

// Runs at once in one folder race for the temporary names: a run that finds
// a name just taken by another takes the next, and every file is converted.
TEST(InPlace, RunsAtOnceInOneFolder) {
  TempDir dir;
  std::vector<std::vector<std::string>> arguments(8, {"-ni", "-w", "-tokoi8", "-i"});
  for (std::size_t run = 0; run < arguments.size(); ++run) {
    for (int file = 0; file < 25; ++file) {
      arguments[run].push_back(std::to_string(run) + "-" + std::to_string(file) + ".txt");
      write_file(dir / arguments[run].back(), field_bytes("CP1251:@russian.txt"));
    }
  }
  Tree expected = tree(dir.path());
  for (auto& [name, value] : expected) value = value.substr(0, value.find(' ') + 1) + field_bytes("KOI8-R:@russian.txt");
  std::vector<RunResult> results(arguments.size());
  std::vector<std::thread> runs;
  for (std::size_t run = 0; run < arguments.size(); ++run)
    runs.emplace_back([&, run] { results[run] = run_recodia(arguments[run], dir.path()); });
  for (std::thread& run : runs) run.join();
  for (const RunResult& r : results) EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(same_tree(expected, tree(dir.path())));
}

// Root converts other users' files: each keeps its owner, group, mode,
// access control list and extended attributes (read back by getfacl and getxattr).
TEST(InPlace, KeepsOwnerGroupAclAndExtendedAttributes) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root, to own files as another user";
  if (windows_program()) GTEST_SKIP() << "owners, groups, POSIX ACLs and extended attributes are not Windows'";
  if (!command_output("command -v setfacl getfacl")) GTEST_SKIP() << "setfacl and getfacl are not installed (Debian: acl)";
  struct Case {
    uid_t owner;
    gid_t group;
    mode_t mode;
    const char* acl;  // for setfacl -m, or none
    bool attribute;   // user.origin set
  };
  for (const Case& c : {Case{65534, 65534, 0600, nullptr, false}, Case{65534, 65534, 0640, "u:daemon:r,g:adm:rw", false},
                        Case{1, 65534, 0604, nullptr, true}, Case{65534, 1, 02660, "u:1:rw", true}}) {
    SCOPED_TRACE(testing::Message() << std::oct << c.mode << (c.acl ? " with an ACL" : "") << (c.attribute ? " with an attribute" : ""));
    TempDir dir;
    const std::string file = (dir / "a.txt").string();
    write_file(file, field_bytes("CP1251:@russian.txt"));
    ASSERT_EQ(::chown(file.c_str(), c.owner, c.group), 0);
    ASSERT_EQ(::chmod(file.c_str(), c.mode), 0);
    if (c.acl && !command_output("setfacl -m " + std::string(c.acl) + " " + file)) GTEST_SKIP() << "the file system takes no ACL";
    if (c.attribute && ::setxattr(file.c_str(), "user.origin", "cp1251", 6, 0) != 0) GTEST_SKIP() << "the file system takes no extended attributes";
    struct stat before {}, after {};
    ::stat(file.c_str(), &before);
    const std::optional<std::string> acl = command_output("getfacl -cp " + file);
    const RunResult r = run_recodia({"-ni", "-w", "-tokoi8", "-i", "a.txt"}, dir.path());
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err, "recodia: converting 'a.txt' in place\n");
    EXPECT_EQ(read_file(file), field_bytes("KOI8-R:@russian.txt"));
    ::stat(file.c_str(), &after);
    EXPECT_NE(after.st_ino, before.st_ino) << "replaced, not rewritten";
    EXPECT_EQ(std::tuple(after.st_uid, after.st_gid, after.st_mode & 07777), std::tuple(c.owner, c.group, before.st_mode & 07777));
    EXPECT_EQ(command_output("getfacl -cp " + file), acl);
    char value[16] = {};
    EXPECT_EQ(::getxattr(file.c_str(), "user.origin", value, sizeof value), c.attribute ? 6 : -1);
    EXPECT_EQ(std::string(value), c.attribute ? "cp1251" : "");
  }
}

// A path longer than PATH_MAX (under wine, which reaches files by their whole path, longer than
// Windows' 260), in place and between two files. The test works inside the deepest folder meanwhile.
TEST(InPlace, LongPaths) {
  const std::size_t longer_than = windows_program() ? 600 : PATH_MAX;
  TempDir dir;
  const auto back = std::filesystem::current_path();
  std::string deep;
  ASSERT_EQ(::chdir(dir.path().c_str()), 0);
  while (deep.size() <= longer_than) {
    const std::string part(200, static_cast<char>('a' + deep.size() / 201));
    deep += part + "/";
    if (::mkdir(part.c_str(), 0755) != 0 || ::chdir(part.c_str()) != 0) break;
  }
  write_file("a.txt", field_bytes("CP1251:@russian.txt"));
  const RunResult in_place = run_recodia({"-ni", "-w", "-tokoi8", deep + "a.txt", deep + "a.txt"}, dir.path());
  const Bytes converted = read_file("a.txt");
  const RunResult between = run_recodia({"-ni", "-koi8", "-towin", "-lf", deep + "a.txt", deep + "b.txt"}, dir.path());
  const Bytes back_again = std::filesystem::exists("b.txt") ? read_file("b.txt") : "";
  std::filesystem::current_path(back);
  EXPECT_EQ(in_place.err + between.err, "");
  EXPECT_EQ(hex(converted), hex(field_bytes("KOI8-R:@russian.txt")));
  EXPECT_EQ(hex(back_again), hex(field_bytes("CP1251:@russian.txt")));
  EXPECT_TRUE(command_output("rm -rf '" + (dir / deep.substr(0, 200)).string() + "'"));
  EXPECT_TRUE(tree(dir.path()).empty()) << "a temporary file left";
}

}  // namespace
}  // namespace recodia::test
