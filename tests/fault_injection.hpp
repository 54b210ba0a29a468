// The platform seam made to fail at a chosen step, runs of the program in-process
// through it, and whole runs of the program in a sample folder, row by row.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cli/run.hpp"
#include "platform/native.hpp"
#include "test_support.hpp"

namespace recodia::test {

// create_taken: the create fails as if another run had just taken the name.
enum class Op { open, read, create, create_taken, write, flush, carry_over, set_time, close, rename };

// For open, create and rename, `file` is which call of the run fails. For the
// operations of an open file it is which file (the n-th opened, or created),
// and `call` which of its calls fails, 0 for all. A failing read or write moves
// half of its block first, as a bad sector or a disk filling up midway does.
struct Fault {
  Op op;
  int file = 1;
  int call = 1;
  platform::Failure::Kind rename = platform::Failure::Kind::other;
};

// The native file system with faults added; logs "create NAME", the mode of
// a created file in octal at its creation ("mode 384" for 0600), "exists NAME",
// "guard NAME", "release NAME" and "set_time" calls in order.
class FaultyFileSystem final : public platform::FileSystem {
 public:
  explicit FaultyFileSystem(std::vector<Fault> faults = {}) : faults_(std::move(faults)) {}
  bool all_temporary_names_taken = false;
  std::vector<std::string> log;

  bool hit(Op op, int file);
  platform::Opened<platform::InputFile> open_for_reading(const std::string& name) override;
  platform::Opened<platform::OutputFile> create_for_writing(const std::string& name, platform::CreateMode mode) override;
  std::unique_ptr<platform::InputFile> standard_input() override { return real_.standard_input(); }
  std::unique_ptr<platform::OutputFile> standard_output() override { return real_.standard_output(); }
  bool standard_input_is_terminal() override { return false; }
  bool exists(const std::string& name) override;
  std::optional<platform::FileStatus> status(const std::string& name) override { return real_.status(name); }
  std::string follow_links(const std::string& name) override { return real_.follow_links(name); }
  platform::MaybeFailure remove(const std::string& name) override { return real_.remove(name); }
  platform::MaybeFailure rename_over(const std::string& from, const std::string& to) override;
  std::optional<platform::FileIdentity> standard_output_identity() override { return real_.standard_output_identity(); }
  void remove_if_interrupted(const std::string& name) override { log.push_back("guard " + name); }
  void keep_if_interrupted(const std::string& name) override { log.push_back("release " + name); }

 private:
  platform::FileSystem& real_ = platform::native_file_system();
  std::vector<Fault> faults_;
  std::map<std::pair<Op, int>, int> calls_;
  std::map<Op, int> files_;
};

// A Russian text as Windows 1251, and as KOI8-R, both from glibc's iconv: what
// "-w -tokoi8" must make of it.
Bytes original_text();
Bytes converted_text();

// `text` over and over, to at least this size.
Bytes repeated(const Bytes& text, std::size_t at_least);
// Message n of a language as the program prints it, with its line break.
std::string message(Language language, int n);

// run_program in `cwd`, through `files`, with a console that records.
RunResult run_in_process(const std::vector<std::string>& arguments, const std::filesystem::path& cwd,
                         platform::FileSystem& files);

// A run of the program ("-ni -w -tokoi8" and the names) in a fresh folder that
// holds, with these permission bits, under umask 022:
//   a.txt 644, private.txt 600, exec.txt 755, ro.txt 444, secret.txt 000: the
//     Windows 1251 text; big.txt 644: the same over 400000 bytes; empty.txt 644;
//     old.txt 666: "keep this";
//   link -> a.txt, link2 -> link, hard: a hard link to a.txt;
//   folder/ 777; work/ 777; locked/ 555 with b.txt 666 (the text);
//   busy/ 777 with TMP1.$$$ (a file), TMP2.$$$ (a dangling link), TMP3.$$$/;
//   kDeep: three folders of 250-byte names, with kLongName in it (the text);
//   null: a character device, where one can be made.
// "$DIR" in a name stands for the folder. Rows that need what the machine
// cannot give (another user than root, a terminal, a device) are left out.
struct RealRun {
  const char* what;
  std::vector<std::string> names;
  int exit_code;
  std::string out, err;
  Tree changes;  // what must differ afterwards; everything else stays as it was
  ProcessSetting setting = {};
  std::string cwd = ".";
};
extern const std::string kDeep, kLongName;
void check_real_runs(const std::vector<RealRun>& runs);

}  // namespace recodia::test
