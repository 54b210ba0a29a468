#include "seam.hpp"

#include <sys/stat.h>

#include <algorithm>

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
    if (f.op == Op::rename && f.file == n) return platform::Failure{f.kind, "Injected fault"};
  return real_.rename_over(from, to);
}

RunResult run_in_process(const std::vector<std::string>& arguments, const std::filesystem::path& directory,
                         platform::FileSystem& files) {
  struct Recorder final : platform::Console {
    explicit Recorder(RunResult& r) : r(r) {}
    void write(platform::Stream s, std::string_view b) override { (s == platform::Stream::standard_output ? r.out : r.err) += b; }
    bool is_terminal(platform::Stream) override { return false; }
    bool uses_utf8() override { return false; }
    RunResult& r;
  };
  RunResult r;
  Recorder console(r);
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(directory);  // where the temporary files go
  const std::vector<std::string_view> views(arguments.begin(), arguments.end());
  r.exit_code = run_program(views, files, console);
  std::filesystem::current_path(previous);
  return r;
}

Bytes original_text() { return field_bytes("CP1251:@russian.txt"); }
Bytes converted_text() { return field_bytes("KOI8-R:@russian.txt"); }

Bytes repeated(const Bytes& text, std::size_t at_least) {
  Bytes out;
  while (out.size() < at_least) out += text;
  return out;
}

}  // namespace recodia::test
