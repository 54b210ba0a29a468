// Windows file services: handles from CreateFileW, no buffering of our own
// (the run reads and writes large blocks itself). Names arrive as UTF-8 and
// go to Windows as UTF-16, in the extended form where they are long.
#include <windows.h>

#include <algorithm>
#include <array>
#include <memory>
#include <tuple>
#include <vector>
#include <mutex>
#include <string>

#include "platform/native.hpp"
#include "platform/windows_text.hpp"

namespace recodia::platform {
namespace {

// What a replacement takes over from the file that it replaces.
constexpr DWORD kCarriedAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                     FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
// Files are opened without holding others off, as POSIX opens them; sharing
// deletion also lets an interrupted run remove its temporary file while open.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// The longest path that Windows takes, in UTF-16 units.
constexpr DWORD kLongestPath = 32768;
// One ReadFile or WriteFile moves at most this much.
constexpr std::size_t kLargestTransfer = 1 << 30;

// The system's words for an error, in English as the POSIX build gives them,
// without the closing full stop and line break.
std::string reason_for(DWORD error) {
  wchar_t* text = nullptr;
  constexpr DWORD kFlags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
  DWORD n = 0;
  for (const WORD language : {MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT)}) {
    n = ::FormatMessageW(kFlags, nullptr, error, language, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    if (n != 0) break;
  }
  if (n == 0) return "error " + std::to_string(error);
  std::wstring_view words(text, n);
  while (!words.empty() && (words.back() == L'\n' || words.back() == L'\r' || words.back() == L' ' || words.back() == L'.'))
    words.remove_suffix(1);
  std::string reason = to_utf8(words);
  ::LocalFree(text);
  return reason;
}

Failure failure_from(DWORD error) {
  Failure::Kind kind = Failure::Kind::other;
  if (error == ERROR_NO_DATA || error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED)
    kind = Failure::Kind::closed_pipe;
  return {kind, reason_for(error)};
}

Failure last_failure() { return failure_from(::GetLastError()); }

// The name as Windows is to take it: as given, unless its full path is too
// long for the old limit of 260 characters.
std::wstring wide_name(std::string_view name) {
  const std::wstring given = to_wide(name);
  // Room for the usual path first; a longer one is asked for again with the
  // room it needs (the answer then counts the closing null).
  std::wstring full(MAX_PATH, L'\0');
  DWORD n = ::GetFullPathNameW(given.c_str(), MAX_PATH, full.data(), nullptr);
  if (n >= full.size() && n < kLongestPath) {
    full.resize(n);
    n = ::GetFullPathNameW(given.c_str(), n, full.data(), nullptr);
  }
  if (n == 0 || n >= full.size()) return given;
  full.resize(n);
  const std::u16string long_form = long_path_form(std::u16string(full.begin(), full.end()));
  if (long_form.size() == full.size()) return given;
  return std::wstring(long_form.begin(), long_form.end());
}

bool valid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }

class Handle {
 public:
  explicit Handle(HANDLE h, bool owned = true) : h_(h), owned_(owned) {}
  ~Handle() { close(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return h_; }
  void reset(HANDLE h) {
    close();
    h_ = h;
  }
  bool close() {
    const bool ok = !owned_ || !valid(h_) || ::CloseHandle(h_) != 0;
    h_ = INVALID_HANDLE_VALUE;
    return ok;
  }

 private:
  HANDLE h_;
  bool owned_;
};

// A handle that asks for nothing but the file's information; folders open too.
HANDLE open_for_information(std::string_view name) {
  return ::CreateFileW(wide_name(name).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                       nullptr);
}

bool is_disk_file(HANDLE h) { return ::GetFileType(h) == FILE_TYPE_DISK; }

HANDLE open_null_device(DWORD access) {
  return ::CreateFileW(L"NUL", access, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
}

std::optional<FileStatus> status_of(HANDLE h) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(h, &info)) return std::nullopt;  // a pipe, a console
  FileStatus s;
  s.identity = {info.dwVolumeSerialNumber, (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
  s.regular_file = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && is_disk_file(h);
  return s;
}

// The file attributes that can be carried over, and who may do what with the
// file: its access control list, with the entries that it inherits marked as
// such, so that it goes on inheriting from its folder. Each with the reason
// why it could not be read, when it could not.
class WindowsAttributes final : public Attributes {
 public:
  DWORD attributes = 0;
  std::vector<std::uint8_t> access;  // a self-relative security descriptor
  std::string attributes_unread, access_unread;
};

std::unique_ptr<Attributes> attributes_of(HANDLE h) {
  auto a = std::make_unique<WindowsAttributes>();
  FILE_BASIC_INFO basic{};
  if (::GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic))
    a->attributes = basic.FileAttributes & kCarriedAttributes;
  else
    a->attributes_unread = reason_for(::GetLastError());
  DWORD size = 0;
  ::GetKernelObjectSecurity(h, DACL_SECURITY_INFORMATION, nullptr, 0, &size);
  a->access.resize(size);
  if (size == 0 || !::GetKernelObjectSecurity(h, DACL_SECURITY_INFORMATION, a->access.data(), size, &size)) {
    a->access_unread = reason_for(::GetLastError());
    a->access.clear();
  }
  return a;
}

// A DOS date and time is local time; Windows keeps universal time. The
// conversion goes by the time zone's rules for that date, as on POSIX, and
// the packing is the program's own (Windows' packing does not stop at 2107).
std::optional<DosDateTime> dos_time_of(const FILETIME& written) {
  SYSTEMTIME utc{}, local{};
  if (!::FileTimeToSystemTime(&written, &utc) || !::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
    return std::nullopt;
  return pack_dos_date_time({local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond});
}

std::optional<FILETIME> file_time_of(DosDateTime time) {
  const LocalTime t = unpack_dos_date_time(time);
  SYSTEMTIME local{};
  local.wYear = static_cast<WORD>(t.year);
  local.wMonth = static_cast<WORD>(t.month);
  local.wDay = static_cast<WORD>(t.day);
  local.wHour = static_cast<WORD>(t.hour);
  local.wMinute = static_cast<WORD>(t.minute);
  local.wSecond = static_cast<WORD>(t.second);
  SYSTEMTIME utc{};
  FILETIME written{};
  if (!::TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) || !::SystemTimeToFileTime(&utc, &written))
    return std::nullopt;
  return written;
}

DWORD transfer_size(std::size_t size) { return static_cast<DWORD>(size < kLargestTransfer ? size : kLargestTransfer); }

class WindowsInputFile final : public InputFile {
 public:
  WindowsInputFile(HANDLE h, bool owned) : handle_(h, owned) {
    LARGE_INTEGER none{};
    if (is_disk_file(h)) ::SetFilePointerEx(h, none, &start_, FILE_CURRENT);
  }

