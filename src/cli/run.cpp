#include "cli/run.hpp"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <memory>
#include <vector>

#include "cli/reference.hpp"
#include "convert/detect.hpp"
#include "convert/registry.hpp"
#include "convert/stream_converter.hpp"
#include "convert/unicode_text.hpp"
#include "convert/utf16_detect.hpp"
#include "platform/paths.hpp"

namespace recodia {
namespace {

using platform::Attributes;
using platform::CreateMode;
using platform::DosDateTime;
using platform::Failure;
using platform::FileSystem;
using platform::InputFile;
using platform::NotCarried;
using platform::OutputFile;

constexpr std::size_t kInputBlock = 128 * 1024;

// Copies a file block by block; false when reading or writing failed.
bool copy_blocks(InputFile& in, OutputFile& out) {
  std::vector<std::uint8_t> block(kInputBlock);
  while (const std::size_t n = in.read(block.data(), block.size())) {
    if (!out.write(block.data(), n)) return false;
  }
  return !in.failed() && !out.failed();
}

// Reads into `buffer` until it is full or the input ends; the count read.
std::size_t fill(InputFile& in, std::span<std::uint8_t> buffer) {
  std::size_t n = 0;
  while (n < buffer.size()) {
    const std::size_t got = in.read(buffer.data() + n, buffer.size() - n);
    if (got == 0) break;
    n += got;
  }
  return n;
}

// Reads into `window` the part of the input that tells its encoding, and
// returns its size: the start of the input; or, when that is plain ASCII, the
// text from the line of the first byte above ASCII on, the plain ASCII before
// it handed to `pass_on` (which returns false to stop). A window without a byte
// above ASCII is the end of an input that is ASCII throughout. UTF-16 and
// UTF-32 are no plain ASCII, though the units of their ASCII are bytes below
// 0x80: they are told by the start.
template <class PassOn>
std::size_t read_window(InputFile& in, std::span<std::uint8_t> window, PassOn&& pass_on) {
  std::size_t n = fill(in, window);
  for (bool start = true;; start = false) {
    std::uint8_t* const end = window.data() + n;
    std::uint8_t* const high = std::find_if(window.data(), end, [](std::uint8_t b) { return b >= 0x80; });
    if (high == end && !(start && detect_utf16_or_32(window.first(n)))) {
      if (n < window.size() || !pass_on(window.first(n))) return n;
      n = fill(in, window);
      continue;
    }
    if (start) return n;
    const std::uint8_t* const line = std::find(std::make_reverse_iterator(high), std::make_reverse_iterator(window.data()), '\n').base();
    const auto from = static_cast<std::size_t>(line - window.data());
    if (from > 0 && !pass_on(window.first(from))) return n;
    std::memmove(window.data(), line, n - from);
    n -= from;
    return n + fill(in, window.subspan(n));
  }
}

// A text in `source` that the target reads as it is.
bool already_in_target(std::span<const std::uint8_t> window, EncodingId source, EncodingId target) {
  return source == target || (is_single_byte_source(encoding(source)) && is_single_byte_source(encoding(target)) &&
                              reads_alike(window, source, target));
}

enum class SourceDecision { as_it_is, convert, refuse };

// With "-auto": settles a text's source by the window that tells it (see
// read_window), says on standard error what was decided, and sets
// `settings.source`. An answer that is not sure never replaces the only copy.
SourceDecision choose_source(const RunContext& context, const std::string& in_name,
                             std::span<const std::uint8_t> window, bool empty, bool in_place,
                             ConversionSettings& settings) {
  const Reporter& r = context.reporter;
  const std::string shown = r.name(in_name, false);
  const Detection d = detect_encoding(window);
  if (d.kind == TextKind::ascii) {
    if (!empty) r.report(Diagnostic::plain_ascii, {shown});
    return SourceDecision::as_it_is;
  }
  settings.source = d.encoding;
  const Encoding& e = encoding(settings.source);
  const std::string_view named = e.source_switches[0];
  if (already_in_target(window, settings.source, settings.target)) {
    r.report(Diagnostic::already_target, {shown, e.name, named});
    // UTF-16 and UTF-32 are read and written again, character for
    // character: their line ends are units, not bytes.
    return is_wide_unicode(e) ? SourceDecision::convert : SourceDecision::as_it_is;
  }
  if (is_sure(d)) {
    r.report(Diagnostic::detected, {shown, e.name, named});
  } else if (in_place) {
    r.report(Diagnostic::unsure_in_place, {shown, e.name, named});
    return SourceDecision::refuse;
  } else {
    r.report(Diagnostic::detected_unsure, {shown, e.name, named});
  }
  return SourceDecision::convert;
}

// With a source switch: a warning when the text plainly is in another encoding.
void warn_if_plainly_other(const RunContext& context, const std::string& in_name,
                           std::span<const std::uint8_t> window) {
  const EncodingId named = context.settings.source;
  const std::optional<Detection> other = plainly_other_than(window, named);
  if (!other) return;
  const Encoding& looks = encoding(other->encoding);
  const Reporter& r = context.reporter;
  r.report(Diagnostic::looks_like, {r.name(in_name, false), looks.name, looks.source_switches[0], encoding(named).name});
}

enum class StreamResult { converted, failed, refused };

// The byte loop: each block read is converted and written; ill-formed UTF-8,
// read as replacement characters, is reported. With "-auto" the text is
// written as it is until its source is known; with a source switch, the text
// is checked against it first. Failed when reading or writing failed.
StreamResult convert_stream(InputFile& in, OutputFile& out, const RunContext& context, const std::string& in_name,
                            bool in_place) {
  const ConversionSettings& settings = context.settings;
  // "-noenc" converts nothing, so there is nothing to choose or check.
  const SourceChoice choice = settings.no_encoding ? SourceChoice::unnamed : context.command_line.source_choice;
  const ConversionSettings as_it_is = written_as_it_is(settings);
  ConversionSettings detected = settings;
  std::optional<StreamConverter> converter;
  converter.emplace(choice == SourceChoice::detected ? as_it_is : settings, context.path);
  const auto put = [&](std::span<const std::uint8_t> converted) {
    return out.write(converted.data(), converted.size());
  };
  std::vector<std::uint8_t> block(kInputBlock);
  std::size_t n = 0;
  if (choice != SourceChoice::unnamed) {
    bool empty = true;
    n = read_window(in, std::span(block).first(kDetectionSampleSize), [&](std::span<const std::uint8_t> text) {
      empty = false;
      return put(converter->convert(text));
    });
    if (in.failed() || out.failed()) return StreamResult::failed;
    const std::span<const std::uint8_t> window(block.data(), n);
    if (choice == SourceChoice::named) {
      warn_if_plainly_other(context, in_name, window);
    } else {
      switch (choose_source(context, in_name, window, empty && n == 0, in_place, detected)) {
        case SourceDecision::as_it_is: break;
        case SourceDecision::refuse: return StreamResult::refused;
        case SourceDecision::convert:
          if (!put(converter->finish())) return StreamResult::failed;
          detected.continues_text = !empty;
          converter.emplace(detected, context.path);
          break;
      }
    }
  }
  if (n > 0 && !put(converter->convert({block.data(), n}))) return StreamResult::failed;
  while (const std::size_t got = in.read(block.data(), block.size())) {
    if (!put(converter->convert({block.data(), got}))) return StreamResult::failed;
  }
  if (in.failed() || !put(converter->finish()) || out.failed()) return StreamResult::failed;
  if (const std::uint64_t replaced = converter->replaced()) {
    const Encoding& read_as = encoding(converter->source());
    context.reporter.report(read_as.form == Form::utf8 ? Diagnostic::ill_formed_utf8 : Diagnostic::ill_formed_units,
                            {context.reporter.name(in_name, false), std::to_string(replaced), read_as.name});
  }
  return StreamResult::converted;
}

// Says which side of a failed copy or conversion failed, and why.
void report_stream_failure(const RunContext& context, const InputFile& in, const std::string& in_name,
                           const OutputFile& out, const std::string& out_name) {
  const Reporter& r = context.reporter;
  if (in.failed()) r.report(Diagnostic::cannot_read, {r.name(in_name, false), in.failure()->reason});
  else if (out.failed()) r.report(Diagnostic::cannot_write, {r.name(out_name, true), out.failure()->reason});
}

// While it lives, the temporary file is removed should the program be interrupted.
class InterruptGuard {
 public:
  InterruptGuard(FileSystem& files, std::string name) : files_(files), name_(std::move(name)) {
    files_.remove_if_interrupted(name_);
  }
  ~InterruptGuard() { release(); }
  // Once the file has its final name, so that a signal cannot remove another
  // run's file that has since taken the temporary name.
  void release() {
    if (!name_.empty()) files_.keep_if_interrupted(name_);
    name_.clear();
  }
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;

