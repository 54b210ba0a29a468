#include "cli/reference.hpp"

#include "convert/registry.hpp"

namespace recodia {
namespace {

constexpr SwitchGroup kGroupOrder[] = {SwitchGroup::source, SwitchGroup::target, SwitchGroup::line_ends,
                                       SwitchGroup::characters, SwitchGroup::messages, SwitchGroup::other};

// The encoding switches come from the registry, so that an encoding's
// switches stand together, in its order.
void add_encoding_entries(std::vector<ReferenceEntry>& entries, SwitchGroup group) {
  for (const Encoding& e : kEncodings) {
    const SwitchNames& names = group == SwitchGroup::source ? e.source_switches : e.target_switches;
    if (names[0].empty()) continue;
    ReferenceEntry entry{group, {}, e.description, std::nullopt};
    for (std::string_view n : names)
      if (!n.empty()) entry.switches.push_back(n);
    if (group == SwitchGroup::target) entry.line_ends = e.target_line_style;
    entries.push_back(std::move(entry));
  }
}

}  // namespace

std::vector<ReferenceEntry> reference_entries() {
  std::vector<ReferenceEntry> entries;
  for (SwitchGroup group : kGroupOrder) {
    if (group == SwitchGroup::source || group == SwitchGroup::target) add_encoding_entries(entries, group);
    const std::size_t first = entries.size();
    for (const Switch& s : switch_table()) {
      if (s.group != group || s.effect == Effect::source || s.effect == Effect::target) continue;
      // Switches with the same effect share one entry ("/?" and "-?").
      bool merged = false;
      for (std::size_t i = first; i < entries.size(); ++i) {
        const Switch& other = switch_table()[static_cast<std::size_t>(find_switch(entries[i].switches[0]))];
        if (other.effect == s.effect && other.value == s.value) entries[i].switches.push_back(s.text), merged = true;
      }
      if (!merged) entries.push_back({group, {s.text}, s.description, std::nullopt});
    }
  }
  return entries;
}

std::string_view group_title(SwitchGroup group) {
  switch (group) {
    case SwitchGroup::source: return "Source encodings";
    case SwitchGroup::target: return "Target encodings";
    case SwitchGroup::line_ends: return "Line ends";
    case SwitchGroup::characters: return "Characters";
    case SwitchGroup::messages: return "Messages";
    case SwitchGroup::other: return "Other switches";
  }
  return "";
}

std::string_view line_ends_text(const std::optional<LineStyle>& line_ends) {
  if (!line_ends) return "unchanged";
  return *line_ends == LineStyle::crlf ? "CR LF" : "LF";
}

std::string full_help() {
  std::string text =
      "Usage: recodia [switches] file1 file2     convert file1 into file2 (in place when they are one file)\n"
      "       recodia [switches] -i file...      convert every file in place\n"
      "       recodia [switches] [- -] < in > out   convert standard input to standard output\n"
      "       recodia -detect file...            print each file's encoding, convert nothing\n"
      "A name - is standard input as file1, standard output as file2; after -- every\n"
      "argument is a file name. Without a target switch the text is written as KX.\n";
  std::optional<SwitchGroup> group;
  for (const ReferenceEntry& e : reference_entries()) {
    if (e.group != group) text.append("\n").append(group_title(e.group)).append(":\n");
    group = e.group;
    std::string names;
    for (std::string_view s : e.switches) names.append(names.empty() ? "" : ", ").append(s);
    std::string line = "  " + names;
    line.append(line.size() < 28 ? 28 - line.size() : 1, ' ').append(e.description);
    if (e.group == SwitchGroup::target) line.append("; line ends: ").append(line_ends_text(e.line_ends));
    text += line + "\n";
  }
  text +=
      "\nExit codes: 0 every file was converted; 1 a file was not converted (standard\n"
      "error says why); 128+N the program was interrupted by signal N.\n"
      "The full description: man recodia, and /usr/share/doc/recodia/README.md.\n";
  return text;
}

std::string version_line() { return "recodia " RECODIA_VERSION "\n"; }

}  // namespace recodia
