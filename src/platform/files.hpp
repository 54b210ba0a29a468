// The file services a conversion run needs, behind one narrow interface so
// that another operating system's implementation can sit beside the POSIX one
// (and tests can make any step fail).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/dos_time.hpp"

namespace recodia::platform {

struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

struct FileStatus {
  FileIdentity identity;
  bool regular_file = false;
  bool directory = false;
  std::uint32_t permissions = 0;  // the permission bits, as chmod takes them
};

// A file opened for binary reading; every byte value comes through unchanged.
class InputFile {
 public:
  virtual ~InputFile() = default;
  // Reads up to `size` bytes. 0 means the end of the file, or an error, which
  // failed() then reports.
  virtual std::size_t read(std::uint8_t* data, std::size_t size) = 0;
  virtual bool failed() const = 0;
  // The last-write time as a local DOS date and time; nothing when it cannot
  // be read or does not fit.
  virtual std::optional<DosDateTime> last_write_time() = 0;
  virtual std::optional<FileStatus> status() = 0;
};

// A file opened for binary writing. The caller hands it large blocks.
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  // Writes all of `data`; false on an error, after which failed() stays true.
  virtual bool write(const std::uint8_t* data, std::size_t size) = 0;
  virtual bool failed() const = 0;
  // Pushes what was written through to storage and reports any error that
  // only shows there (a full disk, a quota). Used before a file replaces
  // another, so that a crash cannot leave the replacement empty.
  virtual bool flush() = 0;
  // Sets the last-write time from a local DOS date and time.
  virtual bool set_last_write_time(DosDateTime time) = 0;
  virtual bool set_permissions(std::uint32_t permissions) = 0;
  // Closes the file; false when closing, or anything before it, failed.
  virtual bool close() = 0;
};

enum class CreateMode {
  replace,    // create the file, or empty the one that is there
  exclusive,  // create the file; fail when the name exists
};

enum class RenameResult { done, other_device, failed };

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // nullptr when the file cannot be opened: missing, unreadable, or a directory.
  virtual std::unique_ptr<InputFile> open_for_reading(const std::string& name) = 0;
  virtual std::unique_ptr<OutputFile> create_for_writing(const std::string& name, CreateMode mode) = 0;
  // Whether anything has this name (a dangling link too).
  virtual bool exists(const std::string& name) = 0;
  // The status of what the name leads to, following links.
  virtual std::optional<FileStatus> status(const std::string& name) = 0;
  // The name with every link and "." or ".." resolved.
  virtual std::optional<std::string> real_path(const std::string& name) = 0;
  virtual bool remove(const std::string& name) = 0;
  // Gives `from` the name `to` in one step, replacing what `to` named.
  virtual RenameResult rename_over(const std::string& from, const std::string& to) = 0;
  // What standard output is connected to, when it is a file of some kind.
  virtual std::optional<FileIdentity> standard_output_identity() = 0;
};

// The POSIX implementation.
FileSystem& posix_file_system();

}  // namespace recodia::platform
