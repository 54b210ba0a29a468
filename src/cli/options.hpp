// The command line: switches matched exactly, every other argument a file name.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "convert/settings.hpp"

namespace recodia {

enum class Language : std::uint8_t { russian = 0, english = 1 };

// What a switch does. The encoding switches take their id from the registry.
enum class Effect : std::uint8_t {
  help, no_version, english, russian, line_style, no_encoding, no_special_symbols, no_strings,
  no_smart_quotes, source_text, html, no_quote_signs, no_html_entities, preserve_time, nothing,
  source, target,
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

// What the command line gives the front end besides the conversion settings.
struct CommandLine {
  Language language = Language::english;
  bool help_requested = false;
  bool show_version = true;
  bool preserve_time = false;  // "-pdt"
  LineStyle target_line_style = LineStyle::keep;
  int file_name_count = 0;
  std::string input_name;
  std::string output_name;
};

// Reads the arguments after the program name, in order; the later of two
// switches that set the same thing wins. Never fails.
void parse_arguments(std::span<const std::string_view> arguments, ConversionSettings& settings,
                     CommandLine& command_line);

// Settles the settings that depend on one another; once, after parsing.
void resolve_settings(ConversionSettings& settings, const CommandLine& command_line);

}  // namespace recodia
