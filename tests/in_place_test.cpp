// Converting a file in place: through a temporary file in the current folder,
// whatever the file is called on the command line, keeping its permissions.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <tuple>

#include <string>
#include <vector>

#include "fault_injection.hpp"
#include "platform/paths.hpp"
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

// The folder that a copy beside the file goes into, by either system's rules.
TEST(InPlace, FolderOfAPath) {
  using platform::PathStyle;
  const std::tuple<const char*, PathStyle, const char*> cases[] = {
      {"a.txt", PathStyle::posix, ""},          {"d/a.txt", PathStyle::posix, "d/"},
      {"/a.txt", PathStyle::posix, "/"},        {"d\\a.txt", PathStyle::posix, ""},
      {"d\\a.txt", PathStyle::windows, "d\\"}, {"d/e\\a.txt", PathStyle::windows, "d/e\\"},
      {"C:a.txt", PathStyle::windows, "C:"},    {"C:\\a.txt", PathStyle::windows, "C:\\"},
      {"C:a.txt", PathStyle::posix, ""},        {"\\\\?\\C:\\d\\a.txt", PathStyle::windows, "\\\\?\\C:\\d\\"},
  };
  for (const auto& [path, style, folder] : cases)
    EXPECT_EQ(platform::directory_of(path, style), folder) << path << (style == PathStyle::posix ? " on POSIX" : " on Windows");
}

// What `command` prints, or nothing when it fails.
std::optional<std::string> output_of(const std::string& command) {
  FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return std::nullopt;
  std::string out;
  for (int c; (c = std::fgetc(pipe)) != EOF;) out += static_cast<char>(c);
  return ::pclose(pipe) == 0 ? std::optional(out) : std::nullopt;
}

// Root converts another user's files: each keeps its owner, group, mode,
// access control list and extended attributes (read back by getfacl and getxattr).
TEST(InPlace, KeepsOwnerGroupAclAndExtendedAttributes) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root, to own files as another user";
  if (windows_program()) GTEST_SKIP() << "owners, groups, POSIX ACLs and extended attributes are not Windows'";
  if (!output_of("command -v setfacl getfacl")) GTEST_SKIP() << "setfacl and getfacl are not installed (Debian: acl)";
  struct Case {
    const char* what;
    uid_t owner;
    gid_t group;
    mode_t mode;
    const char* acl;  // for setfacl -m, or none
    bool attribute;   // user.origin set
  };
  const Case cases[] = {
      {"another user's private file", 65534, 65534, 0600, nullptr, false},
      {"with an ACL", 65534, 65534, 0640, "u:daemon:r,g:adm:rw", false},
      {"with an extended attribute", 1, 65534, 0604, nullptr, true},
      {"set-group-ID, ACL and attribute", 65534, 1, 02660, "u:1:rw", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string file = (dir / "a.txt").string();
    write_file(file, original_text());
    ASSERT_EQ(::chown(file.c_str(), c.owner, c.group), 0);
    ASSERT_EQ(::chmod(file.c_str(), c.mode), 0);
    if (c.acl && !output_of("setfacl -m " + std::string(c.acl) + " " + file))
      GTEST_SKIP() << "the temporary folder's file system takes no ACL";
    if (c.attribute && ::setxattr(file.c_str(), "user.origin", "cp1251", 6, 0) != 0)
      GTEST_SKIP() << "the temporary folder's file system takes no extended attributes";
    struct stat before {};
    ::stat(file.c_str(), &before);
    const std::optional<std::string> acl = output_of("getfacl -cp " + file);
    const RunResult r = run_recodia({"-ni", "-w", "-tokoi8", "-i", "a.txt"}, dir.path());
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err, "recodia: converting 'a.txt' in place\n");
    EXPECT_EQ(read_file(file), converted_text());
    struct stat after {};
    ::stat(file.c_str(), &after);
    EXPECT_NE(after.st_ino, before.st_ino) << "replaced, not rewritten";
    EXPECT_EQ(after.st_uid, c.owner);
    EXPECT_EQ(after.st_gid, c.group);
    EXPECT_EQ(after.st_mode & 07777, before.st_mode & 07777);
    EXPECT_EQ(output_of("getfacl -cp " + file), acl);
    char value[16] = {};
    EXPECT_EQ(::getxattr(file.c_str(), "user.origin", value, sizeof value), c.attribute ? 6 : -1);
    EXPECT_EQ(std::string(value), c.attribute ? "cp1251" : "");
  }
}

