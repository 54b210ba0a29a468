#include "cli/reference.hpp"

#include <algorithm>

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

namespace {

// Within 80 columns, with one to spare for terminals that wrap at the last.
constexpr std::size_t kWidth = 79;
constexpr std::size_t kDescriptionColumn = 28;

// `text` after `head`, wrapped to the width, later lines indented to the
// description's column.
std::string wrapped(std::string head, std::string_view text) {
  std::string out, line = std::move(head);
  line.append(line.size() < kDescriptionColumn ? kDescriptionColumn - line.size() : 1, ' ');
  bool line_has_words = false;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t space = std::min(text.find(' ', at), text.size());
    const std::string_view word = text.substr(at, space - at);
    at = space + 1;
    if (line_has_words && line.size() + 1 + word.size() > kWidth) {
      out += line + "\n";
      line.assign(kDescriptionColumn, ' ');
      line_has_words = false;
    }
    if (line_has_words) line += ' ';
    line += word;
    line_has_words = true;
  }
  return out + line + "\n";
}

}  // namespace

std::string full_help() {
  std::string text =
      "recodia converts text between UTF-8 and the Cyrillic, Turkish and West-European\n"
      "code pages. The five commands most used:\n"
      "  recodia -w -toutf8 in.txt out.txt     Windows 1251 into UTF-8\n"
      "  recodia -utf8 -tow in.txt out.txt     UTF-8 into Windows 1251\n"
      "  recodia -auto -toutf8 -i *.txt        every .txt file into UTF-8, in place\n"
      "  recodia -detect *.txt                 say which encoding each file is in\n"
      "  recodia -koi8 -toutf8 < in > out      a filter: KOI8-R into UTF-8\n"
      "\n"
      "Usage: recodia [switches] file1 file2   convert file1 into file2\n"
      "       recodia [switches] file > out    convert file to standard output\n"
      "       recodia [switches] -i file...    convert every file in place\n"
      "       recodia [switches] < in > out    standard input to standard output\n"
      "       recodia -detect file...          print each file's encoding\n"
      "Two names for one file convert it in place. A name - is standard input as\n"
      "file1, standard output as file2; after -- every argument is a file name.\n"
      "Without a source switch the text is read as DOS 866; without a target switch\n"
      "it is written as KX. Where the text goes to standard output, only warnings and\n"
      "errors are printed, on standard error.\n";
  std::optional<SwitchGroup> group;
  for (const ReferenceEntry& e : reference_entries()) {
    if (e.group != group) text.append("\n").append(group_title(e.group)).append(":\n");
    group = e.group;
    std::string names;
    for (std::string_view s : e.switches) names.append(names.empty() ? "" : ", ").append(s);
    std::string description(e.description);
    if (e.group == SwitchGroup::target) description.append("; line ends: ").append(line_ends_text(e.line_ends));
    text += wrapped("  " + names, description);
  }
  text +=
      "\nExit codes: 0 every file was converted; 1 a file was not converted (standard\n"
      "error says why); 128+N signal N ended the run (141: standard output's reader\n"
      "went away, as it ends cat).\n"
      "The full description: man recodia, and /usr/share/doc/recodia/README.md.\n";
  return text;
}

std::string version_line() { return "recodia " RECODIA_VERSION "\n"; }

}  // namespace recodia
