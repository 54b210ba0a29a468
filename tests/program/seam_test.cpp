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

// The steps that can be made to fail, and the changes made to the folder
// between reading and replacing: the file swapped for another, its name made
// a link to another file, its folder swapped for a link to another folder.
enum class Op { open, read, create, write, flush, carry_over, set_time, close, rename, swap, link, folder };
constexpr std::string_view kOps[] = {"open", "read", "create", "write", "flush", "carry_over", "set_time", "close", "rename", "swap", "link", "folder"};

// As tests/data/in-place-steps.txt writes them.
struct Fault {
  Op op;
  int file = 1;
  int call = 1;
};

// The native file system with faults added. Logs a replacement's mode in
// decimal when it is created ("mode 384" for 0600), "beside" when it is in
// the file's own folder, and "set_time", in order.
class FaultyFileSystem final : public platform::FileSystem {
 public:
  explicit FaultyFileSystem(std::vector<Fault> faults = {}, platform::NewFiles new_files = platform::NewFiles::nameless_where_possible)
      : real_(platform::native_file_system(new_files)), faults_(std::move(faults)) {}
  std::vector<std::string> log;

  bool hit(Op op, int file);
  platform::Opened<platform::InputFile> open_for_reading(const std::string& name) override;
  platform::Opened<platform::OutputFile> create_for_writing(const std::string& name) override;
  platform::Opened<platform::InPlaceFile> open_in_place(const std::string& name) override;
  std::unique_ptr<platform::InputFile> standard_input() override { return real_.standard_input(); }
  std::unique_ptr<platform::OutputFile> standard_output() override { return real_.standard_output(); }
  bool standard_input_is_terminal() override { return false; }
  std::optional<platform::FileStatus> status(const std::string& name) override { return real_.status(name); }
  std::optional<platform::FileIdentity> standard_output_identity() override { return real_.standard_output_identity(); }

 private:
  platform::FileSystem& real_;
  std::vector<Fault> faults_;
  std::map<std::pair<Op, int>, int> calls_;
  std::map<Op, int> files_;
};

const platform::Failure kInjected{platform::Failure::Kind::other, "Injected fault"};

class FaultyInput final : public InputFile {
 public:
  FaultyInput(InputFile& real, FaultyFileSystem& fs, int n, std::unique_ptr<InputFile> owned = nullptr)
      : owned_(std::move(owned)), real_(real), fs_(fs), n_(n) {}
  std::size_t read(std::uint8_t* data, std::size_t size) override {
    if (failure_) return 0;
    if (fs_.hit(Op::read, n_)) failure_ = kInjected, size /= 2;
    return real_.read(data, size);
  }
  const platform::MaybeFailure& failure() const override { return failure_ ? failure_ : real_.failure(); }
  std::optional<platform::DosDateTime> last_write_time() override { return real_.last_write_time(); }
  std::optional<platform::FileStatus> status() override { return real_.status(); }
  std::unique_ptr<platform::Attributes> attributes() override { return real_.attributes(); }

 private:
  std::unique_ptr<InputFile> owned_;
  InputFile& real_;
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

// The files this process has open in `folder`, nameless ones too, and their modes.
std::vector<std::pair<std::string, unsigned>> open_in(const std::filesystem::path& folder) {
  std::vector<std::pair<std::string, unsigned>> found;
  for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    const std::string target = std::filesystem::read_symlink(fd.path(), error).string();
    struct stat st {};
    if (!error && target.starts_with(folder.string() + "/") && ::stat(fd.path().c_str(), &st) == 0 && S_ISREG(st.st_mode))
      found.emplace_back(target, st.st_mode & 0777);
  }
  return found;
}

