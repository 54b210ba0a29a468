// The command line: 76 switches matched exactly, every other argument a file name.
#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>

#include "convert/settings.hpp"

namespace recodia {

inline constexpr int kSwitchCount = 76;

// In switch-index order; the position of a text is its index.
inline constexpr std::array<std::string_view, kSwitchCount> kSwitchTexts = {
    "/?",         "-?",          "-w",           "-ni",          "-todos",        "-u",
    "-koi8",      "-nec",        "-32",          "-nstr",        "-src",          "-en",
    "-855",       "-mac",        "-iso",         "-win",         "-koi8r",        "-tow",
    "-to866",     "-towin",      "-tokoi8",      "-tokoi8r",     "-tou",          "-to855",
    "-tomac",     "-toiso",      "-kx",          "-dos",         "-866",          "-tokx",
    "-nta",       "-tokoi7",     "-koi7",        "-iso8859_5",   "-toiso8859_5",  "-translit",
    "-totl",      "-nqt",        "-rus",         "-koi8u",       "-tokoi8u",      "-macu",
    "-mac_u",     "-tomacu",     "-tomac_u",     "-iso_ir_111",  "-isoir111",     "-toiso_ir_111",
    "-toisoir111", "-1251",      "-to1251",      "-857",         "-to857",        "-1254",
    "-to1254",    "-iso8859_9",  "-toiso8859_9", "-macturk",     "-tomacturk",    "-lf",
    "-crlf",      "-noenc",      "-850",         "-1252",        "-iso8859_1",    "-iso8859_15",
    "-macroman",  "-to850",      "-to1252",      "-toiso8859_1", "-toiso8859_15", "-tomacroman",
    "-noaltlf",   "-html",       "-dhcs",        "-pdt",
};

// The index of the switch whose text equals the argument byte for byte, or -1.
int find_switch(std::string_view argument);

// What the command line gives the run besides the conversion settings.
struct CommandLine {
  bool help_requested = false;
  bool show_version = true;
  bool no_encoding = false;  // "-noenc": copy bytes, only the line style applies
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
