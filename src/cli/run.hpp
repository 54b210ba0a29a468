// The program's top level: the command line, the messages, and the
// conversion of one file, in place when both names denote the same file.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "cli/messages.hpp"
#include "cli/options.hpp"
#include "convert/settings.hpp"
#include "convert/stream_converter.hpp"
#include "platform/console.hpp"
#include "platform/files.hpp"

namespace recodia {

struct RunContext {
  const ConversionSettings& settings;
  const CommandLine& command_line;
  platform::FileSystem& files;
  const MessagePrinter& messages;
  const Reporter& reporter;
  ConversionPath path = ConversionPath::table;
  // Set when the reader of standard output, the converted text's, has gone.
  bool* reader_gone = nullptr;
};

// The input named, standard input for "-"; nothing, said on standard error,
// when it cannot be opened.
std::unique_ptr<platform::InputFile> open_input(platform::FileSystem& files, const Reporter& r,
                                                const std::string& name);

// Converts input_name into output_name ("-" for the standard streams), in
// place when they denote one file; true when the file was converted. Says
// on standard error what went wrong.
bool run_conversion(const std::string& input_name, const std::string& output_name, const RunContext& context);

// The exit code of a run whose reader of standard output went away: the
// status that SIGPIPE gives cat (platform::end_as_closed_pipe ends so).
inline constexpr int kClosedPipeExitCode = 128 + 13;

// The whole program: returns the exit code, 0 when every file was converted.
int run_program(std::span<const std::string_view> arguments, platform::FileSystem& files,
                platform::Console& console, ConversionPath path = ConversionPath::table);

}  // namespace recodia
