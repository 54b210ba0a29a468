#include "cli/run.hpp"

#include <cstddef>
#include <memory>
#include <vector>

#include "convert/stream_converter.hpp"

namespace recodia {
namespace {

using platform::CreateMode;
using platform::DosDateTime;
using platform::FileSystem;
using platform::InputFile;
using platform::OutputFile;
using platform::RenameResult;

constexpr std::size_t kInputBlock = 128 * 1024;

// Copies a file block by block; false when reading or writing failed.
bool copy_blocks(InputFile& in, OutputFile& out) {
  std::vector<std::uint8_t> block(kInputBlock);
  while (const std::size_t n = in.read(block.data(), block.size())) {
    if (!out.write(block.data(), n)) return false;
  }
  return !in.failed() && !out.failed();
}

// The byte loop: each block read is converted and written. False when reading
// or writing failed.
bool convert_stream(InputFile& in, OutputFile& out, const ConversionSettings& settings, ConversionPath path) {
  StreamConverter converter(settings, path);
  std::vector<std::uint8_t> block(kInputBlock);
  while (const std::size_t n = in.read(block.data(), block.size())) {
    const std::span<const std::uint8_t> converted = converter.convert({block.data(), n});
    if (!out.write(converted.data(), converted.size())) return false;
  }
  const std::span<const std::uint8_t> rest = converter.finish();
  return !in.failed() && out.write(rest.data(), rest.size()) && !out.failed();
}

std::string directory_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Creates a fresh temporary file in `directory`, trying the next name when
// another process takes one first. It takes the permission bits of the file
// that it is to replace at once, so that the text is never open to more users
// than the original is, not even when a failed run leaves it behind.
std::unique_ptr<OutputFile> create_temporary(const RunContext& context, const std::string& directory,
                                             std::uint32_t permissions, std::string& name) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::optional<std::string> candidate = context.temporary_names.make_temporary_name(context.files, directory);
    if (!candidate) return nullptr;
    if (auto file = context.files.create_for_writing(*candidate, CreateMode::exclusive)) {
      name = *candidate;
      file->set_permissions(permissions);  // checked when the file is finished
      return file;
    }
    if (!context.files.exists(*candidate)) return nullptr;  // not a race: the folder refuses
  }
  return nullptr;
}

// Readies a finished file to stand in for the original: its permission bits,
// the saved time, and everything pushed to storage before anything is renamed.
bool finish_replacement(OutputFile& file, std::uint32_t permissions, const std::optional<DosDateTime>& time) {
  bool ok = file.set_permissions(permissions) && file.flush();
  if (ok && time && !time->is_zero()) file.set_last_write_time(*time);  // a failure here is ignored
  return file.close() && ok;
}

// A temporary file on another file system than the destination: copy it into
// the destination's folder first, so that the final rename is still one step.
bool replace_across_devices(const RunContext& context, const std::string& temporary, const std::string& destination,
                            std::uint32_t permissions, const std::optional<DosDateTime>& time) {
  std::unique_ptr<InputFile> source = context.files.open_for_reading(temporary);
  if (!source) return false;
  std::string beside;
  std::unique_ptr<OutputFile> copy = create_temporary(context, directory_of(destination), permissions, beside);
  if (!copy) return false;
  bool ok = copy_blocks(*source, *copy);
  ok = finish_replacement(*copy, permissions, time) && ok;
  if (ok && context.files.rename_over(beside, destination) == RenameResult::done) {
    context.files.remove(temporary);
    return true;
  }
  context.files.remove(beside);
  return false;
}

bool replace_original(const RunContext& context, const std::string& temporary, const std::string& destination,
                      std::uint32_t permissions, const std::optional<DosDateTime>& time) {
  switch (context.files.rename_over(temporary, destination)) {
    case RenameResult::done: return true;
    case RenameResult::other_device: return replace_across_devices(context, temporary, destination, permissions, time);
    case RenameResult::failed: return false;
  }
  return false;
}