// What the steps' table changes between reading and replacing, in the folder
// of the file ("docs") and beside it.
void change_folder(Op op, const std::filesystem::path& file) {
  namespace fs = std::filesystem;
  const fs::path docs = file.parent_path(), top = docs.parent_path();
  if (op == Op::swap) fs::rename(file, docs / "a.moved"), write_file(file, "someone else's");
  if (op == Op::link) fs::rename(file, docs / "a.moved"), fs::create_symlink("../etc/a.txt", file);
  if (op == Op::folder) fs::rename(docs, top / "docs.moved"), fs::create_directory_symlink("etc", docs);
}

class FaultyInPlace final : public platform::InPlaceFile {
 public:
  FaultyInPlace(std::unique_ptr<platform::InPlaceFile> real, FaultyFileSystem& fs, int n, std::filesystem::path file)
      : real_(std::move(real)), fs_(fs), n_(n), file_(std::move(file)), input_(real_->original(), fs, n) {}
  InputFile& original() override { return input_; }
  platform::Opened<OutputFile> create_replacement() override {
    if (fs_.hit(Op::create, n_)) return {nullptr, kInjected};
    const auto before = open_in(file_.parent_path());
    auto made = real_->create_replacement();
    if (!made.file) return made;
    for (const auto& [name, mode] : open_in(file_.parent_path())) {
      if (std::ranges::count(before, std::pair{name, mode})) continue;
      fs_.log.push_back("mode " + std::to_string(mode));
      fs_.log.push_back("beside");
    }
    return {std::make_unique<FaultyOutput>(std::move(made.file), fs_, n_), {}};
  }
  platform::MaybeFailure replace(const std::string& backup_suffix) override {
    for (const Op op : {Op::swap, Op::link, Op::folder})
      if (fs_.hit(op, n_)) change_folder(op, file_);
    if (fs_.hit(Op::rename, n_)) return kInjected;
    return real_->replace(backup_suffix);
  }
  platform::FileIdentity identity() override { return real_->identity(); }
  bool has_other_names() override { return real_->has_other_names(); }

 private:
  std::unique_ptr<platform::InPlaceFile> real_;
  FaultyFileSystem& fs_;
  const int n_;
  const std::filesystem::path file_;
  FaultyInput input_;
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
  InputFile& file = *real.file;
  return {std::make_unique<FaultyInput>(file, *this, n, std::move(real.file)), {}};
}

platform::Opened<platform::InPlaceFile> FaultyFileSystem::open_in_place(const std::string& name) {
  const int n = ++files_[Op::open];
  if (hit(Op::open, n)) return {nullptr, kInjected};
  auto real = real_.open_in_place(name);
  if (!real.file) return real;
  return {std::make_unique<FaultyInPlace>(std::move(real.file), *this, n, std::filesystem::absolute(name).lexically_normal()), {}};
}

platform::Opened<OutputFile> FaultyFileSystem::create_for_writing(const std::string& name) {
  const int n = ++files_[Op::create];
  if (hit(Op::create, n)) return {nullptr, kInjected};
  auto real = real_.create_for_writing(name);
  if (!real.file) return real;
  return {std::make_unique<FaultyOutput>(std::move(real.file), *this, n), {}};
}

