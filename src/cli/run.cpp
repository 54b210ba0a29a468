#include "cli/run.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "cli/detection.hpp"
#include "cli/in_place.hpp"
#include "cli/reference.hpp"
#include "cli/text_stream.hpp"
#include "convert/detect.hpp"
#include "convert/registry.hpp"

namespace recodia {
namespace {

using platform::DosDateTime;
using platform::Failure;
using platform::FileSystem;
using platform::InputFile;
using platform::OutputFile;

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


// An output file created when the first byte, or the end, comes: a run that
// refuses its input (not text, say) leaves no empty file behind it.
class CreatedOnFirstUse final : public OutputFile {
 public:
  CreatedOnFirstUse(FileSystem& files, std::string name) : files_(files), name_(std::move(name)) {}
  bool write(const std::uint8_t* data, std::size_t size) override { return created() && file_->write(data, size); }
  const platform::MaybeFailure& failure() const override { return file_ ? file_->failure() : creation_failure_; }
  bool flush() override { return created() && file_->flush(); }
  bool set_last_write_time(DosDateTime time) override { return created() && file_->set_last_write_time(time); }
  std::vector<platform::NotCarried> carry_over(const platform::Attributes& from) override {
    return created() ? file_->carry_over(from) : std::vector<platform::NotCarried>{};
  }
  bool close() override { return created() && file_->close(); }
  // Whether creating the file was tried and failed.
  bool creation_failed() const { return creation_failure_.has_value(); }

