// The program's nineteen messages in English and Russian: the help (whose
// first message is the version banner), the wait message and the done message.
#pragma once

#include <array>
#include <initializer_list>
#include <string>
#include <string_view>

#include "cli/options.hpp"
#include "platform/console.hpp"

namespace recodia {

inline constexpr int kMessageCount = 19;
inline constexpr int kBannerMessage = 1;
inline constexpr int kLastHelpMessage = 17;
inline constexpr int kWaitMessage = 18;
inline constexpr int kDoneMessage = 19;

// Message n is at index n - 1. The Russian texts are DOS 866 bytes.
using MessageSet = std::array<std::string_view, kMessageCount>;

const MessageSet& select_messages(Language language);

// DOS 866 text as UTF-8, for a console that shows UTF-8.
std::string dos866_to_utf8(std::string_view text);

// Prints messages of one set, each followed by a line break, on one stream;
// a silent printer prints nothing (a quiet run, a filter).
class MessagePrinter {
 public:
  MessagePrinter(const MessageSet& messages, platform::Console& console, platform::Stream stream,
                 bool silent = false);

  void print(int number) const;
  // A line of the printer's language that is no numbered message.
  void print_line(std::string_view text) const;
  bool to_terminal() const { return console_.is_terminal(stream_); }
  bool russian() const;

 private:
  const MessageSet& messages_;
  platform::Console& console_;
  platform::Stream stream_;
  bool silent_;
  bool as_utf8_;
};

// Messages 1 to 17, and a line that points to the full reference.
void print_help(const MessagePrinter& printer);

// The lines on standard error that say what went wrong, and why. %1, %2 and
// %3 stand for names and the system's reasons, which are shown as they are.
enum class Diagnostic {
  cannot_open,             // name, reason
  cannot_read,             // name, reason
  cannot_create,           // name, reason
  cannot_write,            // name, reason
  cannot_create_temporary, // name, reason: in place, no file could be made beside it
  cannot_write_converted,  // name, reason: in place, the converted text could not be written
  not_replaced,            // name, reason
  changed_meanwhile,       // name: in place, its name led elsewhere by the time it was replaced
  no_backup,               // name, the backup's name, reason: "-bak" could not keep the original
  not_regular_file,        // name
  standard_stream_in_place,
  converting_in_place,     // name
  named_twice,             // name
  input_is_output,         // name
  lost_permissions,        // name, reason
  lost_owner,              // name, reason
  lost_group,              // name, reason
  lost_access_control_list,// name, reason
  lost_extended_attribute, // name, attribute, reason
  lost_attributes,         // name, reason
  unknown_switch,          // switch
  unknown_switch_hint,     // switch, the nearest switch
  too_many_names,          // count
  no_output_name,
  no_file_names,
  no_names_in_place,
  ill_formed_utf8,         // name, count: read as replacement characters
  detected,                // name, encoding, its switch: "-auto" chose it
  detected_unsure,         // name, encoding, its switch
  unsure_in_place,         // name, encoding, its switch: not converted
  refused_other_source,    // name, what the text looks like, its switch, the encoding named
  refused_converted_twice, // name, the encoding named: UTF-8 text named as another
  refused_ill_formed,      // name, count: UTF-8 whose ill-formed sequences would be lost
  plain_ascii,             // name
  already_target,          // name, encoding, its switch
  looks_like,              // name, what the text looks like, its switch, the encoding named
  detect_unsure,           // name, encoding: "-detect"'s answer is not sure
  detect_read_only,        // name, count: "-detect" read only the start of a pipe or device
  detect_parts_unsure,     // name, the parts: not every part's answer is sure
  detected_stray_bytes,    // name, count, encoding, its switch: UTF-8 whose stray bytes were read so
  not_text,                // name, what it is: "-auto" converts no binary content
  mixed_converted,         // name, the parts: each converted from its own encoding
  mixed_unsure,            // name, the parts: not converted
  mixed_in_place,          // name, the parts: not converted in place
  refused_not_text,        // name, what it is: in place with a source named, not converted
  ill_formed_units,        // name, count, encoding (UTF-16LE, ...): read as replacement characters
  refused_ill_formed_units,// name, count, encoding: UTF-16 or UTF-32 whose ill-formed units would be lost
  repaired_lines,          // name, count, the chain: "-fix" undid wrong decodings
  repaired_lost_bytes,     // name, count told by their context, count left as replacement characters
  repair_left_alone,       // name, count: lines that read as damaged, but not surely
  standard_input,          // how the two standard streams are named in the lines above
  standard_output,
};

// What a line on standard error is: a note says what was done, a warning
// that the result may not be what was meant, an error that something failed.
enum class Severity { note, warning, error };
Severity severity(Diagnostic diagnostic);

// Writes diagnostics on standard error, each as one line after "recodia: ",
// those below `least` left out ("-q" keeps errors, a filter warnings too).
class Reporter {
 public:
  Reporter(Language language, platform::Console& console, Severity least = Severity::note);
  void report(Diagnostic diagnostic, std::initializer_list<std::string_view> arguments = {}) const;
  // A file's name as the lines show it: quoted, or the standard stream's name for "-".
  std::string name(std::string_view file_name, bool is_output) const;
  // A diagnostic's text as shown, for a part of another line.
  std::string phrase(Diagnostic diagnostic) const;

 private:
  Language language_;
  platform::Console& console_;
  Severity least_;
  bool as_utf8_;
};

}  // namespace recodia
