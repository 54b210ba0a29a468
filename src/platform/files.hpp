// The file services a conversion run needs, behind one narrow interface so
// that each operating system's implementation sits beside the others (and
// tests can make any step fail). Names are UTF-8 text; nothing here is
// particular to one system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/dos_time.hpp"

namespace recodia::platform {

// Why an operation failed, in the system's own words ("No space left on
// device"), and the two cases that the run treats differently.
struct Failure {
  enum class Kind {
    other,
    name_taken,    // an exclusive create found the name in use
    other_device,  // a rename between two file systems
  };
  Kind kind = Kind::other;
  std::string reason;
};

// Nothing: the operation succeeded.
using MaybeFailure = std::optional<Failure>;

// A file that was opened, or why it was not.
template <class File>
struct Opened {
  std::unique_ptr<File> file;  // nullptr when the open failed
  Failure failure;             // why, when it failed
};

struct FileIdentity {
  std::uint64_t device = 0;  // POSIX: device and inode; Windows: volume serial and file index
  std::uint64_t inode = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

struct FileStatus {
  FileIdentity identity;
  bool regular_file = false;
};

// What a file that replaces another takes over from it. Its contents are the
// system's own (POSIX: permission bits, owner, group, access control list and
// extended attributes; Windows: the file attributes such as read-only).
class Attributes {
 public:
  virtual ~Attributes() = default;
};

// Something a replacement could not take over; the text is converted all the same.
struct NotCarried {
  enum class What { permissions, owner, group, access_control_list, extended_attribute, attributes };
  What what;
  std::string name;  // the extended attribute's name; empty otherwise
  std::string reason;
};

// A file opened for binary reading; every byte value comes through unchanged.
class InputFile {
 public:
  virtual ~InputFile() = default;
  // Reads up to `size` bytes. 0 means the end of the file, or an error, which
  // failure() then holds.
  virtual std::size_t read(std::uint8_t* data, std::size_t size) = 0;
  virtual const MaybeFailure& failure() const = 0;
  bool failed() const { return failure().has_value(); }
  // The last-write time as a local DOS date and time; nothing when it cannot
  // be read or does not fit.
  virtual std::optional<DosDateTime> last_write_time() = 0;
  virtual std::optional<FileStatus> status() = 0;
  // What a file that replaces this one is to take over from it.
  virtual std::unique_ptr<Attributes> attributes() = 0;
  // Goes back to where reading began in a regular file, to read it again
  // (the detector surveys it whole first); false where that cannot be done.
  virtual bool rewind() { return false; }
};

// A file opened for binary writing. The caller hands it large blocks.
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  // Writes all of `data`; false on an error, which failure() then holds.
  virtual bool write(const std::uint8_t* data, std::size_t size) = 0;
  virtual const MaybeFailure& failure() const = 0;
  bool failed() const { return failure().has_value(); }
  // Pushes what was written through to storage and reports any error that
  // only shows there (a full disk, a quota). Used before a file replaces
  // another, so that a crash cannot leave the replacement empty.
  virtual bool flush() = 0;
  // Sets the last-write time from a local DOS date and time.
  virtual bool set_last_write_time(DosDateTime time) = 0;
  // Gives this file what `from` had, widening the access of a file created
  // for its owner alone. Says what could not be taken over.
  virtual std::vector<NotCarried> carry_over(const Attributes& from) = 0;
  // Closes the file; false when closing, or anything before it, failed.
  virtual bool close() = 0;
};

enum class CreateMode {
  replace,    // create the file, or empty the one that is there
  exclusive,  // create the file for its owner alone; fails as name_taken when the name is in use
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Fails when the file is missing, unreadable, or a directory.
  virtual Opened<InputFile> open_for_reading(const std::string& name) = 0;
  virtual Opened<OutputFile> create_for_writing(const std::string& name, CreateMode mode) = 0;
  virtual std::unique_ptr<InputFile> standard_input() = 0;
  virtual std::unique_ptr<OutputFile> standard_output() = 0;
  virtual bool standard_input_is_terminal() = 0;
  // Whether anything has this name (a dangling link too).
  virtual bool exists(const std::string& name) = 0;
  // The status of what the name leads to, following links.
  virtual std::optional<FileStatus> status(const std::string& name) = 0;
  // The name of the file itself when `name` is a link to it (links to links
  // followed); otherwise `name`. The folders on the way are not resolved.
  virtual std::string follow_links(const std::string& name) = 0;
  virtual MaybeFailure remove(const std::string& name) = 0;
  // Gives `from` the name `to` in one step, replacing what `to` named.
  virtual MaybeFailure rename_over(const std::string& from, const std::string& to) = 0;
  // What standard output is connected to, when it is a file of some kind.
  virtual std::optional<FileIdentity> standard_output_identity() = 0;
  // While a temporary file is being written: should the program be
  // interrupted (Ctrl+C, a termination signal, the terminal closed), this file
  // is removed before it exits. At most two at a time.
  virtual void remove_if_interrupted(const std::string& name) = 0;
  virtual void keep_if_interrupted(const std::string& name) = 0;
};

}  // namespace recodia::platform