  std::size_t read(std::uint8_t* data, std::size_t size) override {
    if (failure_) return 0;
    DWORD n = 0;
    if (::ReadFile(handle_.get(), data, transfer_size(size), &n, nullptr)) return n;
    // A pipe whose writer has gone says so where a file gives its end.
    if (const DWORD error = ::GetLastError(); error != ERROR_BROKEN_PIPE && error != ERROR_HANDLE_EOF)
      failure_ = failure_from(error);
    return 0;
  }

  const MaybeFailure& failure() const override { return failure_; }

  std::optional<DosDateTime> last_write_time() override {
    FILETIME written{};
    if (!::GetFileTime(handle_.get(), nullptr, nullptr, &written)) return std::nullopt;
    return dos_time_of(written);
  }

  std::optional<FileStatus> status() override { return status_of(handle_.get()); }

  std::unique_ptr<Attributes> attributes() override { return attributes_of(handle_.get()); }

  bool rewind() override {
    return !failure_ && is_disk_file(handle_.get()) && ::SetFilePointerEx(handle_.get(), start_, nullptr, FILE_BEGIN);
  }

 private:
  Handle handle_;
  MaybeFailure failure_;
  LARGE_INTEGER start_{};  // where reading began: standard input may have been read from before
};

class WindowsOutputFile final : public OutputFile {
 public:
  WindowsOutputFile(HANDLE h, bool owned) : handle_(h, owned) {}

