// Writes the switch lists of the README, the manual page and the bash
// completion from the program's own switch table, between the marker lines
// in each file, so that the documents cannot drift from the program.
//
//   recodia_gen_docs SOURCE_DIR           rewrite the lists
//   recodia_gen_docs --check SOURCE_DIR   exit 1 and name each file whose list differs
//
// The build runs the first as `cmake --build build --target docs`, and the
// test suite the second.
#include <cctype>
#include <cstdio>
#include <optional>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include "cli/reference.hpp"

namespace {

using recodia::ReferenceEntry;
using recodia::SwitchGroup;

std::string joined(const ReferenceEntry& e, std::string_view before, std::string_view after, std::string_view separator) {
  std::string s;
  for (std::string_view text : e.switches) {
    if (!s.empty()) s += separator;
    s.append(before).append(text).append(after);
  }
  return s;
}

std::string readme_list() {
  std::string out;
  std::optional<SwitchGroup> group;
  for (const ReferenceEntry& e : recodia::reference_entries()) {
    const bool target = e.group == SwitchGroup::target;
    if (e.group != group) {
      out.append(group ? "\n" : "").append("### ").append(recodia::group_title(e.group)).append("\n\n");
      out += target ? "| Switch | Writes | Line ends |\n|---|---|---|\n" : "| Switch | What it does |\n|---|---|\n";
      group = e.group;
    }
    out += "| " + joined(e, "`", "`", ", ") + " | " + std::string(e.description);
    if (target) out.append(" | ").append(recodia::line_ends_text(e.line_ends));
    out += " |\n";
  }
  return out;
}

std::string man_text(std::string_view text) {
  std::string s;
  for (char c : text) s += c == '-' ? "\\-" : std::string(1, c);
  return s;
}

std::string man_list() {
  std::string out;
  std::optional<SwitchGroup> group;
  for (const ReferenceEntry& e : recodia::reference_entries()) {
    if (e.group != group) out.append(".SS \"").append(recodia::group_title(e.group)).append("\"\n");
    group = e.group;
    std::string tag;
    for (std::string_view text : e.switches) tag.append(tag.empty() ? "" : ", ").append("\\fB").append(man_text(text)).append("\\fR");
    std::string description(e.description);
    description[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(description[0])));
    out.append(".TP\n").append(tag).append("\n").append(description).append(".\n");
    if (e.group == SwitchGroup::target) {
      std::string ends(recodia::line_ends_text(e.line_ends));
      if (ends == "CR LF") ends = "CR\\~LF";
      out += "Line ends: " + ends + ".\n";
    }
  }
  return out;
}

std::string completion_list() {
  std::string out = "_recodia_switches=(\n";
  int on_line = 0;
  for (const recodia::Switch& s : recodia::switch_table()) {
    out += on_line == 0 ? "    " : " ";
    out.append(1, '\'').append(s.text).append(1, '\'');
    if (++on_line == 6) out += "\n", on_line = 0;
  }
  if (on_line != 0) out += "\n";
  return out + ")\n";
}

struct Document {
  const char* path;
  std::string begin, end;  // the marker lines around the list
  std::string list;
};

// The file with its list replaced; empty when a marker is missing.
std::string with_list(const std::string& text, const Document& d) {
  const std::size_t begin = text.find(d.begin + "\n");
  const std::size_t end = text.find(d.end + "\n");
  if (begin == std::string::npos || end == std::string::npos || end < begin) return {};
  return text.substr(0, begin + d.begin.size() + 1) + d.list + text.substr(end);
}

}  // namespace

int main(int argc, char** argv) {
  const bool check = argc == 3 && std::string_view(argv[1]) == "--check";
  if (argc != 2 && !check) {
    std::fprintf(stderr, "usage: recodia_gen_docs [--check] SOURCE_DIR\n");
    return 2;
  }
  const std::string root = argv[argc - 1];
  const std::string note = "switches: generated from the switch table by tools/gen_docs.cpp; do not edit";
  const Document documents[] = {
      {"README.md", "<!-- " + note + " -->", "<!-- end of switches -->", readme_list()},
      {"man/recodia.1", ".\\\" " + note, ".\\\" end of switches", man_list()},
      {"completion/recodia", "# " + note, "# end of switches", completion_list()},
  };
  int status = 0;
  for (const Document& d : documents) {
    const std::string path = root + "/" + d.path;
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    const std::string updated = with_list(text.str(), d);
    if (updated.empty()) {
      std::fprintf(stderr, "%s: the marker lines are missing\n", path.c_str());
      status = 1;
    } else if (updated != text.str()) {
      if (check) {
        std::fprintf(stderr, "%s: its switch list differs from the switch table; run: cmake --build build --target docs\n",
                     path.c_str());
        status = 1;
      } else {
        std::ofstream(path, std::ios::binary) << updated;
      }
    }
  }
  return status;
}
