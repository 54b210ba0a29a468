#include "fault_injection.hpp"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace recodia::test {
namespace {

using platform::InputFile;
using platform::OutputFile;

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
  int n_;
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
  int n_;
  platform::MaybeFailure failure_;
};

}  // namespace

bool FaultyFileSystem::hit(Op op, int file) {
  const int call = ++calls_[{op, file}];
  for (const Fault& f : faults_)
    if (f.op == op && f.file == file && (f.call == 0 || f.call == call)) return true;
  return false;
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
  if (hit(Op::create_taken, n)) return {nullptr, {platform::Failure::Kind::name_taken, "File exists"}};
  auto real = real_.create_for_writing(name, mode);
  if (!real.file) return real;
  struct stat st {};
  if (::stat(name.c_str(), &st) == 0) log.push_back("mode " + std::to_string(st.st_mode & 0777));
  return {std::make_unique<FaultyOutput>(std::move(real.file), *this, n), {}};
}

bool FaultyFileSystem::exists(const std::string& name) {
  log.push_back("exists " + name);
  const std::string base = std::filesystem::path(name).filename();
  return (all_temporary_names_taken && base.starts_with("TMP") && base.ends_with(".$$$")) || real_.exists(name);
}

platform::MaybeFailure FaultyFileSystem::rename_over(const std::string& from, const std::string& to) {
  const int n = ++files_[Op::rename];
  for (const Fault& f : faults_)
    if (f.op == Op::rename && f.file == n) return platform::Failure{f.rename, "Injected fault"};
  return real_.rename_over(from, to);
}

const char* const kText = "Съешь же ещё этих мягких французских булок,\nда выпей же чаю. ЁЁЁ ёёё\n";
Bytes original_text() { static const Bytes text = iconv_convert("UTF-8", "CP1251", kText); return text; }
Bytes converted_text() { static const Bytes text = iconv_convert("UTF-8", "KOI8-R", kText); return text; }

Bytes repeated(const Bytes& text, std::size_t at_least) {
  Bytes out;
  while (out.size() < at_least) out += text;
  return out;
}

std::string message(Language language, int n) { return std::string(select_messages(language)[n - 1]) + "\n"; }

RunResult run_in_process(const std::vector<std::string>& arguments, const std::filesystem::path& cwd,
                         platform::FileSystem& files) {
  struct Recorder final : platform::Console {
    explicit Recorder(RunResult& r) : r(r) {}
    void write(platform::Stream s, std::string_view b) override {
      (s == platform::Stream::standard_output ? r.out : r.err) += b;
    }
    bool is_terminal(platform::Stream) override { return false; }
    bool uses_utf8() override { return false; }
    RunResult& r;
  };
  RunResult r;
  Recorder console(r);
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(cwd);  // where the temporary files go
  const std::vector<std::string_view> views(arguments.begin(), arguments.end());
  r.exit_code = run_program(views, files, console);
  std::filesystem::current_path(previous);
  return r;
}

const std::string kDeep = std::string(250, 'p') + "/" + std::string(250, 'q') + "/" + std::string(250, 'r');
const std::string kLongName = kDeep + "/" + std::string(255, 'n');

namespace {

// Why a row cannot check the Windows program under wine, or nothing.
const char* not_under_wine(const RealRun& c) {
  if (!windows_program()) return nullptr;
  if (c.setting.standard_output_terminal) return "a terminal is a console under wine, which adds control sequences";
  const auto standard_output = [&c](const std::string& name) {
    return name == "/dev/stdout" || (c.setting.standard_output_file && *c.setting.standard_output_file == name);
  };
  if (std::any_of(c.names.begin(), c.names.end(), standard_output))
    return "wine gives the standard output it inherits no volume, so it is never matched to a file";
  return nullptr;
}

}  // namespace

void check_real_runs(const std::vector<RealRun>& runs) {
  const mode_t previous_umask = ::umask(022);
  for (const RealRun& c : runs) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const auto file = [&](const std::string& name, const Bytes& bytes, unsigned mode) {
      write_file(dir / name, bytes);
      ::chmod((dir / name).c_str(), mode);
    };
    for (const char* folder : {".", "folder", "locked", "work", "busy", "busy/TMP3.$$$"}) {
      std::filesystem::create_directories(dir / folder);
      ::chmod((dir / folder).c_str(), 0777);
    }
    std::filesystem::create_directories(dir / kDeep);
    for (const auto& [name, mode] : {std::pair{"a.txt", 0644}, {"private.txt", 0600}, {"exec.txt", 0755},
                                     {"ro.txt", 0444}, {"secret.txt", 0}, {"locked/b.txt", 0666}})
      file(name, original_text(), mode);
    file(kLongName, original_text(), 0644);
    file("big.txt", repeated(original_text(), 400000), 0644);
    file("empty.txt", "", 0644);
    file("old.txt", "keep this", 0666);
    file("busy/TMP1.$$$", "someone else's", 0644);
    ::chmod((dir / "locked").c_str(), 0555);
    std::filesystem::create_symlink("nowhere", dir / "busy/TMP2.$$$");
    std::filesystem::create_symlink("a.txt", dir / "link");
    std::filesystem::create_symlink("link", dir / "link2");
    std::filesystem::create_hard_link(dir / "a.txt", dir / "hard");
    const bool device = ::mknod((dir / "null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
    if ((c.setting.unprivileged && !permissions_bind()) || (!c.names.empty() && c.names[0] == "null" && !device) ||
        (c.setting.standard_output_terminal && ::access("/dev/ptmx", R_OK | W_OK) != 0)) {
      std::printf("  (left out, as this machine cannot give what it needs: %s)\n", c.what);
      continue;
    }
    if (const char* why = not_under_wine(c)) {
      std::printf("  (left out for the Windows program: %s, as %s)\n", c.what, why);
      continue;
    }
    Tree expected = tree(dir.path());
    for (const auto& [name, value] : c.changes) expected[name] = value;
    ProcessSetting setting = c.setting;
    if (setting.standard_output_file) setting.standard_output_file = dir.path() / *setting.standard_output_file;
    if (setting.standard_input_file) setting.standard_input_file = dir.path() / *setting.standard_input_file;
    std::vector<std::string> args = {"-ni", "-w", "-tokoi8"};
    for (std::string name : c.names) args.push_back(name.starts_with("$DIR") ? dir.path().string() + name.substr(4) : name);
    const RunResult r = run_recodia(args, dir / c.cwd, setting);
    EXPECT_EQ(r.exit_code, c.exit_code);
    EXPECT_EQ(hex(r.out), hex(c.out));
    EXPECT_TRUE(same_messages(c.err, r.err));
    EXPECT_TRUE(same_tree(expected, tree(dir.path())));
  }
  ::umask(previous_umask);
}

}  // namespace recodia::test