  bool write(const std::uint8_t* data, std::size_t size) override {
    if (failure_) return false;
    while (size > 0) {
      DWORD n = 0;
      if (!::WriteFile(handle_.get(), data, transfer_size(size), &n, nullptr)) {
        failure_ = last_failure();
        return false;
      }
      data += n;
      size -= n;
    }
    return true;
  }

  const MaybeFailure& failure() const override { return failure_; }

  bool flush() override {
    if (failure_) return false;
    // A file on disk only: a pipe's flush would wait for its reader.
    if (is_disk_file(handle_.get()) && !::FlushFileBuffers(handle_.get())) failure_ = last_failure();
    return !failure_;
  }

  bool set_last_write_time(DosDateTime time) override {
    const std::optional<FILETIME> written = file_time_of(time);
    return written && ::SetFileTime(handle_.get(), nullptr, nullptr, &*written);
  }

  std::vector<NotCarried> carry_over(const Attributes& from) override {
    const auto& a = static_cast<const WindowsAttributes&>(from);
    std::vector<NotCarried> lost;
    const auto note = [&lost](NotCarried::What what, std::string reason) { lost.push_back({what, {}, std::move(reason)}); };
    // The access list as it stands, inherited entries included: the file is
    // about to take the original's place in its folder.
    if (!a.access_unread.empty())
      note(NotCarried::What::access_control_list, a.access_unread);
    else if (!::SetKernelObjectSecurity(handle_.get(), DACL_SECURITY_INFORMATION,
                                        const_cast<std::uint8_t*>(a.access.data())))
      note(NotCarried::What::access_control_list, reason_for(::GetLastError()));
    // Last, as a read-only file takes no more changes; times of 0 stay as they are.
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = a.attributes == 0 ? FILE_ATTRIBUTE_NORMAL : a.attributes;
    if (!a.attributes_unread.empty())
      note(NotCarried::What::attributes, a.attributes_unread);
    else if (!::SetFileInformationByHandle(handle_.get(), FileBasicInfo, &basic, sizeof basic))
      note(NotCarried::What::attributes, reason_for(::GetLastError()));
    return lost;
  }

  bool close() override {
    if (!handle_.close() && !failure_) failure_ = last_failure();
    return !failure_;
  }

 private:
  Handle handle_;
  MaybeFailure failure_;
};

// The temporary files to remove when the program is interrupted. The console
// calls the handler on a thread of its own, hence the lock.
struct InterruptState {
  std::mutex lock;
  std::array<std::wstring, 2> names;
};

InterruptState& interrupt_state() {
  static InterruptState state;
  return state;
}

BOOL WINAPI remove_temporary_and_exit(DWORD event) {
  InterruptState& state = interrupt_state();
  {
    const std::lock_guard<std::mutex> hold(state.lock);
    for (const std::wstring& name : state.names)
      if (!name.empty()) ::DeleteFileW(name.c_str());
  }
  // The exit codes of the POSIX build for SIGINT, SIGHUP and SIGTERM.
  const UINT code = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? 130 : event == CTRL_CLOSE_EVENT ? 129 : 143;
  ::ExitProcess(code);
}

// A security descriptor that lets the file's owner alone in, for a file whose
// text must not be open to others before it is complete.
class OwnerOnly {
 public:
  OwnerOnly() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return;
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    user_.resize(size);
    const bool got = size != 0 && ::GetTokenInformation(token, TokenUser, user_.data(), size, &size);
    ::CloseHandle(token);
    if (!got) return;
    PSID sid = reinterpret_cast<TOKEN_USER*>(user_.data())->User.Sid;
    acl_.resize(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + ::GetLengthSid(sid));
    auto* acl = reinterpret_cast<ACL*>(acl_.data());
    ready_ = ::InitializeAcl(acl, static_cast<DWORD>(acl_.size()), ACL_REVISION) &&
             ::AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, sid) &&
             ::InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) &&
             ::SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) &&
             ::SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
    attributes_ = {sizeof attributes_, &descriptor_, FALSE};
  }
  // Nothing where the process's user cannot be found: then the folder decides.
  SECURITY_ATTRIBUTES* get() { return ready_ ? &attributes_ : nullptr; }

 private:
  std::vector<std::uint8_t> user_, acl_;
  SECURITY_DESCRIPTOR descriptor_{};
  SECURITY_ATTRIBUTES attributes_{};
  bool ready_ = false;
};

