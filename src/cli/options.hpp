// The command line: switches matched exactly, every other argument a file name.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "convert/settings.hpp"

namespace recodia {

enum class Language : std::uint8_t { russian = 0, english = 1 };

// What a switch does. The encoding switches take their id from the registry.
enum class Effect : std::uint8_t {
  help, no_version, english, russian, line_style, no_encoding, no_special_symbols, no_strings,
  no_smart_quotes, source_text, html, no_quote_signs, no_html_entities, preserve_time, nothing,
  source, target, in_place, full_help, version, detect_source, detect_only, force, keep_backup, quiet,
  smart_quotes, repair,
};

// How the full reference groups the switches.
enum class SwitchGroup : std::uint8_t { source, target, line_ends, characters, messages, other };

struct Switch {
  std::string_view text;
  Effect effect;
  int value = 0;  // the encoding id, or the line style
  SwitchGroup group = SwitchGroup::other;
  // One line of what it does; for an encoding switch, the registry's description.
  std::string_view description = {};
};

// Every switch, in switch-index order: the position of a text is its index.
std::span<const Switch> switch_table();

// The index of the switch whose text equals the argument byte for byte, or -1.
int find_switch(std::string_view argument);

// The name that stands for standard input (first) or standard output (second).
inline constexpr std::string_view kStandardStream = "-";

// Where the source encoding comes from: no source switch (DOS 866), a source
// switch, or the text itself ("-auto"). The later of "-auto" and a source
// switch wins.
enum class SourceChoice : std::uint8_t { unnamed, named, detected };

// What the command line gives the front end besides the conversion settings.
struct CommandLine {
  Language language = Language::english;
  bool help_requested = false;
  bool show_version = true;
  bool preserve_time = false;  // "-pdt"
  bool in_place = false;       // "-i": every name converted in place
  bool full_help = false;      // "--help"
  bool version = false;        // "--version"
  bool detect_only = false;    // "-detect": each file's encoding is printed, nothing converted
  bool force = false;          // "-force": in place, converted even where the text does not fit
  bool keep_backup = false;    // "-bak": in place, the original kept beside as NAME.bak
  bool quiet = false;          // "-q": errors only
  bool repair = false;         // "-fix": text that was decoded wrongly is undone, line by line
  bool quotes_chosen = false;  // "-ta" or "-nta" given: no default for the target to settle
  SourceChoice source_choice = SourceChoice::unnamed;
  LineStyle target_line_style = LineStyle::keep;
  std::optional<LineStyle> line_switch;  // "-lf", "-crlf", "-noaltlf": wins over the target's
  std::vector<std::string> file_names;
};

// Why the command line cannot be run.
struct ArgumentError {
  enum class Kind { unknown_switch, too_many_names };
  Kind kind;
  std::string argument;    // the unknown switch
  std::string suggestion;  // the nearest switch, or empty
  std::size_t count = 0;   // the number of file names
};

// Reads the arguments after the program name, in order; the later of two
// switches that set the same thing wins. An argument that begins with '-' and
// is no switch is an error, and so are more than two names without "-i" or
// "-detect".
// After "--" every argument is a file name.
std::optional<ArgumentError> parse_arguments(std::span<const std::string_view> arguments,
                                             ConversionSettings& settings, CommandLine& command_line);

// The switch whose text is nearest to `text`, for a hint; empty when none is near.
std::string_view nearest_switch(std::string_view text);

// Settles the settings that depend on one another; once, after parsing.
void resolve_settings(ConversionSettings& settings, const CommandLine& command_line);

}  // namespace recodia