 private:
  bool created() {
    if (file_) return true;
    if (creation_failure_) return false;
    auto [file, failure] = files_.create_for_writing(name_);
    file_ = std::move(file);
    if (!file_) creation_failure_ = failure;
    return file_ != nullptr;
  }
  FileSystem& files_;
  std::string name_;
  std::unique_ptr<OutputFile> file_;
  platform::MaybeFailure creation_failure_;
};

bool convert_between(const std::string& input_name, const std::string& output_name, const RunContext& context) {
  FileSystem& files = context.files;
  const Reporter& r = context.reporter;
  std::unique_ptr<InputFile> input = open_input(files, r, input_name);
  if (!input) return false;  // nothing else is touched
  std::unique_ptr<OutputFile> output;
  CreatedOnFirstUse* named_output = nullptr;
  if (output_name == kStandardStream) {
    // Appended to the file it reads, the output would be read again, without end.
    const auto in = input->status();
    const auto out = files.standard_output_identity();
    if (in && in->regular_file && out && in->identity == *out) {
      r.report(Diagnostic::input_is_output, {r.name(input_name, false)});
      return false;
    }
    output = files.standard_output();
  } else if (context.command_line.source_choice == SourceChoice::detected) {
    // Only a detected source can refuse its input here: then no file is made for it.
    auto file = std::make_unique<CreatedOnFirstUse>(files, output_name);
    named_output = file.get();
    output = std::move(file);
  } else {
    auto [file, failure] = files.create_for_writing(output_name);
    if (!file) {
      r.report(Diagnostic::cannot_create, {r.name(output_name, true), failure.reason});
      return false;
    }
    output = std::move(file);
  }

  std::optional<DosDateTime> saved_time;
  if (context.command_line.preserve_time) saved_time = input->last_write_time();
  context.messages.print(kWaitMessage);

  const StreamResult result = convert_stream(*input, *output, context, input_name, false);
  bool converted = result == StreamResult::converted;
  // A reader that has gone wants no more text, nor word of it: cat's way.
  const bool reader_gone = output->failed() && output->failure()->kind == Failure::Kind::closed_pipe;
  const auto cannot_create = [&] {
    r.report(Diagnostic::cannot_create, {r.name(output_name, true), output->failure()->reason});
    return false;
  };
  if (reader_gone && context.reader_gone) *context.reader_gone = true;
  else if (named_output && named_output->creation_failed()) return cannot_create();
  else if (!converted) report_stream_failure(context, *input, input_name, *output, output_name);
  // Refused before a byte was written: no file is made for it.
  if (result == StreamResult::refused) return false;
  if (converted && saved_time && !saved_time->is_zero()) output->set_last_write_time(*saved_time);
  if (!output->close() && converted) {
    if (named_output && named_output->creation_failed()) return cannot_create();
    r.report(Diagnostic::cannot_write, {r.name(output_name, true), output->failure()->reason});
    converted = false;
  }
  if (converted) context.messages.print(kDoneMessage);
  return converted;
}

// iconv's habit: one name, and standard output not a terminal, converts that
// file to standard output. At a terminal the missing name is still an error.
void take_one_name_as_iconv_does(CommandLine& command_line, platform::Console& console) {
  if (command_line.file_names.size() == 1 && !command_line.in_place && !command_line.detect_only &&
      !command_line.help_requested && !console.is_terminal(platform::Stream::standard_output))
    command_line.file_names.emplace_back(kStandardStream);
}

// What standard output is to the run: where the converted text goes (a
// filter, "-" or the one name of iconv's habit as the output, or standard
// output's own file named as the output), or the input, which the output is
// appended to; or neither. Either way no message may go there: it would be
// mixed into the text, or written into the text before it is read.
enum class StandardOutputUse : std::uint8_t { none, text, input };
StandardOutputUse standard_output_use(const CommandLine& command_line, FileSystem& files) {
  const auto& names = command_line.file_names;
  if (command_line.in_place || command_line.detect_only) return StandardOutputUse::none;
  if (names.empty())
    return !command_line.help_requested && !files.standard_input_is_terminal() ? StandardOutputUse::text
                                                                                : StandardOutputUse::none;
  if (names.size() != 2) return StandardOutputUse::none;
  if (names[1] == kStandardStream) return StandardOutputUse::text;
  const auto standard_output = files.standard_output_identity();
  const auto is_standard_output = [&](const std::string& name) {
    const auto file = status_of_named(files, name);
    return file && standard_output && file->identity == *standard_output;
  };
  if (is_standard_output(names[1])) return StandardOutputUse::text;
  return is_standard_output(names[0]) ? StandardOutputUse::input : StandardOutputUse::none;
}

// The file names the command line lacks, if any: a fault of the command
// line, said alone before anything is printed, as its other faults are.
std::optional<Diagnostic> missing_names(const CommandLine& command_line, FileSystem& files) {
  const auto& names = command_line.file_names;
  if (command_line.help_requested) return std::nullopt;  // the help alone, nothing converted
  if (command_line.in_place) return names.empty() ? std::optional(Diagnostic::no_names_in_place) : std::nullopt;
  if (names.size() == 2) return std::nullopt;
  if (names.empty()) return files.standard_input_is_terminal() ? std::optional(Diagnostic::no_file_names) : std::nullopt;
  return Diagnostic::no_output_name;
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

// Runs what the command line asks for once the messages are out: every file
// in place, one conversion, the filter, or nothing (the help alone). True
// when all converted.
bool run_files(const RunContext& context) {
  const CommandLine& command_line = context.command_line;
  const auto& names = command_line.file_names;
  if (command_line.in_place) return convert_all_in_place(context);
  if (names.size() == 2) return run_conversion(names[0], names[1], context);
  if (names.empty() && !command_line.help_requested && !context.files.standard_input_is_terminal())
    return run_conversion(std::string(kStandardStream), std::string(kStandardStream), context);
  return false;
}

}  // namespace

std::unique_ptr<InputFile> open_input(FileSystem& files, const Reporter& r, const std::string& name) {
  if (name == kStandardStream) return files.standard_input();
  auto [file, failure] = files.open_for_reading(name);
  if (!file) r.report(Diagnostic::cannot_open, {r.name(name, false), failure.reason});
  return std::move(file);
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
  take_one_name_as_iconv_does(command_line, console);
  // Unix tools are quiet on success: "-q" leaves the errors; a run whose text
  // goes to standard output, as iconv's and cat's do, the warnings too.
  const StandardOutputUse standard_output = standard_output_use(command_line, files);
  const bool filter = standard_output == StandardOutputUse::text;
  const Severity least = command_line.quiet ? Severity::error : filter ? Severity::warning : Severity::note;
  const Reporter reporter(command_line.language, console, least);
  // A fault of the command line comes alone, before the banner or the help:
  // nothing was done.
  if (error) {
    report_argument_error(reporter, *error);
    return 1;
  }
  if (command_line.full_help || command_line.version) {
    console.write(platform::Stream::standard_output, command_line.full_help ? full_help() : version_line());
    return 0;
  }
  // Its lines are the whole of standard output, for scripts: no banner, no messages.
  if (command_line.detect_only) return detect_files(command_line, files, console, reporter);
  if (const std::optional<Diagnostic> missing = missing_names(command_line, files)) {
    reporter.report(*missing);
    return 1;
  }
  const platform::Stream stream = standard_output != StandardOutputUse::none ? platform::Stream::standard_error
                                                                              : platform::Stream::standard_output;
  if (command_line.help_requested) print_help(MessagePrinter(select_messages(command_line.language), console, stream));
  const MessagePrinter messages(select_messages(command_line.language), console, stream, command_line.quiet || filter);
  resolve_settings(settings, command_line);
  // The banner greets a person; a file or a pipe gets none.
  if (command_line.show_version && !command_line.help_requested && messages.to_terminal()) messages.print(kBannerMessage);

  bool reader_gone = false;
  const RunContext context{settings, command_line, files, messages, reporter, path, &reader_gone};
  const bool converted = run_files(context);
  return reader_gone ? kClosedPipeExitCode : converted ? 0 : 1;
}

}  // namespace recodia
