// Writes the switch lists of the manual page and the bash completion from the
// program's own switch table, and the list of encodings of the README, the
// manual page and the Debian package's description from the registry,
// between the marker lines in each file, so that the documents cannot drift
// from the program (nor name two numbers of encodings); and the version in the
// manual page's title line, from CMake's.
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
#include <vector>

#include "cli/reference.hpp"
#include "convert/registry.hpp"

namespace {

using recodia::ReferenceEntry;
using recodia::SwitchGroup;

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

// How many encodings there are.
std::string encoding_count() {
  std::size_t code_pages = 0, unicode = 0;
  for (const recodia::Encoding& e : recodia::kEncodings) {
    code_pages += recodia::is_single_byte_source(e);
    unicode += e.script == recodia::Script::unicode;
  }
  return std::to_string(recodia::kEncodings.size()) + " encodings: " + std::to_string(unicode) + " Unicode " +
         (unicode == 1 ? "form" : "forms") + ", " + std::to_string(code_pages) +
         " single-byte code pages and a Latin transliteration of Cyrillic";
}

// The target switch, where it is not the source switch with "to" after the dash.
std::string unusual_target(const recodia::Encoding& e) {
  const std::string usual = "-to" + std::string(e.source_switches[0].substr(1));
  return e.target_switches[0] == usual ? "" : std::string(e.target_switches[0]);
}

std::string readme_encodings() {
  std::string out = "Recodia knows " + encoding_count() +
                    ". An encoding's switch reads it; with `to` after the dash it writes it "
                    "(`-w` reads Windows 1251, `-tow` writes it):\n\n";
  for (const recodia::ScriptName& g : recodia::kScripts) {
    std::string line = "- " + std::string(g.title) + ":";
    for (const recodia::Encoding& e : recodia::kEncodings) {
      if (e.script != g.script || !recodia::is_source(e)) continue;
      line.append(line.back() == ':' ? " " : ", ").append(e.name).append(" `").append(e.source_switches[0]).append("`");
      if (const std::string target = unusual_target(e); !target.empty()) line.append(" `").append(target).append("`");
    }
    if (line.back() != ':') out += line + "\n";
  }
  std::string translit;
  for (const recodia::Encoding& e : recodia::kEncodings)
    if (!recodia::is_source(e)) translit.append(translit.empty() ? "`" : ", `").append(e.target_switches[0]).append("`");
  return out + "- Latin transliteration of Cyrillic, as a target only: " + translit + "\n";
}

// The encodings named in a sentence, group by group.
std::string encodings_sentence() {
  std::string out = "It knows " + encoding_count() + ":";
  for (const recodia::ScriptName& g : recodia::kScripts) {
    std::string names;
    for (const recodia::Encoding& e : recodia::kEncodings)
      if (e.script == g.script && recodia::is_source(e)) names.append(names.empty() ? "" : ", ").append(e.name);
    if (!names.empty()) out.append(" ").append(g.title).append(" (").append(names).append("),");
  }
  return out + " and, as a target only, the transliteration.";
}

// Words wrapped into lines of at most `width`.
std::vector<std::string> wrapped(const std::string& text, std::size_t width) {
  std::vector<std::string> lines(1);
  std::istringstream words(text);
  for (std::string word; words >> word;) {
    if (!lines.back().empty() && lines.back().size() + 1 + word.size() > width) lines.emplace_back();
    lines.back().append(lines.back().empty() ? "" : " ").append(word);
  }
  return lines;
}

std::string man_encodings() {
  std::string out;
  for (const std::string& line : wrapped(encodings_sentence(), 72)) out += man_text(line) + "\n";
  return out;
}

// The Debian package's description: what Recodia does, with the encodings.
std::string package_description() {
  const std::string text =
      "Recodia converts text files between UTF-8 and the Cyrillic, Turkish and West-European code pages. " +
      encodings_sentence() +
      " It detects the source encoding, fixes line ends, writes readable substitutes or HTML entities for "
      "characters that the target lacks, and converts files in place without ever making the only copy worse.";
  const std::vector<std::string> lines = wrapped(text, 72);
  std::string out = "set(CPACK_PACKAGE_DESCRIPTION\n    \"";
  for (std::size_t i = 0; i < lines.size(); ++i) out += lines[i] + (i + 1 < lines.size() ? "\\n\\\n" : "\")\n");
  return out;
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

// The manual page with CMake's version in its title line (.TH), the field
// "Recodia VERSION"; empty when the line is missing.
std::string with_version(const std::string& text) {
  const std::string field = "\"Recodia ";
  const std::size_t title = text.find("\n.TH ");
  const std::size_t begin = title == std::string::npos ? title : text.find(field, title);
  const std::size_t end = begin == std::string::npos ? begin : text.find('"', begin + field.size());
  if (end == std::string::npos || text.find('\n', title + 1) < end) return {};
  return text.substr(0, begin + field.size()) + RECODIA_VERSION + text.substr(end);
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
  const std::string encodings = "encodings: generated from the registry by tools/gen_docs.cpp; do not edit";
  const Document documents[] = {
      {"README.md", "<!-- " + encodings + " -->", "<!-- end of encodings -->", readme_encodings()},
      {"man/recodia.1", ".\\\" " + encodings, ".\\\" end of encodings", man_encodings()},
      {"man/recodia.1", ".\\\" " + note, ".\\\" end of switches", man_list()},
      {"completion/recodia", "# " + note, "# end of switches", completion_list()},
      {"cmake/Packaging.cmake", "# " + encodings, "# end of encodings", package_description()},
  };
  int status = 0;
  for (const Document& d : documents) {
    const std::string path = root + "/" + d.path;
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    in.close();
    std::string updated = with_list(text.str(), d);
    if (!updated.empty() && std::string_view(d.path) == "man/recodia.1") updated = with_version(updated);
    if (updated.empty()) {
      std::fprintf(stderr, "%s: the marker lines are missing (%s)\n", path.c_str(), d.begin.c_str());
      status = 1;
    } else if (updated != text.str()) {
      if (check) {
        std::fprintf(stderr, "%s: its list differs from the program's tables; run: cmake --build build --target docs\n",
                     path.c_str());
        status = 1;
      } else {
        std::ofstream(path, std::ios::binary) << updated;
      }
    }
  }
  return status;
}
