// Test doubles for the platform seam, and ways of running the program in
// settings that the plain runner does not give: a file system that makes a
// chosen step fail, a console that records what is printed, a change of the
// current directory, and runs with standard output on a file or a terminal or
// without root's right to ignore permission bits.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/console.hpp"
#include "platform/files.hpp"
#include "test_support.hpp"

namespace recodia::test {

// The operations of the seam that can be made to fail.
enum class Operation {
  open_for_reading,   // returns nullptr, opens nothing
  read,               // reads the first half of what was asked, then reports an error
  create_for_writing, // returns nullptr, creates nothing
  write,              // writes the first half of the block, then reports an error
  flush,              // reports an error without syncing
  set_permissions,    // reports an error, changes nothing
  set_last_write_time,// reports an error, changes nothing
  close,              // closes the file, then reports an error
  rename_over,        // returns the fault's rename result, renames nothing
};

struct Fault {
  Operation operation;
  // Which call fails, counting from 1; 0: every call. For the operations of an open output
  // or input file the count is per file, and `file` says which file: the n-th
  // one created (or opened for reading) through this file system. For the
  // others `file` is ignored.
  int call = 1;
  int file = 1;
  platform::RenameResult rename_result = platform::RenameResult::failed;
};

// Wraps a real file system (the POSIX one by default) and fails the steps it
// is told to; every other call goes through unchanged. Records what it saw.
class FaultyFileSystem final : public platform::FileSystem {
 public:
  explicit FaultyFileSystem(platform::FileSystem& real = platform::posix_file_system()) : real_(real) {}

  void add(Fault fault) { faults_.push_back(fault); }
  // Every name that looks like a temporary name ("TMP<n>.$$$", in any folder)
  // is reported as taken.
  void take_all_temporary_names() { temporary_names_taken_ = true; }

  // Calls seen, per operation (output-file operations counted over all files).
  int calls(Operation operation) const;
  // Names passed to create_for_writing, in order, whether or not it succeeded.
  const std::vector<std::string>& create_requests() const { return create_requests_; }
  // Names passed to exists, in order.
  const std::vector<std::string>& exists_requests() const { return exists_requests_; }

  std::unique_ptr<platform::InputFile> open_for_reading(const std::string& name) override;
  std::unique_ptr<platform::OutputFile> create_for_writing(const std::string& name,
                                                           platform::CreateMode mode) override;
  bool exists(const std::string& name) override;
  std::optional<platform::FileStatus> status(const std::string& name) override { return real_.status(name); }
  std::optional<std::string> real_path(const std::string& name) override { return real_.real_path(name); }
  bool remove(const std::string& name) override { return real_.remove(name); }
  platform::RenameResult rename_over(const std::string& from, const std::string& to) override;
  std::optional<platform::FileIdentity> standard_output_identity() override {
    return real_.standard_output_identity();
  }

  // Used by the files it hands out: counts the call and tells whether it is
  // to fail. Input files are numbered apart from output files.
  bool should_fail(Operation operation, int file);

 private:
  const Fault* find(Operation operation, int file, int call) const;

  platform::FileSystem& real_;
  std::vector<Fault> faults_;
  bool temporary_names_taken_ = false;
  std::map<Operation, int> calls_;
  std::map<std::pair<Operation, int>, int> file_calls_;
  int files_created_ = 0;
  int files_opened_ = 0;
  std::vector<std::string> create_requests_;
  std::vector<std::string> exists_requests_;
};

// Records every message; tells the program whatever it is set to about the
// terminal and the locale.
class FakeConsole final : public platform::Console {
 public:
  FakeConsole(bool terminal = false, bool utf8 = false) : terminal_(terminal), utf8_(utf8) {}
  void write(platform::Stream stream, std::string_view bytes) override {
    (stream == platform::Stream::standard_output ? out : err).append(bytes);
  }
  bool is_terminal(platform::Stream) override { return terminal_; }
  bool uses_utf8() override { return utf8_; }

  std::string out;
  std::string err;

 private:
  bool terminal_;
  bool utf8_;
};

// Makes `directory` the current directory until the object goes (the
// in-process runs create their temporary files there).
class CurrentDirectory {
 public:
  explicit CurrentDirectory(const std::filesystem::path& directory);
  ~CurrentDirectory();
  CurrentDirectory(const CurrentDirectory&) = delete;
  CurrentDirectory& operator=(const CurrentDirectory&) = delete;

 private:
  std::filesystem::path previous_;
};

// A fresh folder under /dev/shm (a RAM file system, usually another device
// than the temporary folder), removed with its contents; empty path when
// /dev/shm cannot be used.
class ShmDir {
 public:
  ShmDir();
  ~ShmDir();
  ShmDir(const ShmDir&) = delete;
  ShmDir& operator=(const ShmDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

struct ProcessSetting {
  // Standard output goes to this file (created or emptied first, as a shell's
  // ">" does) instead of a pipe; RunResult::out then stays empty.
  std::optional<std::filesystem::path> standard_output_file;
  // Opens standard_output_file for appending, as ">>" does, instead of emptying it.
  bool append_standard_output = false;
  // Standard output is the slave side of a fresh pseudo-terminal in raw mode;
  // what the program writes there comes back in RunResult::out.
  bool standard_output_terminal = false;
  // The locale the program sees (LC_ALL); unset: the test's own environment.
  std::optional<std::string> locale;
  // Standard descriptors (0, 1, 2) that the program starts with closed, as
  // a shell's "<&-" or ">&-" leaves them.
  std::vector<int> closed_descriptors;
  // When the tests run as root, run the program as the unprivileged user
  // "nobody", so that permission bits hold for it.
  bool unprivileged = false;
};

RunResult run_recodia_with(const std::vector<std::string>& arguments,
                           const std::filesystem::path& working_directory, const ProcessSetting& setting);

// Whether the tests run as root (permission bits then bind only through
// ProcessSetting::unprivileged).
bool running_as_root();
// Whether permission bits bind for the program: the tests do not run as root,
// or root may run it as "nobody".
bool permissions_bind();
// Whether a pseudo-terminal can be had.
bool terminals_available();

// The file's permission bits.
unsigned permission_bits(const std::filesystem::path& p);

// A file's modification time, whole seconds and nanoseconds.
struct FileTime {
  long long seconds = 0;
  long nanoseconds = 0;
  friend bool operator==(const FileTime&, const FileTime&) = default;
};
FileTime modification_time(const std::filesystem::path& p);
void set_modification_time(const std::filesystem::path& p, FileTime t);
// Seconds since the epoch of a local date and time, as the C library's
// mktime gives them.
long long local_seconds(int year, int month, int day, int hour, int minute, int second);

// Compares bytes; on a difference tells the sizes and shows the first
// differing position with a little context, as hex (long texts stay readable).
testing::AssertionResult same_bytes(std::string_view expected, std::string_view actual);

// Names in a folder, sorted.
std::vector<std::string> folder_listing(const std::filesystem::path& folder);

}  // namespace recodia::test
