// The program run in process through the platform seam, with a chosen step
// made to fail.
#pragma once

#include <map>
#include <memory>

#include "cli/run.hpp"
#include "platform/native.hpp"
#include "process.hpp"

namespace recodia::test {

// create_taken: the create fails as if another run had just taken the name.
enum class Op { open, read, create, create_taken, write, flush, carry_over, set_time, close, rename };

// For open, create and rename, `file` is which call of the run fails; for the
// operations of an open file, which file (the n-th opened, or created), and
// `call` which of its calls (0 for all). A failing read or write moves half
// of its block first, as a bad sector or a disk filling up midway does.
struct Fault {
  Op op;
  int file = 1;
  int call = 1;
  platform::Failure::Kind kind = platform::Failure::Kind::other;
};

// The native file system with faults added. Logs "create NAME", a created
// file's mode in decimal ("mode 384" for 0600), "exists NAME", "guard NAME",
// "release NAME" and "set_time", in order.
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

// run_program in `directory`, through `files`, with a console that records.
RunResult run_in_process(const std::vector<std::string>& arguments, const std::filesystem::path& directory,
                         platform::FileSystem& files);

// tests/data/russian.txt in Windows 1251, and in KOI8-R (what "-w -tokoi8"
// makes of it); a text repeated to at least a size.
Bytes original_text();
Bytes converted_text();
Bytes repeated(const Bytes& text, std::size_t at_least);

}  // namespace recodia::test
