#include "test_support.hpp"

#include <fcntl.h>
#include <grp.h>
#include <iconv.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace recodia::test {

TempDir::TempDir() : TempDir(std::filesystem::temp_directory_path()) {}

TempDir::TempDir(const std::filesystem::path& base) {
  std::string pattern = (base / "recodia-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  // Tests may take permissions away; give them back so that removal works.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
  }
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

Bytes read_file(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + p.string());
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void write_file(const std::filesystem::path& p, std::string_view bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + p.string());
}

namespace {

Bytes drain(int fd) {
  Bytes all;
  std::array<char, 65536> buf;
  for (;;) {
    const ssize_t n = ::read(fd, buf.data(), buf.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    all.append(buf.data(), static_cast<std::size_t>(n));
  }
  ::close(fd);
  return all;
}

}  // namespace

std::vector<std::string> program_under_test() {
  const char* chosen = std::getenv("RECODIA_TEST_PROGRAM");
  std::istringstream command(chosen != nullptr && *chosen != '\0' ? chosen : RECODIA_TEST_PROGRAM);
  std::vector<std::string> words{std::istream_iterator<std::string>(command), std::istream_iterator<std::string>()};
  if (words.empty()) words.push_back(RECODIA_BINARY);
  return words;
}

bool windows_program() {
  static const bool windows = program_under_test().back().ends_with(".exe");
  return windows;
}

RunResult run_recodia(const std::vector<std::string>& arguments, const std::filesystem::path& working_directory) {
  return run_recodia(arguments, working_directory, ProcessSetting{});
}

RunResult run_recodia(const std::vector<std::string>& arguments, const std::filesystem::path& working_directory,
                      const ProcessSetting& setting) {
  int out[2] = {-1, -1};  // what the program's standard output is, and where the test reads it
  int err[2];
  if (::pipe(err) != 0) throw std::runtime_error("pipe failed");
  if (setting.standard_output_terminal) {
    out[0] = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (out[0] < 0 || ::grantpt(out[0]) != 0 || ::unlockpt(out[0]) != 0) throw std::runtime_error("no terminal");
    // Opened before the program starts, so that nothing it writes is lost.
    out[1] = ::open(::ptsname(out[0]), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios raw{};
    if (out[1] < 0 || ::tcgetattr(out[1], &raw) != 0) throw std::runtime_error("no terminal");
    ::cfmakeraw(&raw);
    ::tcsetattr(out[1], TCSANOW, &raw);
  } else if (setting.standard_output_file) {
    const int mode = setting.append_standard_output ? O_APPEND : O_TRUNC;
    out[1] = ::open(setting.standard_output_file->c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | mode, 0666);
    if (out[1] < 0) throw std::runtime_error("cannot open " + setting.standard_output_file->string());
  } else if (::pipe(out) != 0) {
    throw std::runtime_error("pipe failed");
  } else if (setting.standard_output_broken_pipe) {
    ::close(out[0]);
    out[0] = -1;
  }
  int terminal_in = -1, terminal_master = -1;  // standard input; a terminal's master stays open until the end
  if (setting.standard_input_terminal) {
    terminal_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (terminal_master < 0 || ::grantpt(terminal_master) != 0 || ::unlockpt(terminal_master) != 0)
      throw std::runtime_error("no terminal");
    terminal_in = ::open(::ptsname(terminal_master), O_RDWR | O_NOCTTY | O_CLOEXEC);
  } else if (setting.standard_input_file) {
    terminal_in = ::open(setting.standard_input_file->c_str(), O_RDONLY | O_CLOEXEC);
    if (terminal_in < 0) throw std::runtime_error("cannot open " + setting.standard_input_file->string());
  }
  std::vector<std::string> copies = program_under_test();
  copies.insert(copies.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& a : copies) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::string locale = setting.locale ? "LC_ALL=" + *setting.locale : std::string();
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    if (setting.unprivileged && ::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
      ::_exit(126);
    if (::chdir(working_directory.c_str()) != 0) ::_exit(127);
    ::dup2(terminal_in >= 0 ? terminal_in : ::open("/dev/null", O_RDONLY), STDIN_FILENO);
    ::dup2(out[1], STDOUT_FILENO);
    ::dup2(setting.standard_error_to_output ? out[1] : err[1], STDERR_FILENO);
    for (int fd : {out[0], err[0]})
      if (fd >= 0) ::close(fd);
    for (int fd : setting.closed_descriptors) ::close(fd);
    if (setting.locale) ::putenv(locale.data());
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(err[1]);
  if (terminal_in >= 0) ::close(terminal_in);
  RunResult result;
  // Both streams are drained at once so that neither can fill up and block the child.
  std::thread err_reader([&] { result.err = drain(err[0]); });
  int status = 0;
  if (setting.standard_output_terminal) {
    // The messages are far shorter than a terminal's buffer: let the program
    // finish, then read what it left there (the master reports EIO at the end).
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    ::close(out[1]);
    result.out = drain(out[0]);
  } else {
    ::close(out[1]);
    if (out[0] >= 0) result.out = drain(out[0]);
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
  err_reader.join();
  if (terminal_master >= 0) ::close(terminal_master);
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

Bytes convert(const std::vector<std::string>& switches, std::string_view input) {
  TempDir dir;
  write_file(dir / "in.txt", input);
  std::vector<std::string> args = switches;
  args.push_back("-ni");
  args.push_back("in.txt");
  args.push_back("out.txt");
  const RunResult r = run_recodia(args, dir.path());
  if (r.exit_code != 0) throw std::runtime_error("recodia failed with exit code " + std::to_string(r.exit_code));
  return read_file(dir / "out.txt");
}

Bytes iconv_convert(const char* from, const char* to, std::string_view input) {
  iconv_t cd = ::iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error(std::string("iconv_open ") + from + " " + to);
  Bytes out(input.size() * 8 + 16, '\0');
  char* in_ptr = const_cast<char*>(input.data());
  std::size_t in_left = input.size();
  char* out_ptr = out.data();
  std::size_t out_left = out.size();
  const std::size_t r = ::iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
  ::iconv_close(cd);
  if (r == static_cast<std::size_t>(-1)) throw std::runtime_error(std::string("iconv cannot convert from ") + from);
  out.resize(out.size() - out_left);
  return out;
}

std::string hex(std::string_view bytes) {
  std::string s;
  char buf[4];
  for (unsigned char c : bytes) {
    std::snprintf(buf, sizeof buf, "%02X ", c);
    s += buf;
  }
  if (!s.empty()) s.pop_back();
  return s;
}

Bytes unhex(std::string_view digits) {
  Bytes out;
  int high = -1;
  for (char c : digits) {
    if (c == ' ') continue;
    const int v = std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : (std::tolower(c) - 'a' + 10);
    if (high < 0) {
      high = v;
    } else {
      out += static_cast<char>(high << 4 | v);
      high = -1;
    }
  }
  return out;
}

bool permissions_bind() {
  // Root can hand the program to "nobody" only where setuid is allowed.
  // (wine runs only for the owner of its prefix.)
  static const bool bind = !windows_program() && (::geteuid() != 0 ||
                           run_recodia({"--version"}, "/", {.unprivileged = true}).exit_code == 0);
  return bind;
}

long long modification_time(const std::filesystem::path& p) {
  struct stat st {};
  if (::stat(p.c_str(), &st) != 0) throw std::runtime_error("cannot stat " + p.string());
  return st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
}

void set_modification_time(const std::filesystem::path& p, long long ns) {
  const struct timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(ns / 1000000000), ns % 1000000000}};
  if (::utimensat(AT_FDCWD, p.c_str(), times, 0) != 0) throw std::runtime_error("cannot set the time of " + p.string());
}

long long local_seconds(int year, int month, int day, int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = year - 1900, t.tm_mon = month - 1, t.tm_mday = day;
  t.tm_hour = hour, t.tm_min = minute, t.tm_sec = second, t.tm_isdst = -1;
  return static_cast<long long>(std::mktime(&t));
}

Tree tree(const std::filesystem::path& root) {
  namespace fs = std::filesystem;
  Tree t;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    const fs::file_status s = e.symlink_status();
    char mode[8];
    std::snprintf(mode, sizeof mode, "%o", static_cast<unsigned>(s.permissions()) & 0777u);
    std::string& v = t[e.path().lexically_relative(root).string()];
    if (fs::is_symlink(s)) {
      v = "-> " + fs::read_symlink(e.path()).string();
    } else if (fs::is_directory(s)) {
      v = std::string("dir ") + mode;
    } else if (fs::is_regular_file(s)) {
      v = std::string(mode) + " " + (::access(e.path().c_str(), R_OK) == 0 ? read_file(e.path()) : "?");
    } else {
      v = "special";
    }
  }
  return t;
}

testing::AssertionResult same_bytes(std::string_view expected, std::string_view actual) {
  if (expected == actual) return testing::AssertionSuccess();
  std::size_t i = 0;
  while (i < expected.size() && i < actual.size() && expected[i] == actual[i]) ++i;
  const std::size_t from = i < 8 ? 0 : i - 8;
  return testing::AssertionFailure() << "expected " << expected.size() << " bytes, got " << actual.size()
                                     << "; first difference at " << i << ": expected ..."
                                     << hex(expected.substr(std::min(from, expected.size()), 24)) << "... got ..."
                                     << hex(actual.substr(std::min(from, actual.size()), 24)) << "...";
}

namespace {

// Windows keeps no permission bits, only whether a file is read-only.
std::string as_windows_keeps_it(const std::string& value) {
  const std::size_t space = value.find(' ');
  if (!windows_program() || space == std::string::npos || value[0] < '0' || value[0] > '7') return value;
  const bool writable = (std::stoul(value.substr(0, space), nullptr, 8) & 0200) != 0;
  return (writable ? "writable" : "read-only") + value.substr(space);
}

}  // namespace

testing::AssertionResult same_tree(const Tree& expected, const Tree& actual) {
  std::string diff;
  Tree all = expected;
  all.insert(actual.begin(), actual.end());
  for (const auto& entry : all) {
    const auto e = expected.find(entry.first), a = actual.find(entry.first);
    if (e == expected.end()) diff += "\n  unexpected " + entry.first + ": " + a->second.substr(0, 40);
    else if (a == actual.end()) diff += "\n  missing " + entry.first;
    else if (as_windows_keeps_it(e->second) != as_windows_keeps_it(a->second))
      diff += "\n  " + entry.first + ": " + same_bytes(e->second, a->second).message();
  }
  if (diff.empty()) return testing::AssertionSuccess();
  return testing::AssertionFailure() << "the folder differs:" << diff;
}

testing::AssertionResult same_messages(std::string_view expected, std::string_view actual) {
  if (expected == actual) return testing::AssertionSuccess();
  const auto failure = [&] { return testing::AssertionFailure() << "expected:\n" << expected << "got:\n" << actual; };
  if (!windows_program()) return failure();
  static constexpr std::string_view kPosixReasons[] = {
      "No such file or directory", "Permission denied", "Is a directory", "Not a directory",
      "File name too long",        "No space left on device", "Broken pipe"};
  std::istringstream expected_lines{std::string(expected)}, actual_lines{std::string(actual)};
  std::string e, a;
  while (std::getline(expected_lines, e)) {
    if (!std::getline(actual_lines, a)) return failure();
    if (e == a) continue;
    // The same line but for the reason, which says something.
    const auto matches_but_reason = [&](std::string_view reason) {
      const std::size_t at = e.find(reason);
      const std::size_t rest = at == std::string::npos ? 0 : e.size() - at - reason.size();
      return at != std::string::npos && a.size() > at + rest && a.compare(0, at, e, 0, at) == 0 &&
             a.compare(a.size() - rest, rest, e, e.size() - rest, rest) == 0;
    };
    if (std::none_of(std::begin(kPosixReasons), std::end(kPosixReasons), matches_but_reason)) return failure();
  }
  if (std::getline(actual_lines, a)) return failure();
  return testing::AssertionSuccess();
}

}  // namespace recodia::test
