// The program run in process through the platform seam, each step of the
// in-place replacement made to fail in turn (tests/data/in-place-steps.txt),
// a run between two files failing midway, and every temporary name taken.
// No file may be lost, and no failure reported as success.
#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <memory>

#include "cli/run.hpp"
#include "platform/native.hpp"
#include "process.hpp"

namespace recodia::test {
namespace {

using platform::InputFile;
using platform::OutputFile;

// taken: the create fails as if another run had just taken the name.
enum class Op { open, read, create, taken, write, flush, carry_over, set_time, close, rename };
constexpr std::string_view kOps[] = {"open", "read", "create", "taken", "write", "flush", "carry_over", "set_time", "close", "rename"};

// As tests/data/in-place-steps.txt writes them.
struct Fault {
  Op op;
  int file = 1;
  int call = 1;
  platform::Failure::Kind kind = platform::Failure::Kind::other;
};

// The native file system with faults added. Logs "create NAME", a created
// file's mode in decimal ("mode 384" for 0600), "guard NAME", "release NAME"
// and "set_time", in order.
class FaultyFileSystem final : public platform::FileSystem {
 public:
  explicit FaultyFileSystem(std::vector<Fault> faults = {}) : faults_(std::move(faults)) {}
  std::vector<std::string> log;

  bool hit(Op op, int file);
  platform::Opened<platform::InputFile> open_for_reading(const std::string& name) override;
  platform::Opened<platform::OutputFile> create_for_writing(const std::string& name, platform::CreateMode mode) override;
  std::unique_ptr<platform::InputFile> standard_input() override { return real_.standard_input(); }
  std::unique_ptr<platform::OutputFile> standard_output() override { return real_.standard_output(); }
  bool standard_input_is_terminal() override { return false; }
  bool exists(const std::string& name) override { return real_.exists(name); }
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

const platform::Failure kInjected{platform::Failure::Kind::other, "Injected fault"};

class FaultyInput final : public InputFile {
 public:
  FaultyInput(std::unique_ptr<InputFile> real, FaultyFileSystem& fs, int n) : real_(std::move(real)), fs_(fs), n_(n) {}
  std::size_t read(std::uint8_t* data, std::size_t size) override {
    if (failure_) return 0;
    if (fs_.hit(Op::read, n_)) failure_ = kInjected, size /= 2;
    return real_->read(data, size);
  }
  const platform::MaybeFailure& failure() const override { return failure_ ? failure_ : real_->failure(); }
  std::optional<platform::DosDateTime> last_write_time() override { return real_->last_write_time(); }
  std::optional<platform::FileStatus> status() override { return real_->status(); }
  std::unique_ptr<platform::Attributes> attributes() override { return real_->attributes(); }

 private:
  std::unique_ptr<InputFile> real_;
  FaultyFileSystem& fs_;
  const int n_;  // which file of its kind, from 1
  platform::MaybeFailure failure_;
};

class FaultyOutput final : public OutputFile {
 public:
  FaultyOutput(std::unique_ptr<OutputFile> real, FaultyFileSystem& fs, int n) : real_(std::move(real)), fs_(fs), n_(n) {}
  bool write(const std::uint8_t* data, std::size_t size) override {
    if (!failure_ && fs_.hit(Op::write, n_)) real_->write(data, size / 2), failure_ = kInjected;
    return !failure_ && real_->write(data, size);
  }
  const platform::MaybeFailure& failure() const override { return failure_ ? failure_ : real_->failure(); }
  bool flush() override {  // a failure that only flush reports: close may succeed after it
    if (fs_.hit(Op::flush, n_)) failure_ = kInjected;
    return !failure_ && real_->flush();
  }
  bool set_last_write_time(platform::DosDateTime time) override {
    fs_.log.push_back("set_time");
    return !fs_.hit(Op::set_time, n_) && real_->set_last_write_time(time);
  }
  std::vector<platform::NotCarried> carry_over(const platform::Attributes& from) override {
    if (fs_.hit(Op::carry_over, n_)) return {{platform::NotCarried::What::owner, "", kInjected.reason}};
    return real_->carry_over(from);
  }
  bool close() override {
    if (fs_.hit(Op::close, n_) && !failure_) failure_ = kInjected;
    return real_->close() && !failure_;
  }

