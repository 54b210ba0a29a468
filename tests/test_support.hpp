// Helpers for tests that run the real program on real files.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace recodia::test {

using Bytes = std::string;  // raw bytes, any value

// A fresh folder under the system's temporary folder, removed with everything
// in it when the object goes.
class TempDir {
 public:
  TempDir();
  // Under `base` instead of the system's temporary folder.
  explicit TempDir(const std::filesystem::path& base);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

Bytes read_file(const std::filesystem::path& p);
void write_file(const std::filesystem::path& p, std::string_view bytes);

struct RunResult {
  int exit_code = -1;
  Bytes out;  // standard output
  Bytes err;  // standard error
};

// The program that whole-program tests run: the command in the environment
// variable RECODIA_TEST_PROGRAM, else the one that CMake's RECODIA_TEST_PROGRAM
// named, else the program just built; split at spaces ("wine recodia.exe").
std::vector<std::string> program_under_test();
// Whether that is the Windows program, which runs under wine: what only a POSIX
// system gives (permission bits, a terminal, closed descriptors) is skipped.
bool windows_program();

// Runs the program under test with these arguments in `working_directory`, with
// standard input from /dev/null. Arguments are passed unchanged (no shell).
RunResult run_recodia(const std::vector<std::string>& arguments,
                      const std::filesystem::path& working_directory);

// What a run may be given beyond the plain pipes.
struct ProcessSetting {
  // Standard output goes to this file, emptied first as a shell's ">" does (or
  // appended to, as ">>" does); RunResult::out then stays empty.
  std::optional<std::filesystem::path> standard_output_file = {};
  bool append_standard_output = false;
  // Standard output is a fresh pseudo-terminal in raw mode; what the program
  // writes there comes back in RunResult::out.
  bool standard_output_terminal = false;
  // Standard input is a terminal, or this file, rather than /dev/null.
  bool standard_input_terminal = false;
  std::optional<std::filesystem::path> standard_input_file = {};
  // Standard error goes where standard output goes (2>&1).
  bool standard_error_to_output = false;
  // Standard output is a pipe whose reader has gone.
  bool standard_output_broken_pipe = false;
  std::optional<std::string> locale = {};  // LC_ALL for the program
  // Standard descriptors (0, 1, 2) that the program starts with closed.
  std::vector<int> closed_descriptors = {};
  // When the tests run as root, run as "nobody", so that permission bits hold.
  bool unprivileged = false;
};

RunResult run_recodia(const std::vector<std::string>& arguments,
                      const std::filesystem::path& working_directory, const ProcessSetting& setting);

// Converts `input` with the given switches through the program (files in a
// temporary folder) and returns the output file's bytes; "-ni" is added.
Bytes convert(const std::vector<std::string>& switches, std::string_view input);

// Bytes converted by glibc's iconv(3) from one charset to another; throws when
// iconv cannot convert them.
Bytes iconv_convert(const char* from, const char* to, std::string_view input);

// Shows bytes as hex for failure messages, and reads them back ("c3a9" or "C3 A9").
std::string hex(std::string_view bytes);
Bytes unhex(std::string_view digits);

// Whether permission bits bind for the program: not root, or root may run it as "nobody".
bool permissions_bind();

// Modification times in nanoseconds since the epoch.
long long modification_time(const std::filesystem::path& p);
void set_modification_time(const std::filesystem::path& p, long long nanoseconds);
// Seconds since the epoch of a local date and time, as mktime gives them.
long long local_seconds(int year, int month, int day, int hour, int minute, int second);

// Everything under a folder by relative name: "dir 755", "-> target" for a
// link, "644 " and the bytes for a file, "special" for anything else.
using Tree = std::map<std::string, std::string>;
Tree tree(const std::filesystem::path& root);

// On a difference: its position and a little context, as hex.
testing::AssertionResult same_bytes(std::string_view expected, std::string_view actual);
// Under the Windows program, a file's permission bits count only as read-only or not.
testing::AssertionResult same_tree(const Tree& expected, const Tree& actual);
// Lines on standard error. The system's reasons are written as POSIX words
// them; the Windows program may word each its own way.
testing::AssertionResult same_messages(std::string_view expected, std::string_view actual);

}  // namespace recodia::test