RunResult run_in_process(const std::vector<std::string>& arguments, const std::filesystem::path& directory,
                         platform::FileSystem& files) {
  struct Recorder final : platform::Console {
    RunResult r;
    bool write(platform::Stream s, std::string_view b) override {
      (s == platform::Stream::standard_output ? r.out : r.err) += b;
      return true;
    }
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

// "write@2#3": a fault as the steps' table writes it.
Fault fault_of(const std::string& text) {
  Fault f{static_cast<Op>(std::ranges::find(kOps, text.substr(0, text.find_first_of("@#"))) - std::begin(kOps))};
  if (const std::size_t at = text.find('@'); at != std::string::npos) f.file = std::stoi(text.substr(at + 1));
  if (const std::size_t at = text.find('#'); at != std::string::npos) f.call = std::stoi(text.substr(at + 1));
  return f;
}

const std::string kWait = "Wait...\n", kOk = kWait + " Done.\n";
const Bytes kInput = field_bytes("CP1251:@russian.txt"), kOutput = field_bytes("KOI8-R:@russian.txt");

// Several blocks, so that a write can fail midway.
constexpr std::size_t kLong = 400000;

TEST(Seam, EveryStepOfTheInPlaceReplacementFailsInTurn) {
  const Bytes input = repeated(kInput, kLong), expected = repeated(kOutput, kLong);
  const mode_t previous_umask = ::umask(022);  // the replacement must be private all the same
  const long long time = local_seconds(2005, 5, 5, 5, 5, 5) * 1000000000;
  for (const auto& row : data_rows("in-place-steps.txt")) {
    std::vector<Fault> faults;
    const std::vector<std::string> given = words(row[1]);
    for (const std::string& word : given)
      if (word != "bak") faults.push_back(fault_of(word));
    const bool bak = std::ranges::count(given, "bak") > 0;
    // Without a name (Linux's way where it can), and named, as elsewhere.
    for (const auto new_files : {platform::NewFiles::nameless_where_possible, platform::NewFiles::named})
    for (const bool pdt : {false, true}) {
      SCOPED_TRACE(row[0] + (pdt ? ", -pdt" : "") + (new_files == platform::NewFiles::named ? ", named" : ""));
      TempDir dir;
      for (const char* folder : {"work", "docs", "etc"}) std::filesystem::create_directories(dir / folder);
      write_file(dir / "docs/a.txt", input);
      write_file(dir / "etc/a.txt", "root's");
      ::chmod((dir / "docs/a.txt").c_str(), 0640);
      set_modification_time(dir / "docs/a.txt", time + 123);
      Tree before = tree(dir.path());
      FaultyFileSystem files(faults, new_files);
      const RunResult r = run_in_process({"-ni", "-w", "-tokoi8", pdt ? "-pdt" : "-nec", bak ? "-bak" : "-nec", "../docs/a.txt",
                                          "../docs/a.txt"}, dir / "work", files);
      EXPECT_EQ(r.exit_code, std::stoi(row[2]));
      EXPECT_EQ(r.out, field_bytes(row[3]));
      EXPECT_EQ(r.err, field_bytes(row[4]));
      // The replacement private from its creation on, and made beside the file.
      for (const std::string& entry : files.log) EXPECT_TRUE(!entry.starts_with("mode") || entry == "mode 384") << entry;
      EXPECT_EQ(std::ranges::count(files.log, "beside"), given.empty() || (given[0] != "open" && given[0] != "create"));
      // What the row names is changed; everything else is as it was, nothing left beside.
      for (std::string change : words(row[5])) {
        const std::size_t colon = change.find(':');
        const std::string name = change.substr(0, colon), what = change.substr(colon + 1);
        if (what == "gone") before.erase(name);
        else before[name] = what == "converted" ? "640 " + expected : what == "private" ? "600 " + expected
                          : what == "original" ? "640 " + input : what == "other" ? "644 someone else's" : "-> " + what;
      }
      if (row[1] == "folder") before["docs.moved"] = "dir 755";
      Tree after = tree(dir.path());
      EXPECT_TRUE(same_tree(before, after));
      // The original keeps its time; the converted file takes it with "-pdt".
      const bool converted = row[5].find(":converted") != std::string::npos || row[5].find(":private") != std::string::npos;
      const std::string kept = row[5].find("docs.moved") != std::string::npos ? "docs.moved/a.txt"
                             : row[5].find("a.moved") != std::string::npos ? "docs/a.moved" : "docs/a.txt";
      if (!converted) {
        EXPECT_EQ(modification_time(dir / kept), time + 123);
      } else if (pdt && row[1] != "set_time#0") {
        EXPECT_EQ(modification_time(dir / kept), time - 1000000000);
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

}  // namespace
}  // namespace recodia::test
