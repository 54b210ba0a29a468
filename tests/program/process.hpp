// Runs of the real program (or of the command in RECODIA_TEST_PROGRAM, such
// as "wine recodia.exe") on real files, and what they leave behind.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support.hpp"

namespace recodia::test {

// A fresh folder (under the system's temporary folder, or `base`), removed
// with everything in it when the object goes.
class TempDir {
 public:
  explicit TempDir(const std::filesystem::path& base = std::filesystem::temp_directory_path());
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

void write_file(const std::filesystem::path& p, std::string_view bytes);

// Whether the program under test is the Windows program under wine: what only POSIX gives
// (permission bits, a terminal, faults through the POSIX services) is skipped.
bool windows_program();

struct RunResult {
  int exit_code = -1;  // 128 + N when signal N ended the program
  Bytes out, err;
  long peak_memory_kib = 0;  // the largest resident set the run had
};

// What a run is given beyond standard input from /dev/null and two pipes.
struct ProcessSetting {
  // Standard output into this file, emptied first as ">" does (appended to, as ">>").
  std::optional<std::filesystem::path> standard_output_file = {};
  bool append_standard_output = false;
  bool standard_output_terminal = false;  // a pseudo-terminal in raw mode, read back into `out`
  bool standard_input_terminal = false;
  std::optional<std::filesystem::path> standard_input_file = {};
  bool standard_error_to_output = false;     // 2>&1
  bool standard_output_broken_pipe = false;  // a pipe whose reader has gone
  std::optional<std::string> locale = {};    // LC_ALL
  std::vector<int> closed_descriptors = {};  // standard streams that the program starts without
  bool unprivileged = false;                 // as "nobody" when the tests run as root
  // Standard output a full pipe, at which the program waits to write its
  // first message, and this signal sent once TMP1.$$$ is there.
  std::optional<int> interrupt = {};
};

// Runs the program under test in `directory`; arguments go unchanged (no shell).
RunResult run_recodia(const std::vector<std::string>& arguments, const std::filesystem::path& directory,
                      const ProcessSetting& setting = {});

// Whether permission bits bind the program: not root, or root may run it as "nobody".
bool permissions_bind();

// Modification times in nanoseconds since the epoch; seconds of a local time, as mktime gives them.
long long modification_time(const std::filesystem::path& p);
void set_modification_time(const std::filesystem::path& p, long long nanoseconds);
long long local_seconds(int year, int month, int day, int hour, int minute, int second);

// Everything under a folder by relative name: "dir 755", "-> target" for a
// link, "644 " and the bytes for a file, "special" for anything else.
using Tree = std::map<std::string, std::string>;
Tree tree(const std::filesystem::path& root);
// Under the Windows program, a file's permission bits count only as read-only or not.
testing::AssertionResult same_tree(const Tree& expected, const Tree& actual);
// Lines on standard error: the Windows program may word the system's reasons its own way.
testing::AssertionResult same_messages(std::string_view expected, std::string_view actual);

}  // namespace recodia::test
