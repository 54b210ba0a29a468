// What a user installs besides the program: the manual page, the bash
// completion and the README's switch list, held against the program's own
// switch table, and the install rules and the Debian package run for real.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "cli/options.hpp"
#include "test_support.hpp"

namespace recodia::test {
namespace {

namespace fs = std::filesystem;
using namespace std::string_view_literals;

const fs::path kSourceDir = RECODIA_SOURCE_DIR;
const fs::path kManPage = kSourceDir / "man" / "recodia.1";
const fs::path kCompletion = kSourceDir / "completion" / "recodia";
const fs::path kReadme = kSourceDir / "README.md";

// ---------------------------------------------------------------------------
// Running other programs

struct Command {
  int exit_code = -1;
  Bytes out;
  Bytes err;
};

Bytes drain(int fd) {
  Bytes all;
  std::array<char, 65536> buffer;
  for (;;) {
    const ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    all.append(buffer.data(), static_cast<std::size_t>(n));
  }
  ::close(fd);
  return all;
}

// Runs argv[0] (looked up in PATH when it has no slash) in `directory`, with
// standard input from /dev/null and `environment` added to the environment.
Command run(const std::vector<std::string>& arguments, const fs::path& directory,
            const std::vector<std::pair<std::string, std::string>>& environment = {}) {
  int out_pipe[2];
  int err_pipe[2];
  if (::pipe(out_pipe) != 0) throw std::runtime_error("pipe failed");
  if (::pipe(err_pipe) != 0) throw std::runtime_error("pipe failed");
  std::vector<std::string> copies = arguments;
  std::vector<char*> argv;
  for (auto& a : copies) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    if (::chdir(directory.c_str()) != 0) ::_exit(126);
    for (const auto& [name, value] : environment) ::setenv(name.c_str(), value.c_str(), 1);
    const int null_in = ::open("/dev/null", O_RDONLY);
    ::dup2(null_in, STDIN_FILENO);
    ::dup2(out_pipe[1], STDOUT_FILENO);
    ::dup2(err_pipe[1], STDERR_FILENO);
    ::close(out_pipe[0]);
    ::close(err_pipe[0]);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(out_pipe[1]);
  ::close(err_pipe[1]);
  Command result;
  std::thread err_reader([&] { result.err = drain(err_pipe[0]); });
  result.out = drain(out_pipe[0]);
  err_reader.join();
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::optional<fs::path> find_program(std::string_view name) {
  const char* path = std::getenv("PATH");
  if (path == nullptr) return std::nullopt;
  std::stringstream folders(path);
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    if (folder.empty()) continue;
    const fs::path candidate = fs::path(folder) / name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return std::nullopt;
}

// The build tree that holds the program under test, found by its cache.
fs::path build_directory() {
  for (fs::path p = fs::path(RECODIA_BINARY).parent_path(); !p.empty(); p = p.parent_path()) {
    if (fs::exists(p / "CMakeCache.txt")) return p;
    if (p == p.root_path()) break;
  }
  throw std::runtime_error("no CMakeCache.txt above " RECODIA_BINARY);
}

// A value from the build's CMake cache ("" when absent).
std::string cache_value(std::string_view key) {
  std::ifstream cache(build_directory() / "CMakeCache.txt");
  std::string line;
  while (std::getline(cache, line)) {
    if (line.starts_with(key) && line.size() > key.size() && line[key.size()] == ':') {
      const std::size_t equals = line.find('=');
      if (equals != std::string::npos) return line.substr(equals + 1);
    }
  }
  return "";
}

// The version that the program itself prints in its banner.
std::string banner_version() {
  TempDir dir;
  const RunResult r = run_recodia({"only-one-name"}, dir.path());
  std::smatch m;
  const std::regex version(R"( Recodia version ([0-9][0-9.]*);)");
  if (!std::regex_search(r.out, m, version)) throw std::runtime_error("no version in the banner: " + r.out);
  return m[1];
}

std::string file_text(const fs::path& p) { return read_file(p); }

// The switch texts of the program's table, as a sorted list (duplicates kept).
std::vector<std::string> program_switches() {
  std::vector<std::string> all(kSwitchTexts.begin(), kSwitchTexts.end());
  std::sort(all.begin(), all.end());
  return all;
}

// Fails with the texts that one list has and the other lacks, and with any
// text listed twice.
void expect_same_switches(std::vector<std::string> listed, const std::string& where) {
  std::sort(listed.begin(), listed.end());
  const std::vector<std::string> expected = program_switches();
  std::vector<std::string> missing, extra;
  std::set_difference(expected.begin(), expected.end(), listed.begin(), listed.end(), std::back_inserter(missing));
  std::set_difference(listed.begin(), listed.end(), expected.begin(), expected.end(), std::back_inserter(extra));
  auto join = [](const std::vector<std::string>& v) {
    std::string s;
    for (const auto& t : v) s += " " + t;
    return s;
  };
  EXPECT_TRUE(missing.empty()) << where << " lacks:" << join(missing);
  EXPECT_TRUE(extra.empty()) << where << " has texts that are no switch (or twice):" << join(extra);
  EXPECT_EQ(listed.size(), expected.size()) << where;
}

// ---------------------------------------------------------------------------
// The manual page

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::stringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

// Roff source text as it reads: font changes dropped, the escapes this page
// uses turned into their characters.
std::string plain_roff(std::string s) {
  static const std::vector<std::pair<std::string, std::string>> kEscapes = {
      {"\\fB", ""}, {"\\fI", ""}, {"\\fR", ""}, {"\\fP", ""}, {"\\-", "-"},  {"\\~", " "},
      {"\\(dq", "\""}, {"\\(aq", "'"}, {"\\(ga", "`"}, {"\\|", ""}, {"\\e", "\\"},
  };
  for (const auto& [escape, text] : kEscapes) {
    for (std::size_t at = s.find(escape); at != std::string::npos; at = s.find(escape, at + text.size()))
      s.replace(at, escape.size(), text);
  }
  return s;
}

// The section name of a ".SH" or ".SS" line, without quotes.
std::string heading(const std::string& line) {
  std::string name = line.substr(4);
  if (name.size() >= 2 && name.front() == '"' && name.back() == '"') name = name.substr(1, name.size() - 2);
  return name;
}

// The lines of one ".SH" section.
std::vector<std::string> man_section(const std::string& name) {
  std::vector<std::string> section;
  bool inside = false;
  for (const std::string& line : lines_of(file_text(kManPage))) {
    if (line.starts_with(".SH ")) {
      inside = heading(line) == name;
      continue;
    }
    if (inside) section.push_back(line);
  }
  return section;
}

// One ".TP" entry of the OPTIONS section.
struct ManOption {
  std::string group;                  // the ".SS" it stands under
  std::vector<std::string> switches;  // the tag, split at ", "
  std::string description;            // the paragraph, as plain text
};

std::vector<ManOption> man_options() {
  std::vector<ManOption> options;
  std::string group;
  bool tag_next = false;
  for (const std::string& line : man_section("OPTIONS")) {
    if (line.starts_with(".SS ")) {
      group = heading(line);
      tag_next = false;
      continue;
    }
    if (line == ".TP") {
      tag_next = true;
      continue;
    }
    if (tag_next) {
      ManOption option{group, {}, ""};
      std::string tag = plain_roff(line);
      for (std::size_t start = 0;;) {
        const std::size_t comma = tag.find(", ", start);
        option.switches.push_back(tag.substr(start, comma - start));
        if (comma == std::string::npos) break;
        start = comma + 2;
      }
      options.push_back(option);
      tag_next = false;
      continue;
    }
    if (!options.empty() && options.back().group == group) {
      std::string text = line.starts_with(".") ? line.substr(line.find(' ') == std::string::npos ? line.size()
                                                                                                  : line.find(' ') + 1)
                                               : line;
      options.back().description += plain_roff(text) + " ";
    }
  }
  return options;
}

TEST(PackagingManPage, ListsEverySwitchOfTheProgramOnce) {
  std::vector<std::string> listed;
  for (const ManOption& option : man_options())
    for (const std::string& s : option.switches) listed.push_back(s);
  expect_same_switches(listed, "the manual page's OPTIONS");
}

struct Parsed {
  ConversionSettings settings;
  CommandLine command_line;
};

Parsed parse(const std::vector<std::string>& arguments) {
  std::vector<std::string_view> views(arguments.begin(), arguments.end());
  Parsed p;
  parse_arguments(views, p.settings, p.command_line);
  return p;
}

// What a switch sets, seen from two different starting points so that a
// switch that sets the value already there is caught too.
std::optional<EncodingId> source_set_by(const std::string& s) {
  const Parsed a = parse({"-kx", s});
  const Parsed b = parse({"-macroman", s});
  if (a.settings.source == kKx && b.settings.source == kMacRoman) return std::nullopt;
  EXPECT_EQ(a.settings.source, b.settings.source) << s;
  return a.settings.source;
}

std::optional<EncodingId> target_set_by(const std::string& s) {
  const Parsed a = parse({"-tokx", s});
  const Parsed b = parse({"-tomacroman", s});
  if (a.settings.target == kKx && b.settings.target == kMacRoman) return std::nullopt;
  EXPECT_EQ(a.settings.target, b.settings.target) << s;
  return a.settings.target;
}

// The target line style a switch leaves, or nothing when it keeps the one
// before it.
std::optional<LineStyle> target_line_style_set_by(const std::string& s) {
  const Parsed a = parse({"-tokx", s});        // CR LF before
  const Parsed b = parse({"-tomacroman", s});  // LF before
  if (a.command_line.target_line_style == LineStyle::crlf && b.command_line.target_line_style == LineStyle::lf)
    return std::nullopt;
  return a.command_line.target_line_style;
}

std::string style_name(std::optional<LineStyle> style) {
  if (!style) return "unchanged";
  switch (*style) {
    case LineStyle::lf: return "LF";
    case LineStyle::crlf: return "CR LF";
    case LineStyle::keep: return "kept";
    case LineStyle::automatic: return "automatic";
  }
  return "?";
}

// The groups of the OPTIONS section say what each switch does: every source
// entry sets one source encoding of its own, every target entry one target
// encoding with the line ends it names, and the other switches touch neither.
TEST(PackagingManPage, GroupsAndLineEndsMatchWhatTheSwitchesDo) {
  std::map<std::string, int> switches_in_group;
  std::set<EncodingId> sources_seen, targets_seen;
  const std::regex line_ends(R"(Line ends: (CR LF|LF|unchanged))");
  for (const ManOption& option : man_options()) {
    SCOPED_TRACE(option.group + ": " + option.switches.front());
    switches_in_group[option.group] += static_cast<int>(option.switches.size());
    if (option.group == "Source encodings") {
      const std::optional<EncodingId> id = source_set_by(option.switches.front());
      ASSERT_TRUE(id) << "sets no source encoding";
      EXPECT_TRUE(sources_seen.insert(*id).second) << "a second entry for source " << *id;
      for (const std::string& s : option.switches) {
        EXPECT_EQ(source_set_by(s), id) << s << " is listed with " << option.switches.front();
        EXPECT_FALSE(target_set_by(s)) << s;
      }
    } else if (option.group == "Target encodings") {
      const std::optional<EncodingId> id = target_set_by(option.switches.front());
      ASSERT_TRUE(id) << "sets no target encoding";
      EXPECT_TRUE(targets_seen.insert(*id).second) << "a second entry for target " << *id;
      std::smatch m;
      ASSERT_TRUE(std::regex_search(option.description, m, line_ends)) << "no line ends in: " << option.description;
      const std::optional<LineStyle> documented =
          m[1] == "CR LF" ? std::optional(LineStyle::crlf)
                          : m[1] == "LF" ? std::optional(LineStyle::lf) : std::nullopt;
      for (const std::string& s : option.switches) {
        EXPECT_EQ(target_set_by(s), id) << s << " is listed with " << option.switches.front();
        EXPECT_FALSE(source_set_by(s)) << s;
        EXPECT_EQ(style_name(target_line_style_set_by(s)), style_name(documented)) << s;
      }
    } else if (option.group == "Other switches") {
      for (const std::string& s : option.switches) {
        EXPECT_FALSE(source_set_by(s)) << s;
        EXPECT_FALSE(target_set_by(s)) << s;
      }
    } else {
      ADD_FAILURE() << "a switch entry outside the three groups";
    }
  }
  EXPECT_EQ(switches_in_group["Source encodings"], 28);
  EXPECT_EQ(switches_in_group["Target encodings"], 30);
  EXPECT_EQ(switches_in_group["Other switches"], 18);
  EXPECT_EQ(sources_seen.size(), 20u);  // every encoding but transliteration
  EXPECT_EQ(targets_seen.size(), 21u);
}

TEST(PackagingManPage, HasTheSectionsAndTheProgramsVersion) {
  const std::string page = file_text(kManPage);
  for (const char* name :
       {"NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "EXIT STATUS", "FILES", "EXAMPLES"}) {
    EXPECT_FALSE(man_section(name).empty()) << "no section " << name;
  }
  std::smatch m;
  ASSERT_TRUE(std::regex_search(page, m, std::regex(R"re(\n\.TH RECODIA 1 "[^"]*" "Recodia ([0-9.]+)")re")));
  EXPECT_EQ(m[1], banner_version());
  std::string files;
  for (const std::string& line : man_section("FILES")) files += plain_roff(line) + "\n";
  EXPECT_NE(files.find(".$$$"), std::string::npos) << "the temporary file is not named";
}

void expect_groff_clean(const std::vector<std::string>& extra) {
  std::vector<std::string> command = {"groff", "-ww", "-man", "-z"};
  command.insert(command.end(), extra.begin(), extra.end());
  command.push_back(kManPage.string());
  const Command r = run(command, kSourceDir);
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.err, "") << "groff warns";
}

TEST(PackagingManPage, FormatsWithoutWarnings) {
  if (!find_program("groff")) GTEST_SKIP() << "groff is not installed, so the page cannot be checked";
  expect_groff_clean({});
  expect_groff_clean({"-Tutf8"});  // the device that man(1) uses on a terminal
}

// Every example of the manual page, run on a file in its source encoding.
// The expected bytes come from glibc's iconv where it knows both encodings,
// and are written out here where it does not.
struct ExampleCase {
  std::vector<std::string> arguments;  // as in the manual page
  Bytes input;
  Bytes expected;
};

Bytes with_crlf(std::string_view lf_text) {
  Bytes out;
  for (char c : lf_text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

std::vector<ExampleCase> example_cases() {
  const Bytes russian = "Съешь же ещё этих мягких французских булок,\nда выпей чаю. ЁЖ\n";
  const Bytes turkish = "Çağrı İğne şöyle: Şu ığdır ÖÜÇ\n";
  return {
      {{"-w", "-tokoi8", "letter.txt", "letter.koi"},
       iconv_convert("UTF-8", "CP1251", with_crlf(russian)),
       iconv_convert("UTF-8", "KOI8-R", russian)},
      {{"-koi8", "-towin", "mail.txt", "mail.txt"},
       iconv_convert("UTF-8", "KOI8-R", russian),
       iconv_convert("UTF-8", "CP1251", with_crlf(russian))},
      {{"-855", "-todos", "old.txt", "new.txt"},
       iconv_convert("UTF-8", "CP855", russian),
       iconv_convert("UTF-8", "CP866", with_crlf(russian))},
      {{"-w", "-totl", "-nqt", "names.txt", "names-latin.txt"},
       iconv_convert("UTF-8", "CP1251", "Щука, съезд, ЪЬ\n"),
       "Schuka, sqezd, QQ\n"},
      {{"-w", "-toiso", "-html", "page.txt", "page.html"},
       iconv_convert("UTF-8", "CP1251", "«Да» © 2014\n"),
       "&laquo;" + iconv_convert("UTF-8", "ISO-8859-5", "Да") + "&raquo; &copy; 2014\n"},
      {{"-ni", "-1254", "-to857", "-pdt", "turkish.txt", "turkish.dos"},
       iconv_convert("UTF-8", "CP1254", turkish),
       iconv_convert("UTF-8", "CP857", with_crlf(turkish))},
      {{"-noenc", "-lf", "dos.txt", "unix.txt"},
       Bytes("\x80\xff\x00 a\r\nb\r\r\n\x1a\xa9\r\n"sv),
       Bytes("\x80\xff\x00 a\nb\n\x1a\xa9\n"sv)},
  };
}

// The command lines of the EXAMPLES section.
std::vector<std::vector<std::string>> man_examples() {
  std::vector<std::vector<std::string>> examples;
  for (const std::string& line : man_section("EXAMPLES")) {
    const std::string text = plain_roff(line);
    if (!text.starts_with("recodia ")) continue;
    std::vector<std::string> words;
    std::stringstream in(text.substr(8));
    for (std::string w; in >> w;) words.push_back(w);
    examples.push_back(words);
  }
  return examples;
}

time_t mtime_of(const fs::path& p) {
  struct stat st {};
  if (::stat(p.c_str(), &st) != 0) throw std::runtime_error("stat " + p.string());
  return st.st_mtime;
}

TEST(PackagingManPage, ExamplesConvertAsDescribed) {
  const std::vector<std::vector<std::string>> examples = man_examples();
  EXPECT_GE(examples.size(), 5u);
  const std::vector<ExampleCase> cases = example_cases();
  for (const auto& example : examples) {
    std::string shown;
    for (const auto& w : example) shown += " " + w;
    SCOPED_TRACE("recodia" + shown);
    const auto it = std::find_if(cases.begin(), cases.end(),
                                 [&](const ExampleCase& c) { return c.arguments == example; });
    ASSERT_TRUE(it != cases.end()) << "an example that this test has no expectation for";

    std::vector<std::string> names;
    for (const auto& w : example)
      if (find_switch(w) < 0) names.push_back(w);
    ASSERT_EQ(names.size(), 2u) << "a word that is no switch becomes a file name";

    TempDir dir;
    write_file(dir / names[0], it->input);
    // An even second a day ago, which a DOS time stamp holds exactly.
    const time_t stamp = (std::time(nullptr) - 86400) / 2 * 2;
    const struct timespec times[2] = {{stamp, 0}, {stamp, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (dir / names[0]).c_str(), times, 0), 0);

    const RunResult r = run_recodia(example, dir.path());
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(hex(read_file(dir / names[1])), hex(it->expected));
    const bool ni = std::find(example.begin(), example.end(), "-ni") != example.end();
    EXPECT_EQ(r.out.find("Recodia version") == std::string::npos, ni) << r.out;
    if (std::find(example.begin(), example.end(), "-pdt") != example.end()) {
      EXPECT_EQ(mtime_of(dir / names[1]), stamp);
    }
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(dir.path())) left.push_back(entry.path().filename());
    std::sort(left.begin(), left.end());
    std::vector<std::string> expected_files = names;
    std::sort(expected_files.begin(), expected_files.end());
    expected_files.erase(std::unique(expected_files.begin(), expected_files.end()), expected_files.end());
    EXPECT_EQ(left, expected_files) << "files left beside the two";
  }
}

// ---------------------------------------------------------------------------
// The README

TEST(PackagingReadme, SwitchesSectionListsEverySwitchOnce) {
  std::vector<std::string> listed;
  bool inside = false;
  const std::regex code("`([^`]*)`");
  for (const std::string& line : lines_of(file_text(kReadme))) {
    if (line.starts_with("## ")) {
      inside = line == "## Switches";
      continue;
    }
    if (!inside || !line.starts_with("|")) continue;
    const std::size_t end = line.find('|', 1);
    const std::string first = line.substr(1, end == std::string::npos ? std::string::npos : end - 1);
    for (auto m = std::sregex_iterator(first.begin(), first.end(), code); m != std::sregex_iterator(); ++m)
      listed.push_back((*m)[1]);
  }
  ASSERT_FALSE(listed.empty()) << "no \"## Switches\" tables in README.md";
  expect_same_switches(listed, "README.md's Switches section");
}

// ---------------------------------------------------------------------------
// The bash completion

// Calls the completion function that the file registers for recodia, the way
// bash does, with the words of a command line whose last word is being
// completed; returns what it offers.
std::vector<std::string> complete(const std::vector<std::string>& words, const fs::path& directory) {
  static const std::string kScript = R"(
source "$1" || exit 3
shift
registered=$(complete -p recodia) || exit 4
function=${registered##*-F }
function=${function%% *}
COMP_WORDS=("$@")
COMP_CWORD=$(($# - 1))
COMP_LINE="$*"
COMP_POINT=${#COMP_LINE}
COMPREPLY=()
"$function" recodia "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
printf '%s\0' "${#COMPREPLY[@]}" "${COMPREPLY[@]}"
)";
  std::vector<std::string> command = {"bash", "--norc", "--noprofile", "-c", kScript, "bash", kCompletion.string()};
  command.insert(command.end(), words.begin(), words.end());
  const Command r = run(command, directory);
  if (r.exit_code != 0) throw std::runtime_error("bash failed: " + r.err);
  std::vector<std::string> fields;
  for (std::size_t start = 0; start < r.out.size();) {
    const std::size_t nul = r.out.find('\0', start);
    fields.push_back(r.out.substr(start, nul - start));
    start = nul + 1;
  }
  if (fields.empty() || std::stoul(fields.front()) != fields.size() - 1)
    throw std::runtime_error("unexpected completion output");
  fields.erase(fields.begin());
  return fields;
}

TEST(PackagingCompletion, ADashOffersEverySwitchOfTheProgram) {
  if (!find_program("bash")) GTEST_SKIP() << "bash is not installed";
  TempDir dir;
  write_file(dir / "-x", "");  // what "-?" would match as a pattern
  const std::vector<std::string> offered = complete({"recodia", "-"}, dir.path());
  expect_same_switches(offered, "the completion after \"-\"");
}

std::set<std::string> switches_starting(std::string_view prefix) {
  std::set<std::string> s;
  for (std::string_view t : kSwitchTexts)
    if (t.starts_with(prefix)) s.emplace(t);
  return s;
}

TEST(PackagingCompletion, DashWordsGiveSwitchesOtherWordsFileNames) {
  if (!find_program("bash")) GTEST_SKIP() << "bash is not installed";
  TempDir dir;
  for (const char* name : {"report.txt", "report old.txt", "-KOI8.txt", "-x", "*"}) write_file(dir / name, "");
  fs::create_directory(dir / "reports");
  write_file(dir / "reports" / "a.txt", "");
  const std::set<std::string> all_files = {"report.txt", "report old.txt", "-KOI8.txt", "-x", "*", "reports"};

  struct Case {
    std::vector<std::string> words;
    std::set<std::string> expected;
  };
  const std::vector<Case> cases = {
      {{"recodia", "-to"}, switches_starting("-to")},
      {{"recodia", "-w", "-to"}, switches_starting("-to")},
      {{"recodia", "-tokoi8", "in.txt", "-toko"}, switches_starting("-toko")},
      {{"recodia", "-iso8859_1"}, {"-iso8859_1", "-iso8859_15"}},
      {{"recodia", "-?"}, {"-?"}},                 // not globbed to "-x"
      {{"recodia", "-KOI"}, {"-KOI8.txt"}},        // capitals are no switch
      {{"recodia", "-x"}, {"-x"}},                 // nor is a dash word no switch begins with
      {{"recodia", "rep"}, {"report.txt", "report old.txt", "reports"}},
      {{"recodia", "-w", "report "}, {"report old.txt"}},
      {{"recodia", "-w", ""}, all_files},          // "*" is a name, not a pattern
      {{"recodia", "-w", "in.txt", "reports/"}, {"reports/a.txt"}},
      {{"recodia", "nothing-like-this"}, {}},
  };
  for (const Case& c : cases) {
    std::string shown;
    for (const auto& w : c.words) shown += " [" + w + "]";
    const std::vector<std::string> offered = complete(c.words, dir.path());
    EXPECT_EQ(std::set<std::string>(offered.begin(), offered.end()), c.expected) << shown;
  }
}

TEST(PackagingCompletion, TheSlashHelpSwitchIsOfferedBesideFileNames) {
  if (!find_program("bash")) GTEST_SKIP() << "bash is not installed";
  TempDir dir;
  const std::vector<std::string> offered = complete({"recodia", "/?"}, dir.path());
  EXPECT_NE(std::find(offered.begin(), offered.end(), "/?"), offered.end());
  const std::vector<std::string> under = complete({"recodia", dir.path().string() + "/"}, dir.path());
  EXPECT_TRUE(under.empty()) << under.front();
}

// ---------------------------------------------------------------------------
// Install rules and the Debian package

// `cmake --install` records what it installed in the build tree's
// install_manifest.txt. A test install must not leave its record there in
// place of the user's own, so the file is put back as it was; installs by
// these tests take turns, holding a lock on the build directory.
class InstallRecordGuard {
 public:
  InstallRecordGuard() : manifest_(build_directory() / "install_manifest.txt") {
    lock_ = ::open(build_directory().c_str(), O_RDONLY | O_DIRECTORY);
    if (lock_ >= 0) {
      while (::flock(lock_, LOCK_EX) != 0 && errno == EINTR) {
      }
    }
    if (fs::exists(manifest_)) saved_ = read_file(manifest_);
  }
  ~InstallRecordGuard() {
    try {
      if (saved_) {
        write_file(manifest_, *saved_);
      } else {
        std::error_code ignored;
        fs::remove(manifest_, ignored);
      }
    } catch (...) {
    }
    if (lock_ >= 0) ::close(lock_);  // releases the lock
  }
  InstallRecordGuard(const InstallRecordGuard&) = delete;
  InstallRecordGuard& operator=(const InstallRecordGuard&) = delete;

 private:
  fs::path manifest_;
  std::optional<Bytes> saved_;
  int lock_ = -1;
};

// A Windows 1251 file converted to KOI8-R by `program`, against glibc's iconv.
void expect_program_converts(const fs::path& program) {
  TempDir dir;
  const Bytes text = "Съешь же ещё этих мягких французских булок, да выпей чаю. ЁЖ\n";
  write_file(dir / "in.txt", iconv_convert("UTF-8", "CP1251", text));
  const Command r = run({program.string(), "-ni", "-w", "-tokoi8", "in.txt", "out.txt"}, dir.path());
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "Wait...\n Done.\n");
  EXPECT_EQ(hex(read_file(dir / "out.txt")), hex(iconv_convert("UTF-8", "KOI8-R", text)));
}

const char* const kInstalledFiles[] = {"bin/recodia", "share/man/man1/recodia.1",
                                       "share/bash-completion/completions/recodia"};

TEST(PackagingInstall, IntoAPrefixGivesAWorkingProgramWithPageAndCompletion) {
  const std::string cmake = cache_value("CMAKE_COMMAND");
  ASSERT_FALSE(cmake.empty());
  TempDir prefix;
  const InstallRecordGuard guard;
  const Command r = run({cmake, "--install", build_directory().string(), "--prefix", prefix.path().string()},
                        prefix.path());
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;

  std::vector<std::string> installed;
  for (const auto& entry : fs::recursive_directory_iterator(prefix.path()))
    if (!entry.is_directory()) installed.push_back(fs::relative(entry.path(), prefix.path()));
  std::sort(installed.begin(), installed.end());
  std::vector<std::string> expected(std::begin(kInstalledFiles), std::end(kInstalledFiles));
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(installed, expected);

  EXPECT_EQ(read_file(prefix / "share/man/man1/recodia.1"), file_text(kManPage));
  EXPECT_EQ(read_file(prefix / "share/bash-completion/completions/recodia"), file_text(kCompletion));
  EXPECT_EQ(::access((prefix / "bin/recodia").c_str(), X_OK), 0);
  expect_program_converts(prefix / "bin/recodia");
}

// The package is made by cpack from the build's CPack configuration. So that
// a test run never rebuilds the tree (as cpack's own install step would), the
// files are installed with DESTDIR first and handed to cpack ready-made.
TEST(PackagingInstall, DebianPackageHoldsTheProgramPageAndCompletion) {
  if (!find_program("dpkg-deb")) GTEST_SKIP() << "dpkg-deb is not installed, so no Debian package is built";
  const std::string cmake = cache_value("CMAKE_COMMAND");
  const std::string cpack = cache_value("CMAKE_CPACK_COMMAND");
  ASSERT_FALSE(cmake.empty());
  ASSERT_FALSE(cpack.empty());
  const fs::path build = build_directory();
  ASSERT_TRUE(fs::exists(build / "CPackConfig.cmake"));

  TempDir work;
  const fs::path stage = work / "stage";
  std::ofstream(work / "config.cmake") << "include(\"" << (build / "CPackConfig.cmake").string() << "\")\n"
                                       << "set(ENV{DESTDIR} \"" << stage.string() << "\")\n"
                                       << "execute_process(COMMAND \"" << cmake << "\" --install \""
                                       << build.string() << "\" --prefix \"${CPACK_PACKAGING_INSTALL_PREFIX}\"\n"
                                       << "  RESULT_VARIABLE installed OUTPUT_QUIET)\n"
                                       << "unset(ENV{DESTDIR})\n"
                                       << "if(NOT installed EQUAL 0)\n"
                                       << "  message(FATAL_ERROR \"install failed: ${installed}\")\n"
                                       << "endif()\n"
                                       << "set(CPACK_INSTALL_CMAKE_PROJECTS \"\")\n"
                                       << "set(CPACK_INSTALLED_DIRECTORIES \"" << stage.string() << ";.\")\n";
  const InstallRecordGuard guard;
  const Command made =
      run({cpack, "-G", "DEB", "--config", (work / "config.cmake").string(), "-B", (work / "out").string()},
          work.path());
  ASSERT_EQ(made.exit_code, 0) << made.out << made.err;

  std::vector<fs::path> packages;
  for (const auto& entry : fs::directory_iterator(work / "out"))
    if (entry.path().extension() == ".deb") packages.push_back(entry.path());
  ASSERT_EQ(packages.size(), 1u);
  const std::string deb = packages.front().string();

  auto field = [&](const char* name) {
    const Command r = run({"dpkg-deb", "--field", deb, name}, work.path());
    EXPECT_EQ(r.exit_code, 0) << r.err;
    std::string value = r.out;
    while (!value.empty() && value.back() == '\n') value.pop_back();
    return value;
  };
  EXPECT_EQ(field("Package"), "recodia");
  EXPECT_EQ(field("Version"), banner_version());
  EXPECT_NE(field("Depends").find("libc6"), std::string::npos);
  EXPECT_FALSE(field("Maintainer").empty());
  if (find_program("dpkg")) {
    Command arch = run({"dpkg", "--print-architecture"}, work.path());
    EXPECT_EQ(field("Architecture") + "\n", arch.out);
  }

  const fs::path unpacked = work / "unpacked";
  const Command x = run({"dpkg-deb", "-x", deb, unpacked.string()}, work.path());
  ASSERT_EQ(x.exit_code, 0) << x.err;
  std::vector<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(unpacked))
    if (!entry.is_directory()) files.push_back(fs::relative(entry.path(), unpacked));
  std::sort(files.begin(), files.end());
  std::vector<std::string> expected;
  for (const char* f : kInstalledFiles) expected.push_back(std::string("usr/") + f);
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(files, expected);
  EXPECT_EQ(read_file(unpacked / "usr/share/man/man1/recodia.1"), file_text(kManPage));
  EXPECT_EQ(read_file(unpacked / "usr/share/bash-completion/completions/recodia"), file_text(kCompletion));
  expect_program_converts(unpacked / "usr/bin/recodia");
}

}  // namespace
}  // namespace recodia::test