 private:
  FileSystem& files_;
  std::string name_;
};

// Creates a fresh temporary file in `directory`, for its owner alone until
// the text is complete. When another run takes a name first, the next is tried.
std::unique_ptr<OutputFile> create_temporary(const RunContext& context, const std::string& file,
                                             const std::string& directory, std::string& name) {
  for (int attempt = 0; attempt < 65535; ++attempt) {
    std::optional<std::string> candidate = context.temporary_names.make_temporary_name(context.files, directory);
    if (const auto in_the_way = context.temporary_names.take_name_in_the_way())
      context.reporter.report(Diagnostic::temporary_in_the_way, {context.reporter.name(*in_the_way, true)});
    if (!candidate) break;
    auto [created, failure] = context.files.create_for_writing(*candidate, CreateMode::exclusive);
    if (created) {
      name = *candidate;
      return std::move(created);
    }
    if (failure.kind != Failure::Kind::name_taken) {
      context.reporter.report(Diagnostic::cannot_create_temporary, {context.reporter.name(*candidate, true), failure.reason});
      return nullptr;
    }
  }
  context.reporter.report(Diagnostic::no_temporary_name, {context.reporter.name(file, false)});
  return nullptr;
}

// Readies a finished file to stand in for the original: what the original
// had, the saved time, and everything pushed to storage before anything is
// renamed. `lost` says what could not be carried over.
bool finish_replacement(OutputFile& file, const Attributes* attributes, const std::optional<DosDateTime>& time,
                        std::vector<NotCarried>& lost) {
  bool ok = file.flush();
  if (ok && time && !time->is_zero()) file.set_last_write_time(*time);  // a failure here is ignored
  if (ok && attributes) lost = file.carry_over(*attributes);
  return file.close() && ok;
}

void report_not_carried(const Reporter& r, const std::string& file, const std::vector<NotCarried>& lost) {
  for (const NotCarried& n : lost) {
    const std::string shown = r.name(file, true);
    switch (n.what) {
      case NotCarried::What::permissions: r.report(Diagnostic::lost_permissions, {shown, n.reason}); break;
      case NotCarried::What::owner: r.report(Diagnostic::lost_owner, {shown, n.reason}); break;
      case NotCarried::What::group: r.report(Diagnostic::lost_group, {shown, n.reason}); break;
      case NotCarried::What::access_control_list: r.report(Diagnostic::lost_access_control_list, {shown, n.reason}); break;
      case NotCarried::What::extended_attribute: r.report(Diagnostic::lost_extended_attribute, {shown, n.name, n.reason}); break;
      case NotCarried::What::attributes: r.report(Diagnostic::lost_attributes, {shown, n.reason}); break;
    }
  }
}

// What replaces the original: the temporary file, and the file it was made from.
struct Replacement {
  const std::string& file;         // as the user named it
  const std::string& destination;  // the file itself, links followed
  const std::string& temporary;
  const Attributes* attributes;
  const std::optional<DosDateTime>& time;
};

// A temporary file on another file system than the destination: copy it into
// the destination's folder first, so that the final rename is still one step.
// Nothing when it replaced the original; otherwise why not.
std::optional<std::string> replace_across_devices(const RunContext& context, const Replacement& r,
                                                  std::vector<NotCarried>& lost) {
  auto [source, open_failure] = context.files.open_for_reading(r.temporary);
  if (!source) return open_failure.reason;
  std::string beside;
  std::unique_ptr<OutputFile> copy = create_temporary(context, r.file, platform::directory_of(r.destination), beside);
  if (!copy) return context.reporter.phrase(Diagnostic::no_temporary_beside);
  InterruptGuard guard(context.files, beside);
  bool ok = copy_blocks(*source, *copy);
  std::optional<std::string> why;
  if (!ok) why = source->failed() ? source->failure()->reason : copy->failure()->reason;
  source.reset();  // closed before it is removed
  ok = finish_replacement(*copy, r.attributes, r.time, lost) && ok;
  if (!why && !ok) why = copy->failure() ? copy->failure()->reason : context.reporter.phrase(Diagnostic::no_temporary_beside);
  if (!why) {
    if (const auto failure = context.files.rename_over(beside, r.destination)) why = failure->reason;
    else guard.release();
  }
  if (!why) {
    context.files.remove(r.temporary);
    return std::nullopt;
  }
  context.files.remove(beside);
  return why;
}

// `lost` is what the file that took the original's place lacks.
bool replace_original(const RunContext& context, const Replacement& r, std::vector<NotCarried>& lost) {
  std::optional<std::string> why;
  if (const auto failure = context.files.rename_over(r.temporary, r.destination)) {
    why = failure->reason;
    if (failure->kind == Failure::Kind::other_device) why = replace_across_devices(context, r, lost);
  }
  if (why) {
    const Reporter& rep = context.reporter;
    rep.report(Diagnostic::not_replaced, {rep.name(r.file, false), rep.name(r.temporary, true), *why});
    return false;
  }
  return true;
}

// The status of a file by its name; none for standard input or output.
std::optional<platform::FileStatus> status_of_named(FileSystem& files, const std::string& name) {
  return name == kStandardStream ? std::nullopt : files.status(name);
}

// Two different names for one existing regular file.
bool same_file(FileSystem& files, const std::string& a, const std::string& b) {
  if (a == kStandardStream || b == kStandardStream) return false;
  const auto sa = files.status(a);
  const auto sb = files.status(b);
  return sa && sb && sa->regular_file && sb->regular_file && sa->identity == sb->identity;
}

bool convert_in_place(const std::string& name, const RunContext& context) {
  FileSystem& files = context.files;
  const Reporter& r = context.reporter;
  if (name == kStandardStream) {
    r.report(Diagnostic::standard_stream_in_place);
    return false;
  }
  auto [input, open_failure] = files.open_for_reading(name);
  if (!input) {
    r.report(Diagnostic::cannot_open, {r.name(name, false), open_failure.reason});
    return false;
  }
  // Only a regular file can be replaced safely; a device or a pipe cannot.
  const auto status = input->status();
  if (!status || !status->regular_file) {
    r.report(Diagnostic::not_regular_file, {r.name(name, false)});
    return false;
  }
  const std::unique_ptr<Attributes> attributes = input->attributes();
  // Through any links to the file itself, which is what the user sees.
  const std::string destination = files.follow_links(name);
  std::string temporary;
  std::unique_ptr<OutputFile> output = create_temporary(context, name, "", temporary);
  if (!output) return false;
  InterruptGuard guard(files, temporary);

  std::optional<DosDateTime> saved_time;
  if (context.command_line.preserve_time) saved_time = input->last_write_time();
  context.messages.print(kWaitMessage);

  std::vector<NotCarried> lost;
  switch (convert_stream(*input, *output, context, name, true)) {
    case StreamResult::converted: break;
    case StreamResult::refused:
      output.reset();  // closed before it is removed
      files.remove(temporary);
      return false;
    case StreamResult::failed:
      report_stream_failure(context, *input, name, *output, temporary);
      return false;
  }
  if (!finish_replacement(*output, attributes.get(), saved_time, lost)) {
    r.report(Diagnostic::cannot_write, {r.name(temporary, true), output->failure()->reason});
    return false;
  }
  // Closed before it is replaced: some systems refuse to rename over an open file.
  input.reset();
  if (!replace_original(context, {name, destination, temporary, attributes.get(), saved_time}, lost)) return false;
  guard.release();
  report_not_carried(r, name, lost);
  context.messages.print(kDoneMessage);
  return true;
}

// The input named, standard input for "-"; nothing, said on standard error,
// when it cannot be opened.
std::unique_ptr<InputFile> open_input(FileSystem& files, const Reporter& r, const std::string& name) {
  if (name == kStandardStream) return files.standard_input();
  auto [file, failure] = files.open_for_reading(name);
  if (!file) r.report(Diagnostic::cannot_open, {r.name(name, false), failure.reason});
  return std::move(file);
}

bool convert_between(const std::string& input_name, const std::string& output_name, const RunContext& context) {
  FileSystem& files = context.files;
  const Reporter& r = context.reporter;
  std::unique_ptr<InputFile> input = open_input(files, r, input_name);
  if (!input) return false;  // nothing else is touched
  std::unique_ptr<OutputFile> output;
  if (output_name == kStandardStream) {
    // Appended to the file it reads, the output would be read again, without end.
    const auto in = input->status();
    const auto out = files.standard_output_identity();
    if (in && in->regular_file && out && in->identity == *out) {
      r.report(Diagnostic::input_is_output, {r.name(input_name, false)});
      return false;
    }
    output = files.standard_output();
  } else {
    auto [file, failure] = files.create_for_writing(output_name, CreateMode::replace);
    if (!file) {
      r.report(Diagnostic::cannot_create, {r.name(output_name, true), failure.reason});
      return false;
    }
    output = std::move(file);
  }

  std::optional<DosDateTime> saved_time;
  if (context.command_line.preserve_time) saved_time = input->last_write_time();
  context.messages.print(kWaitMessage);

  bool converted = convert_stream(*input, *output, context, input_name, false) == StreamResult::converted;
  if (!converted) report_stream_failure(context, *input, input_name, *output, output_name);
  if (converted && saved_time && !saved_time->is_zero()) output->set_last_write_time(*saved_time);
  if (!output->close() && converted) {
    r.report(Diagnostic::cannot_write, {r.name(output_name, true), output->failure()->reason});
    converted = false;
  }
  if (converted) context.messages.print(kDoneMessage);
  return converted;
}

bool output_is_standard_output(FileSystem& files, const CommandLine& command_line) {
  const auto& names = command_line.file_names;
  if (command_line.in_place || names.size() > 2) return false;
  // No names: the filter.
  if (names.size() < 2) return names.empty() && !command_line.help_requested && !files.standard_input_is_terminal();
  if (names[1] == kStandardStream) return true;
  // When standard output is the output file, messages would be mixed into the
  // converted text; when it is the input file (output appended to it), they
  // would be written into the text before it is read.
  const auto standard_output = files.standard_output_identity();
  for (const std::string& name : names) {
    const auto file = status_of_named(files, name);
    if (file && standard_output && file->identity == *standard_output) return true;
  }
  return false;
}

void report_argument_error(const Reporter& reporter, const ArgumentError& error) {
  switch (error.kind) {
    case ArgumentError::Kind::unknown_switch:
      if (error.suggestion.empty()) reporter.report(Diagnostic::unknown_switch, {error.argument});
      else reporter.report(Diagnostic::unknown_switch_hint, {error.argument, error.suggestion});
      break;
    case ArgumentError::Kind::too_many_names:
      reporter.report(Diagnostic::too_many_names, {std::to_string(error.count)});
      break;
  }
}

// "-detect": for each file one line on standard output, its source switch and
// encoding or "ascii"; true when every file could be read.
bool detect_files(const CommandLine& command_line, FileSystem& files, platform::Console& console,
                  const Reporter& reporter) {
  std::vector<std::string> names = command_line.file_names;
  if (names.empty() && !files.standard_input_is_terminal()) names.emplace_back(kStandardStream);
  if (names.empty()) reporter.report(Diagnostic::no_file_names);
  bool all = !names.empty();
  std::vector<std::uint8_t> window(kDetectionSampleSize);
  for (const std::string& name : names) {
    const std::unique_ptr<InputFile> input = open_input(files, reporter, name);
    if (!input) {
      all = false;
      continue;
    }
    const std::size_t n = read_window(*input, window, [](std::span<const std::uint8_t>) { return true; });
    if (input->failed()) {
      reporter.report(Diagnostic::cannot_read, {reporter.name(name, false), input->failure()->reason});
      all = false;
      continue;
    }
    const Detection d = detect_encoding(std::span(window).first(n));
    const Encoding& e = encoding(d.encoding);
    std::string line = name + ": ";
    line += d.kind == TextKind::ascii ? std::string("ascii") : std::string(e.source_switches[0]) + " " + std::string(e.name);
    console.write(platform::Stream::standard_output, line + "\n");
    if (!is_sure(d)) reporter.report(Diagnostic::detect_unsure, {reporter.name(name, false), e.name});
  }
  return all;
}

// Runs what the command line asks for once the messages are out: every file
// in place, one conversion, the filter, or nothing. True when all converted.
bool run_files(const RunContext& context) {
  const CommandLine& command_line = context.command_line;
  const auto& names = command_line.file_names;
  if (command_line.in_place) {
    if (names.empty()) context.reporter.report(Diagnostic::no_names_in_place);
    bool all = !names.empty();
    // A file named twice (or by a link as well) is converted once, not twice
    // over: the files are told apart before any is replaced by a new one.
    std::vector<std::optional<platform::FileIdentity>> identities;
    for (const std::string& name : names) {
      const auto status = status_of_named(context.files, name);
      identities.push_back(status ? std::optional(status->identity) : std::nullopt);
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
      const std::string& name = names[i];
      if (identities[i] && std::find(identities.begin(), identities.begin() + static_cast<std::ptrdiff_t>(i),
                                     identities[i]) != identities.begin() + static_cast<std::ptrdiff_t>(i)) {
        context.reporter.report(Diagnostic::named_twice, {context.reporter.name(name, false)});
        continue;
      }
      context.reporter.report(Diagnostic::converting_in_place, {context.reporter.name(name, false)});
      all = convert_in_place(name, context) && all;
    }
    return all;
  }
  if (names.size() == 2) return run_conversion(names[0], names[1], context);
  if (names.empty() && !command_line.help_requested && !context.files.standard_input_is_terminal())
    return run_conversion(std::string(kStandardStream), std::string(kStandardStream), context);
  if (!command_line.help_requested)
    context.reporter.report(names.empty() ? Diagnostic::no_file_names : Diagnostic::no_output_name);
  return false;
}

}  // namespace

std::optional<std::string> TemporaryNames::make_temporary_name(FileSystem& files, const std::string& directory) {
  for (int tried = 0; tried < 65535; ++tried) {
    if (++counter_ == 0) counter_ = 1;
    std::string name = directory + "TMP" + std::to_string(counter_) + ".$$$";
    if (!files.exists(name)) return name;
    if (!in_the_way_told_ && !in_the_way_) in_the_way_ = name;
  }
  return std::nullopt;
}

std::optional<std::string> TemporaryNames::take_name_in_the_way() {
  if (in_the_way_told_ || !in_the_way_) return std::nullopt;
  in_the_way_told_ = true;
  return in_the_way_;
}

bool run_conversion(const std::string& input_name, const std::string& output_name, const RunContext& context) {
  const bool in_place = input_name != kStandardStream &&
                        (input_name == output_name || same_file(context.files, input_name, output_name));
  return in_place ? convert_in_place(output_name, context) : convert_between(input_name, output_name, context);
}

int run_program(std::span<const std::string_view> arguments, FileSystem& files, platform::Console& console,
                ConversionPath path) {
  if (arguments.empty() && files.standard_input_is_terminal()) {
    print_help(MessagePrinter(select_messages(Language::english), console, platform::Stream::standard_output));
    return 1;
  }
  ConversionSettings settings;
  CommandLine command_line;
  const std::optional<ArgumentError> error = parse_arguments(arguments, settings, command_line);
  const Reporter reporter(command_line.language, console);
  if (error) {
    report_argument_error(reporter, *error);
    return 1;
  }
  if (command_line.full_help || command_line.version) {
    console.write(platform::Stream::standard_output, command_line.full_help ? full_help() : version_line());
    return 0;
  }
  // Its lines are the whole of standard output, for scripts: no banner, no messages.
  if (command_line.detect_only) return detect_files(command_line, files, console, reporter) ? 0 : 1;
  const platform::Stream stream = output_is_standard_output(files, command_line) ? platform::Stream::standard_error
                                                                                  : platform::Stream::standard_output;
  const MessagePrinter messages(select_messages(command_line.language), console, stream);
  if (command_line.help_requested) print_help(messages);
  resolve_settings(settings, command_line);
  if (command_line.show_version && !command_line.help_requested) messages.print(kBannerMessage);

  TemporaryNames temporary_names;
  const RunContext context{settings, command_line, files, messages, reporter, temporary_names, path};
  return run_files(context) ? 0 : 1;
}

}  // namespace recodia