void remove_if_interrupted(const std::wstring& name) {
  InterruptState& state = interrupt_state();
  const std::lock_guard<std::mutex> hold(state.lock);
  for (std::wstring& slot : state.names) {
    if (!slot.empty()) continue;
    slot = name;
    return;
  }
}

void keep_if_interrupted(const std::wstring& name) {
  InterruptState& state = interrupt_state();
  const std::lock_guard<std::mutex> hold(state.lock);
  for (std::wstring& slot : state.names)
    if (slot == name) slot.clear();
}

// Removes a temporary file of the run's own; a read-only one too.
void remove_temporary(const std::wstring& name) {
  ::SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_NORMAL);
  ::DeleteFileW(name.c_str());
  keep_if_interrupted(name);
}

// Makes a fresh temporary name in `folder` (ending in a separator) for
// `make`, which returns ERROR_SUCCESS or an error (ERROR_FILE_EXISTS and
// ERROR_ALREADY_EXISTS try the next), registered for removal on Ctrl+C.
template <class Make>
std::pair<std::wstring, DWORD> make_temporary_name(const std::wstring& folder, Make&& make) {
  for (unsigned n = 1; n <= 65535; ++n) {
    std::wstring name = folder + L"TMP" + std::to_wstring(n) + L".$$$";
    const DWORD error = make(name);
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
    if (error != ERROR_SUCCESS) return {{}, error};
    remove_if_interrupted(name);
    return {std::move(name), ERROR_SUCCESS};
  }
  return {{}, ERROR_FILE_EXISTS};
}

// The file's own path as Windows resolved it when it was opened (links and
// junctions followed), in the extended form; its folder is where the
// replacement is made. Windows' own calls take names, so the name is checked
// to lead to the file that was read right before the replacement.
class WindowsInPlaceFile final : public InPlaceFile {
 public:
  WindowsInPlaceFile(HANDLE h, std::wstring path, const BY_HANDLE_FILE_INFORMATION& info)
      : input_(std::make_unique<WindowsInputFile>(h, true)), path_(std::move(path)), read_(*status_of(h)),
        other_names_(info.nNumberOfLinks > 1) {}
  ~WindowsInPlaceFile() override {
    replacement_.close();
    if (!temporary_.empty()) remove_temporary(temporary_);
  }

  InputFile& original() override { return *input_; }

