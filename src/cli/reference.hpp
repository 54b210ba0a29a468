// The complete reference of the switches, made from the switch table: what
// "--help" prints, and what the README, the manual page and the completion
// list (tools/gen_docs.cpp writes those from the same entries).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/options.hpp"

namespace recodia {

// Switches that do the same thing, with one line of what that is.
struct ReferenceEntry {
  SwitchGroup group;
  std::vector<std::string_view> switches;
  std::string_view description;
  // For a target switch: the line ends it chooses; nothing when it leaves them.
  std::optional<LineStyle> line_ends;
};

// Grouped as the reference shows them: sources and targets in the registry's
// order, the others in the switch table's.
std::vector<ReferenceEntry> reference_entries();

std::string_view group_title(SwitchGroup group);
// "CR LF", "LF", or "unchanged".
std::string_view line_ends_text(const std::optional<LineStyle>& line_ends);

// The usage lines, every switch grouped, the exit codes.
std::string full_help();
// "recodia 0.8.3" and a line break.
std::string version_line();

}  // namespace recodia