 private:
  std::unique_ptr<OutputFile> real_;
  FaultyFileSystem& fs_;
  const int n_;  // which file of its kind, from 1
  platform::MaybeFailure failure_;
};

bool FaultyFileSystem::hit(Op op, int file) {
  const int call = ++calls_[{op, file}];
  return std::ranges::any_of(faults_, [&](const Fault& f) { return f.op == op && f.file == file && (f.call == 0 || f.call == call); });
}

platform::Opened<InputFile> FaultyFileSystem::open_for_reading(const std::string& name) {
  const int n = ++files_[Op::open];
  if (hit(Op::open, n)) return {nullptr, kInjected};
  auto real = real_.open_for_reading(name);
  if (!real.file) return real;
  return {std::make_unique<FaultyInput>(std::move(real.file), *this, n), {}};
}

platform::Opened<OutputFile> FaultyFileSystem::create_for_writing(const std::string& name, platform::CreateMode mode) {
  log.push_back("create " + name);
  const int n = ++files_[Op::create];
  if (hit(Op::create, n)) return {nullptr, kInjected};
  if (hit(Op::taken, n)) return {nullptr, {platform::Failure::Kind::name_taken, "File exists"}};
  auto real = real_.create_for_writing(name, mode);
  if (!real.file) return real;
  struct stat st {};
  if (::stat(name.c_str(), &st) == 0) log.push_back("mode " + std::to_string(st.st_mode & 0777));
  return {std::make_unique<FaultyOutput>(std::move(real.file), *this, n), {}};
}

platform::MaybeFailure FaultyFileSystem::rename_over(const std::string& from, const std::string& to) {
  const int n = ++files_[Op::rename];
  for (const Fault& f : faults_)
    if (f.op == Op::rename && f.file == n) return platform::Failure{f.kind, "Injected fault"};
  return real_.rename_over(from, to);
}

RunResult run_in_process(const std::vector<std::string>& arguments, const std::filesystem::path& directory,
                         platform::FileSystem& files) {
  struct Recorder final : platform::Console {
    RunResult r;
    void write(platform::Stream s, std::string_view b) override { (s == platform::Stream::standard_output ? r.out : r.err) += b; }
    bool is_terminal(platform::Stream) override { return false; }
    bool uses_utf8() override { return false; }
  } console;
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(directory);  // where the temporary files go
  const std::vector<std::string_view> views(arguments.begin(), arguments.end());
  console.r.exit_code = run_program(views, files, console);
  std::filesystem::current_path(previous);
  return console.r;
}

// "rename@2!device": a fault as the steps' table writes it.
Fault fault_of(const std::string& text) {
  Fault f{static_cast<Op>(std::ranges::find(kOps, text.substr(0, text.find_first_of("@#!"))) - std::begin(kOps))};
  if (const std::size_t at = text.find('@'); at != std::string::npos) f.file = std::stoi(text.substr(at + 1));
  if (const std::size_t at = text.find('#'); at != std::string::npos) f.call = std::stoi(text.substr(at + 1));
  if (text.ends_with("!device")) f.kind = platform::Failure::Kind::other_device;
  return f;
}

const std::string kWait = "Wait...\n", kOk = kWait + " Done.\n";
const Bytes kInput = field_bytes("CP1251:@russian.txt"), kOutput = field_bytes("KOI8-R:@russian.txt");

// Several blocks, so that a write can fail midway.
constexpr std::size_t kLong = 400000;

TEST(Seam, EveryStepOfTheInPlaceReplacementFailsInTurn) {
  const Bytes input = repeated(kInput, kLong), expected = repeated(kOutput, kLong);
  const mode_t previous_umask = ::umask(022);  // the temporary file must be private all the same
  const long long time = local_seconds(2005, 5, 5, 5, 5, 5) * 1000000000;
  for (const auto& row : data_rows("in-place-steps.txt")) {
    std::vector<Fault> faults;
    for (const std::string& word : words(row[1])) faults.push_back(fault_of(word));
    const std::string& left = row[2];
    for (const bool pdt : {false, true}) {
      SCOPED_TRACE(row[0] + (pdt ? ", -pdt" : ""));
      TempDir dir;
      std::filesystem::create_directories(dir / "work");
      write_file(dir / "a.txt", input);
      ::chmod((dir / "a.txt").c_str(), 0640);
      set_modification_time(dir / "a.txt", time + 123);
      Tree before = tree(dir.path());
      FaultyFileSystem files(faults);
      const RunResult r = run_in_process({"-ni", "-w", "-tokoi8", pdt ? "-pdt" : "-nec", "../a.txt", "../a.txt"}, dir / "work", files);
      EXPECT_EQ(r.exit_code, left == "replaced" ? 0 : 1);
      EXPECT_EQ(r.out, left == "nothing" ? "" : left == "replaced" ? kOk : kWait);
      EXPECT_EQ(r.err, field_bytes(row[4]));
      // Every temporary file private from its creation on, and removed should
      // the run be interrupted, until it is done with.
      std::map<std::string, int> kinds;
      for (const std::string& entry : files.log) ++kinds[entry.substr(0, entry.find(' '))];
      for (const std::string& entry : files.log) EXPECT_TRUE(!entry.starts_with("mode") || entry == "mode 384") << entry;
      EXPECT_EQ(kinds["guard"], kinds["mode"]);
      EXPECT_EQ(kinds["release"], kinds["mode"]);
      Tree after = tree(dir.path());
      const std::string mode = row[3] + " ";
      if (left == "partial") {
        const std::string kept = after["work/TMP1.$$$"];
        ASSERT_TRUE(kept.starts_with(mode) && kept.size() < expected.size() + 4) << kept.substr(0, 4);
        EXPECT_TRUE(same_bytes(expected.substr(0, kept.size() - 4), kept.substr(4))) << "a start of the result";
        after.erase("work/TMP1.$$$");
      }
      if (left == "complete") before["work/TMP1.$$$"] = mode + expected;
      if (left == "replaced") before["a.txt"] = mode + expected;
      EXPECT_TRUE(same_tree(before, after));
      const bool time_set = left == "replaced" && pdt && (faults.empty() || faults[0].op != Op::set_time);
      if (left != "replaced" || time_set) {
        EXPECT_EQ(modification_time(dir / "a.txt"), time_set ? time - 1000000000 : time + 123);
      }
    }
  }
  ::umask(previous_umask);
}

// Between two files: a failed run keeps what was written, and sets no time.
TEST(Seam, AFailedRunBetweenTwoFilesSetsNoTime) {
  for (const char* fault : {"write#2", "close"}) {
    TempDir dir;
    write_file(dir / "in", repeated(kInput, kLong));
    FaultyFileSystem files({fault_of(fault)});
    const RunResult r = run_in_process({"-ni", "-pdt", "-w", "-tokoi8", "in", "out"}, dir.path(), files);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, kWait);
    const Bytes out = read_file(dir / "out"), expected = repeated(kOutput, kLong);
    EXPECT_TRUE(out.size() <= expected.size() && same_bytes(expected.substr(0, out.size()), out));
    // The time is set just before closing, where the second fault lies.
    EXPECT_EQ(std::ranges::count(files.log, "set_time"), fault == std::string("close")) << fault;
  }
}

TEST(Seam, AllTemporaryNamesTaken) {
  TempDir dir;
  write_file(dir / "a.txt", kInput);
  for (int i = 1; i <= 65535; ++i) write_file(dir / ("TMP" + std::to_string(i) + ".$$$"), "");
  FaultyFileSystem files;
  const RunResult r = run_in_process({"-ni", "-w", "-tokoi8", "a.txt", "a.txt"}, dir.path(), files);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "recodia: 'TMP1.$$$' is in the way, perhaps left by an interrupted run; it is left alone\nrecodia: cannot "
                   "convert 'a.txt' in place: every temporary name from TMP1.$$$ to TMP65535.$$$ in the current folder is taken\n");
  EXPECT_EQ(read_file(dir / "a.txt"), kInput);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 65536) << "a file made";
  // The counter is 16 bits and skips 0: after TMP65535 comes TMP1.
  TemporaryNames names;
  const std::string empty = (dir / "empty/").string();
  for (int i = 1; i <= 65535; ++i) ASSERT_EQ(names.make_temporary_name(files, empty), empty + "TMP" + std::to_string(i) + ".$$$");
  EXPECT_EQ(names.make_temporary_name(files, empty), empty + "TMP1.$$$");
}

}  // namespace
}  // namespace recodia::test