// A path longer than PATH_MAX: reached folder by folder, in place and between two files.
TEST(InPlace, PathsLongerThanPathMax) {
  if (windows_program()) GTEST_SKIP() << "wine reaches each file by its whole path, which Linux limits to PATH_MAX";
  TempDir dir;
  std::string deep;
  int folder = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
  while (deep.size() <= PATH_MAX) {
    const std::string part(200, static_cast<char>('a' + deep.size() / 201 % 26));
    ASSERT_EQ(::mkdirat(folder, part.c_str(), 0755), 0);
    const int next = ::openat(folder, part.c_str(), O_RDONLY | O_DIRECTORY);
    ::close(folder);
    folder = next;
    deep += part + "/";
  }
  const auto write_at = [&](const char* name, const Bytes& bytes) {
    const int fd = ::openat(folder, name, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    ::close(fd);
  };
  const auto read_at = [&](const char* name) {
    Bytes bytes(4096, '\0');
    const int fd = ::openat(folder, name, O_RDONLY);
    const ssize_t n = fd < 0 ? 0 : ::read(fd, bytes.data(), bytes.size());
    ::close(fd);
    return bytes.substr(0, static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
  };
  write_at("a.txt", original_text());
  const RunResult in_place = run_recodia({"-ni", "-w", "-tokoi8", deep + "a.txt", deep + "a.txt"}, dir.path());
  EXPECT_EQ(in_place.exit_code, 0) << in_place.err;
  EXPECT_EQ(hex(read_at("a.txt")), hex(converted_text()));
  const RunResult between = run_recodia({"-ni", "-koi8", "-towin", "-lf", deep + "a.txt", deep + "b.txt"}, dir.path());
  EXPECT_EQ(between.exit_code, 0) << between.err;
  EXPECT_EQ(hex(read_at("b.txt")), hex(original_text()));
  ::close(folder);
  EXPECT_EQ(std::system(("rm -rf '" + (dir / deep.substr(0, 200)).string() + "'").c_str()), 0);
  EXPECT_TRUE(tree(dir.path()).empty());
}

// A signal in the middle of a conversion: the temporary file is removed, the
// original kept, and the exit code is 128 and the signal's number. The
// program is held in the middle by a full pipe as its standard output, where
// it writes the wait message after it has created the temporary file.
TEST(InPlace, AnInterruptedRunLeavesNoTemporaryFile) {
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal_number);
    if (windows_program() && signal_number != SIGINT) {
      std::printf("  (left out for the Windows program: signal %d, as wine makes only SIGINT a console event)\n",
                  signal_number);
      continue;
    }
    TempDir dir;
    write_file(dir / "a.txt", original_text());
    int out[2];
    ASSERT_EQ(::pipe2(out, O_NONBLOCK), 0);
    const std::string filler(4096, 'x');
    while (::write(out[1], filler.data(), filler.size()) > 0) {
    }
    std::vector<std::string> words = program_under_test();
    words.insert(words.end(), {"-ni", "a.txt", "a.txt"});
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::fcntl(out[1], F_SETFL, 0);  // a blocking write, as a shell's pipe gives
      if (::chdir(dir.path().c_str()) != 0 || ::dup2(out[1], STDOUT_FILENO) < 0) ::_exit(127);
      ::execvp(argv[0], argv.data());
      ::_exit(127);
    }
    // Until the temporary file is there and the program waits on the pipe.
    for (int tries = 0; tries < 500 && !std::filesystem::exists(dir / "TMP1.$$$"); ++tries) ::usleep(10000);
    EXPECT_TRUE(std::filesystem::exists(dir / "TMP1.$$$")) << "the run never got that far";
    ::usleep(50000);
    ::kill(pid, signal_number);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(out[0]);
    ::close(out[1]);
    // Under wine the file goes when its server has closed the ended program's files, a moment later.
    for (int tries = 0; windows_program() && tries < 100 && std::filesystem::exists(dir / "TMP1.$$$"); ++tries)
      ::usleep(10000);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + signal_number) << status;
    EXPECT_TRUE(same_tree({{"a.txt", "644 " + original_text()}}, tree(dir.path())));
  }
}

}  // namespace
}  // namespace recodia::test
