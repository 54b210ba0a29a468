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
// device"), and the cases that the run says in words of its own.
struct Failure {
  enum class Kind {
    other,
    not_regular,   // in place: a pipe, socket or device, which is not opened
    changed,       // in place: the name no longer leads to the file that was read
    no_backup,     // in place: the original could not be kept as asked, so nothing was replaced
    closed_pipe,   // a write to a pipe whose reader has gone
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

// A file opened to be converted in place. It is reached through its own
// folder, which is held open from the start: the replacement is made in that
// folder, and put under the file's name there only while the name still leads
// to the file that was read. Links named are followed one at a time when the
// file is opened, never again later. Whatever is not put in place is removed.
class InPlaceFile {
 public:
  virtual ~InPlaceFile() = default;
  // The file as it was opened, to read its text.
  virtual InputFile& original() = 0;
  // The replacement, created beside the file for its owner alone, and
  // nameless where the file system allows (then even a crash leaves nothing).
  // Once: the file is this object's; the caller writes, finishes and closes it.
  virtual Opened<OutputFile> create_replacement() = 0;
  // Puts the finished replacement under the file's name in one step, unless
  // the name has come to lead elsewhere (a `changed` failure). With
  // `backup_suffix` the original first takes that name beside it (an older
  // file there is replaced only once the new backup is complete).
  virtual MaybeFailure replace(const std::string& backup_suffix) = 0;
  // What the name leads to now: the replacement once replaced, else the original.
  virtual FileIdentity identity() = 0;
  // Whether the file read has other names too, which keep it after the replacement.
  virtual bool has_other_names() = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Fails when the file is missing, unreadable, or a directory.
  virtual Opened<InputFile> open_for_reading(const std::string& name) = 0;
  // Creates the file, or empties the one that is there.
  virtual Opened<OutputFile> create_for_writing(const std::string& name) = 0;
  virtual std::unique_ptr<InputFile> standard_input() = 0;
  virtual std::unique_ptr<OutputFile> standard_output() = 0;
  virtual bool standard_input_is_terminal() = 0;
  // Opens a regular file to be converted in place; anything else fails as
  // `not_regular` without being opened, so that a pipe cannot block the run.
  virtual Opened<InPlaceFile> open_in_place(const std::string& name) = 0;
  // The status of what the name leads to, following links.
  virtual std::optional<FileStatus> status(const std::string& name) = 0;
  // What standard output is connected to, when it is a file of some kind.
  virtual std::optional<FileIdentity> standard_output_identity() = 0;
};

}  // namespace recodia::platform