// Two different names for one existing regular file.
bool same_file(FileSystem& files, const std::string& a, const std::string& b) {
  const auto sa = files.status(a);
  const auto sb = files.status(b);
  return sa && sb && sa->regular_file && sb->regular_file && sa->identity == sb->identity;
}

platform::Stream message_stream(FileSystem& files, const CommandLine& command_line) {
  // When standard output is the output file, messages would be mixed into the
  // converted text; when it is the input file (output appended to it), they
  // would be written into the text before it is read. Either way they go to
  // standard error instead.
  if (command_line.file_name_count == 2) {
    const auto standard_output = files.standard_output_identity();
    for (const std::string* name : {&command_line.output_name, &command_line.input_name}) {
      const auto file = files.status(*name);
      if (file && standard_output && file->identity == *standard_output) return platform::Stream::standard_error;
    }
  }
  return platform::Stream::standard_output;
}

}  // namespace

std::optional<std::string> TemporaryNames::make_temporary_name(FileSystem& files, const std::string& directory) {
  for (int tried = 0; tried < 65535; ++tried) {
    if (++counter_ == 0) counter_ = 1;
    std::string name = directory + "TMP" + std::to_string(counter_) + ".$$$";
    if (!files.exists(name)) return name;
  }
  return std::nullopt;
}

bool run_conversion(const std::string& input_name, const std::string& output_name, const RunContext& context) {
  FileSystem& files = context.files;
  const ConversionSettings& settings = context.settings;
  const bool in_place = input_name == output_name || same_file(files, input_name, output_name);

  std::unique_ptr<InputFile> input = files.open_for_reading(input_name);
  if (!input) return false;  // nothing else is touched

  std::string destination;       // in place: the file that the result replaces
  std::uint32_t permissions = 0;
  std::string temporary;
  std::unique_ptr<OutputFile> output;
  if (in_place) {
    const auto status = input->status();
    // Only a regular file can be replaced safely; a device or a pipe cannot.
    if (!status || !status->regular_file) return false;
    permissions = status->permissions;
    // Through any links to the file itself, which is what the user sees.
    const auto real = files.real_path(output_name);
    if (!real) return false;
    destination = *real;
    output = create_temporary(context, "", permissions, temporary);
  } else {
    output = files.create_for_writing(output_name, CreateMode::replace);
  }
  if (!output) return false;

  std::optional<DosDateTime> saved_time;
  if (context.command_line.preserve_time) saved_time = input->last_write_time();

  context.messages.print(kWaitMessage);

  bool converted = convert_stream(*input, *output, settings, context.path);
  if (in_place) {
    converted = converted && finish_replacement(*output, permissions, saved_time) &&
                replace_original(context, temporary, destination, permissions, saved_time);
  } else {
    if (converted && saved_time && !saved_time->is_zero()) output->set_last_write_time(*saved_time);
    converted = output->close() && converted;
  }

  if (converted) context.messages.print(kDoneMessage);
  return converted;
}

int run_program(std::span<const std::string_view> arguments, FileSystem& files, platform::Console& console,
                ConversionPath path) {
  if (arguments.empty()) {
    print_help(MessagePrinter(select_messages(Language::english), console, platform::Stream::standard_output));
    return 1;
  }
  ConversionSettings settings;
  CommandLine command_line;
  parse_arguments(arguments, settings, command_line);
  const MessagePrinter messages(select_messages(command_line.language), console, message_stream(files, command_line));
  if (command_line.help_requested) print_help(messages);
  resolve_settings(settings, command_line);
  if (command_line.show_version && !command_line.help_requested) messages.print(kBannerMessage);

  bool converted = false;
  if (command_line.file_name_count == 2) {
    TemporaryNames temporary_names;
    const RunContext context{settings, command_line, files, messages, temporary_names, path};
    converted = run_conversion(command_line.input_name, command_line.output_name, context);
  }
  return converted ? 0 : 1;
}

}  // namespace recodia