  Opened<OutputFile> create_replacement() override {
    OwnerOnly owner_only;
    HANDLE h = INVALID_HANDLE_VALUE;
    auto [name, error] = make_temporary_name(folder(), [&](const std::wstring& n) {
      h = ::CreateFileW(n.c_str(), GENERIC_WRITE | WRITE_DAC | DELETE, kShareAll, owner_only.get(), CREATE_NEW,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
      return valid(h) ? ERROR_SUCCESS : ::GetLastError();
    });
    if (error != ERROR_SUCCESS) return {nullptr, failure_from(error)};
    temporary_ = std::move(name);
    replacement_.reset(h);
    written_ = *status_of(h);
    return {std::make_unique<WindowsOutputFile>(h, false), {}};
  }

  MaybeFailure replace(const std::string& backup_suffix) override {
    input_.reset();  // closed first: some systems refuse to replace an open file
    if (!backup_suffix.empty())
      if (const DWORD error = keep_backup(path_ + to_wide(backup_suffix)))
        return error == ERROR_INVALID_DATA ? changed() : Failure{Failure::Kind::no_backup, reason_for(error)};
    if (const DWORD error = check_unchanged(path_)) return error == ERROR_INVALID_DATA ? changed() : failure_from(error);
    // Windows does not replace a read-only file: the attribute comes off for
    // the move (the replacement carries it again) and back if the move fails.
    const DWORD attributes = ::GetFileAttributesW(path_.c_str());
    const bool read_only = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    const DWORD writable = attributes & ~DWORD{FILE_ATTRIBUTE_READONLY};
    if (read_only) ::SetFileAttributesW(path_.c_str(), writable == 0 ? FILE_ATTRIBUTE_NORMAL : writable);
    if (const DWORD error = rename_replacement()) {
      if (read_only) ::SetFileAttributesW(path_.c_str(), attributes);
      return failure_from(error);
    }
    keep_if_interrupted(temporary_);
    temporary_.clear();
    replaced_ = true;
    return std::nullopt;
  }

  FileIdentity identity() override { return replaced_ ? written_.identity : read_.identity; }
  bool has_other_names() override { return other_names_; }

 private:
  static Failure changed() { return {Failure::Kind::changed, reason_for(ERROR_INVALID_DATA)}; }

  std::wstring folder() const { return path_.substr(0, path_.find_last_of(L"\\/") + 1); }

  // ERROR_INVALID_DATA when the name leads to another file than the one read.
  DWORD check_unchanged(const std::wstring& name) const {
    Handle h(::CreateFileW(name.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!valid(h.get())) return ::GetLastError() == ERROR_FILE_NOT_FOUND ? ERROR_INVALID_DATA : ::GetLastError();
    const auto now = status_of(h.get());
    return now && now->identity == read_.identity ? ERROR_SUCCESS : ERROR_INVALID_DATA;
  }

  // By the handle, as the file is; by its name where Windows cannot.
  DWORD rename_replacement() {
    std::vector<std::uint8_t> buffer(sizeof(FILE_RENAME_INFO) + path_.size() * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = TRUE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(path_.size() * sizeof(wchar_t));
    std::copy(path_.begin(), path_.end(), rename->FileName);
    if (::SetFileInformationByHandle(replacement_.get(), FileRenameInfo, rename, static_cast<DWORD>(buffer.size()))) {
      ::FlushFileBuffers(replacement_.get());
      return ERROR_SUCCESS;
    }
    const DWORD error = ::GetLastError();
    if (error != ERROR_INVALID_PARAMETER && error != ERROR_NOT_SUPPORTED && error != ERROR_CALL_NOT_IMPLEMENTED) return error;
    replacement_.close();
    if (::MoveFileExW(temporary_.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return ERROR_SUCCESS;
    return ::GetLastError();
  }

  // The original under `name` too: a second name where the volume allows it, else a copy.
  DWORD keep_backup(const std::wstring& name) {
    auto [temporary, error] = make_temporary_name(folder(), [&](const std::wstring& n) {
      return ::CreateHardLinkW(n.c_str(), path_.c_str(), nullptr) ? ERROR_SUCCESS : ::GetLastError();
    });
    if (error == ERROR_SUCCESS && check_unchanged(temporary) != ERROR_SUCCESS) {
      remove_temporary(temporary);
      return ERROR_INVALID_DATA;
    }
    if (error != ERROR_SUCCESS && error != ERROR_FILE_EXISTS) {
      if (const DWORD changed = check_unchanged(path_)) return changed;
      std::tie(temporary, error) = make_temporary_name(folder(), [&](const std::wstring& n) {
        return ::CopyFileW(path_.c_str(), n.c_str(), TRUE) ? ERROR_SUCCESS : ::GetLastError();
      });
    }
    if (error == ERROR_SUCCESS && !::MoveFileExW(temporary.c_str(), name.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      error = ::GetLastError();
    if (error == ERROR_SUCCESS) keep_if_interrupted(temporary);
    else if (!temporary.empty()) remove_temporary(temporary);
    return error;
  }

  std::unique_ptr<WindowsInputFile> input_;
  const std::wstring path_;
  const FileStatus read_;
  const bool other_names_;
  Handle replacement_{INVALID_HANDLE_VALUE};
  FileStatus written_;
  std::wstring temporary_;  // the replacement's name until it is in place
  bool replaced_ = false;
};

class WindowsFileSystem final : public FileSystem {
 public:
  Opened<InputFile> open_for_reading(const std::string& name) override {
    // A folder does not open without FILE_FLAG_BACKUP_SEMANTICS.
    const HANDLE h = ::CreateFileW(wide_name(name).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (!valid(h)) return {nullptr, last_failure()};
    return {std::make_unique<WindowsInputFile>(h, true), {}};
  }

  Opened<OutputFile> create_for_writing(const std::string& name) override {
    // Opened and emptied rather than created anew, so that an existing file
    // keeps its attributes and access (CREATE_ALWAYS refuses a hidden file).
    const HANDLE h = ::CreateFileW(wide_name(name).c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    if (!valid(h)) return {nullptr, last_failure()};
    auto file = std::make_unique<WindowsOutputFile>(h, true);
    if (is_disk_file(h) && !::SetEndOfFile(h)) return {nullptr, last_failure()};
    return {std::move(file), {}};
  }

  // A program started without the stream reads and writes the null device,
  // as the POSIX build does.
  std::unique_ptr<InputFile> standard_input() override {
    const HANDLE h = ::GetStdHandle(STD_INPUT_HANDLE);
    if (valid(h)) return std::make_unique<WindowsInputFile>(h, false);
    return std::make_unique<WindowsInputFile>(open_null_device(GENERIC_READ), true);
  }

  std::unique_ptr<OutputFile> standard_output() override {
    const HANDLE h = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (valid(h)) return std::make_unique<WindowsOutputFile>(h, false);
    return std::make_unique<WindowsOutputFile>(open_null_device(GENERIC_WRITE), true);
  }

  bool standard_input_is_terminal() override {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
  }

  Opened<InPlaceFile> open_in_place(const std::string& name) override {
    // A pipe or device is not opened at all: only a file on disk has a folder to be replaced in.
    {
      Handle probe(open_for_information(name));
      if (!valid(probe.get())) return {nullptr, last_failure()};
      BY_HANDLE_FILE_INFORMATION info{};
      if (!is_disk_file(probe.get()) || !::GetFileInformationByHandle(probe.get(), &info))
        return {nullptr, {Failure::Kind::not_regular, reason_for(ERROR_INVALID_FUNCTION)}};
      if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return {nullptr, failure_from(ERROR_ACCESS_DENIED)};
    }
    const HANDLE h = ::CreateFileW(wide_name(name).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (!valid(h)) return {nullptr, last_failure()};
    BY_HANDLE_FILE_INFORMATION info{};
    if (!is_disk_file(h) || !::GetFileInformationByHandle(h, &info)) {
      ::CloseHandle(h);
      return {nullptr, {Failure::Kind::not_regular, reason_for(ERROR_INVALID_FUNCTION)}};
    }
    // Where links and junctions led; the full path named where Windows cannot say.
    std::wstring path(kLongestPath, L'\0');
    DWORD n = ::GetFinalPathNameByHandleW(h, path.data(), kLongestPath, FILE_NAME_NORMALIZED);
    if (n == 0 || n >= kLongestPath) n = ::GetFullPathNameW(to_wide(name).c_str(), kLongestPath, path.data(), nullptr);
    if (n == 0 || n >= kLongestPath) {
      const Failure failure = last_failure();
      ::CloseHandle(h);
      return {nullptr, failure};
    }
    path.resize(n);
    const std::u16string long_form = long_path_form(plain_path_form(std::u16string(path.begin(), path.end())));
    return {std::make_unique<WindowsInPlaceFile>(h, std::wstring(long_form.begin(), long_form.end()), info), {}};
  }

  std::optional<FileStatus> status(const std::string& name) override {
    Handle h(open_for_information(name));
    if (!valid(h.get())) return std::nullopt;
    return status_of(h.get());
  }

  std::optional<FileIdentity> standard_output_identity() override {
    const auto status = status_of(::GetStdHandle(STD_OUTPUT_HANDLE));
    if (!status) return std::nullopt;
    return status->identity;
  }
};

}  // namespace

void prepare_process() {
  // A drive without a disk fails the open instead of asking in a window.
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  ::SetConsoleCtrlHandler(remove_temporary_and_exit, TRUE);
}

void end_as_closed_pipe() {}

// Windows makes no file without a name: every new file is named.
FileSystem& native_file_system(NewFiles) {
  static WindowsFileSystem instance;
  return instance;
}

}  // namespace recodia::platform
