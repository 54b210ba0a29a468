#include "cli/options.hpp"

#include <algorithm>
#include <cstddef>

#include "convert/registry.hpp"

namespace recodia {
namespace {

// An encoding switch: what it selects comes from the registry, by its text.
consteval Switch encoding_switch(std::string_view text) {
  for (const Encoding& e : kEncodings) {
    if (has_switch(e.source_switches, text)) return {text, Effect::source, e.id, SwitchGroup::source, e.description};
    if (has_switch(e.target_switches, text)) return {text, Effect::target, e.id, SwitchGroup::target, e.description};
  }
  throw "a switch that no encoding of the registry has";
}

constexpr Switch line_switch(std::string_view text, LineStyle style, std::string_view description) {
  return {text, Effect::line_style, static_cast<int>(style), SwitchGroup::line_ends, description};
}

using G = SwitchGroup;

constexpr Switch kSwitches[] = {
    {"/?", Effect::help, 0, G::messages, "print the short help (a file is still converted)"},
    {"-?", Effect::help, 0, G::messages, "print the short help (a file is still converted)"},
    encoding_switch("-w"),
    {"-ni", Effect::no_version, 0, G::messages, "do not print the version banner"},
    encoding_switch("-todos"),
    encoding_switch("-u"),
    encoding_switch("-koi8"),
    {"-nec", Effect::nothing, 0, G::other, "accepted and ignored"},
    {"-32", Effect::no_special_symbols, 0, G::characters,
     "do not read DOS 866's control-range glyphs as signs, nor write signs as those glyphs (& $ . - instead)"},
    {"-nstr", Effect::no_strings, 0, G::characters,
     "write one byte for a character that the target lacks, never a string (c instead of (C))"},
    {"-src", Effect::source_text, 0, G::characters,
     "source text: leave quotes straight, grave accent for typographic double quotes"},
    {"-en", Effect::english, 0, G::messages, "English messages (the default)"},
    encoding_switch("-855"),
    encoding_switch("-mac"),
    encoding_switch("-iso"),
    encoding_switch("-win"),
    encoding_switch("-koi8r"),
    encoding_switch("-tow"),
    encoding_switch("-to866"),
    encoding_switch("-towin"),
    encoding_switch("-tokoi8"),
    encoding_switch("-tokoi8r"),
    encoding_switch("-tou"),
    encoding_switch("-to855"),
    encoding_switch("-tomac"),
    encoding_switch("-toiso"),
    encoding_switch("-kx"),
    encoding_switch("-dos"),
    encoding_switch("-866"),
    encoding_switch("-tokx"),
    {"-nta", Effect::no_smart_quotes, 0, G::characters, "leave straight quotation marks straight"},
    encoding_switch("-tokoi7"),
    encoding_switch("-koi7"),
    encoding_switch("-iso8859_5"),
    encoding_switch("-toiso8859_5"),
    encoding_switch("-translit"),
    encoding_switch("-totl"),
    {"-nqt", Effect::no_quote_signs, 0, G::characters, "with transliteration: hard and soft signs as Q and q"},
    {"-rus", Effect::russian, 0, G::messages, "Russian messages"},
    encoding_switch("-koi8u"),
    encoding_switch("-tokoi8u"),
    encoding_switch("-macu"),
    encoding_switch("-mac_u"),
    encoding_switch("-tomacu"),
    encoding_switch("-tomac_u"),
    encoding_switch("-iso_ir_111"),
    encoding_switch("-isoir111"),
    encoding_switch("-toiso_ir_111"),
    encoding_switch("-toisoir111"),
    encoding_switch("-1251"),
    encoding_switch("-to1251"),
    encoding_switch("-857"),
    encoding_switch("-to857"),
    encoding_switch("-1254"),
    encoding_switch("-to1254"),
    encoding_switch("-iso8859_9"),
    encoding_switch("-toiso8859_9"),
    encoding_switch("-macturk"),
    encoding_switch("-tomacturk"),
    line_switch("-lf", LineStyle::lf, "write LF line ends, whatever the target"),
    line_switch("-crlf", LineStyle::crlf, "write CR LF line ends, whatever the target"),
    {"-noenc", Effect::no_encoding, 0, G::characters, "copy the bytes without converting them; only line ends change"},
    encoding_switch("-850"),
    encoding_switch("-1252"),
    encoding_switch("-iso8859_1"),
    encoding_switch("-iso8859_15"),
    encoding_switch("-macroman"),
    encoding_switch("-to850"),
    encoding_switch("-to1252"),
    encoding_switch("-toiso8859_1"),
    encoding_switch("-toiso8859_15"),
    encoding_switch("-tomacroman"),
    line_switch("-noaltlf", LineStyle::keep, "keep the line ends as they are"),
    {"-html", Effect::html, 0, G::characters, "HTML entities for characters the target lacks (implies -src)"},
    {"-dhcs", Effect::no_html_entities, 0, G::characters, "with -html: no entities, the other effects of -html stay"},
    {"-pdt", Effect::preserve_time, 0, G::other,
     "give the output the input's modification time, rounded down to an even second (as DOS keeps it)"},
    {"-i", Effect::in_place, 0, G::other, "convert every file named in place, any number of them"},
    {"--help", Effect::full_help, 0, G::messages, "print this reference and exit"},
    {"--version", Effect::version, 0, G::messages, "print the program's name and version and exit"},
    encoding_switch("-utf8"),
    encoding_switch("-toutf8"),
    {"-auto", Effect::detect_source, 0, G::source,
     "detect the source encoding (UTF-8 or any source above) from the text, and name it on standard error"},
    {"-detect", Effect::detect_only, 0, G::other,
     "convert nothing: print each file's source switch and encoding (a.txt: -koi8 KOI8-R), or ascii"},
    {"-force", Effect::force, 0, G::other,
     "in place: convert even a file that does not read as the source named or detected"},
    {"-bak", Effect::keep_backup, 0, G::other, "in place: keep the original beside the converted file as NAME.bak"},
    {"-h", Effect::full_help, 0, G::messages, "print this reference and exit"},
    {"-q", Effect::quiet, 0, G::messages, "quiet: print errors only (no banner, no wait or done message, no warning)"},
    {"-ta", Effect::smart_quotes, 0, G::characters,
     "turn straight quotation marks into typographic ones (the default, but not into UTF-8 or UTF-16, nor with -auto)"},
    encoding_switch("-utf16"),
    encoding_switch("-utf16be"),
    encoding_switch("-utf32"),
    encoding_switch("-utf32be"),
    encoding_switch("-toutf16"),
    encoding_switch("-toutf16be"),
    {"-fix", Effect::repair, 0, G::characters,
     "repair text that was decoded wrongly (mojibake: UTF-8 read as Windows 1251, and the like), line by line, "
     "where the language model is sure"},
};

// Every switch of the registry is in the table once, and no text twice.
consteval bool switches_complete() {
  std::size_t encoding_switches = 0;
  for (const Encoding& e : kEncodings)
    for (const SwitchNames* names : {&e.source_switches, &e.target_switches})
      for (std::string_view n : *names) encoding_switches += !n.empty();
  std::size_t in_table = 0;
  for (std::size_t i = 0; i < std::size(kSwitches); ++i) {
    in_table += kSwitches[i].effect == Effect::source || kSwitches[i].effect == Effect::target;
    for (std::size_t j = 0; j < i; ++j)
      if (kSwitches[i].text == kSwitches[j].text) return false;
  }
  return in_table == encoding_switches;
}
static_assert(switches_complete());

void apply_switch(const Switch& e, ConversionSettings& s, CommandLine& cl) {
  switch (e.effect) {
    case Effect::help: cl.help_requested = true; break;
    case Effect::no_version: cl.show_version = false; break;
    case Effect::english: cl.language = Language::english; break;
    case Effect::russian: cl.language = Language::russian; break;
    case Effect::line_style: cl.line_switch = static_cast<LineStyle>(e.value); break;
    case Effect::no_encoding: s.no_encoding = true; break;
    case Effect::no_special_symbols: s.special_symbols = false; break;
    case Effect::no_strings: s.strings_allowed = false; break;
    case Effect::no_smart_quotes:
    case Effect::smart_quotes:
      s.smart_quotes = e.effect == Effect::smart_quotes;
      cl.quotes_chosen = true;
      break;
    case Effect::quiet: cl.quiet = true; break;
    case Effect::repair: cl.repair = true; break;
    case Effect::source_text: s.source_text = true; break;
    case Effect::html:
      s.source_text = true;
      s.html = true;
      s.smart_quotes = false;
      break;
    case Effect::no_quote_signs: s.no_quote_signs = true; break;
    case Effect::no_html_entities: s.no_html_entities = true; break;
    case Effect::preserve_time: cl.preserve_time = true; break;
    case Effect::nothing: break;
    case Effect::in_place: cl.in_place = true; break;
    case Effect::full_help: cl.full_help = true; break;
    case Effect::version: cl.version = true; break;
    case Effect::source:
      s.source = static_cast<EncodingId>(e.value);
      cl.source_choice = SourceChoice::named;
      break;
    case Effect::detect_source: cl.source_choice = SourceChoice::detected; break;
    case Effect::detect_only: cl.detect_only = true; break;
    case Effect::force: cl.force = true; break;
    case Effect::keep_backup: cl.keep_backup = true; break;
    case Effect::target: {
      s.target = static_cast<EncodingId>(e.value);
      // The transliteration switches leave the line style as it was.
      if (const auto style = encoding(s.target).target_line_style) cl.target_line_style = *style;
      break;
    }
  }
}

}  // namespace

std::span<const Switch> switch_table() { return kSwitches; }

int find_switch(std::string_view argument) {
  for (std::size_t i = 0; i < std::size(kSwitches); ++i)
    if (kSwitches[i].text == argument) return static_cast<int>(i);
  return -1;
}

std::optional<ArgumentError> parse_arguments(std::span<const std::string_view> arguments,
                                             ConversionSettings& settings, CommandLine& command_line) {
  std::optional<ArgumentError> error;
  bool switches_ended = false;
  for (std::string_view argument : arguments) {
    const int index = switches_ended ? -1 : find_switch(argument);
    if (index >= 0) {
      apply_switch(kSwitches[static_cast<std::size_t>(index)], settings, command_line);
    } else if (!switches_ended && argument == "--") {
      switches_ended = true;
    } else if (!switches_ended && argument.size() > 1 && argument[0] == '-') {
      if (!error) error = ArgumentError{ArgumentError::Kind::unknown_switch, std::string(argument),
                                        std::string(nearest_switch(argument))};
    } else {
      command_line.file_names.emplace_back(argument);
    }
  }
  const std::size_t names = command_line.file_names.size();
  if (!error && names > 2 && !command_line.in_place && !command_line.detect_only)
    error = ArgumentError{ArgumentError::Kind::too_many_names, {}, {}, names};
  return error;
}

namespace {

// Edits that turn one text into the other, letter case ignored.
std::size_t edit_distance(std::string_view a, std::string_view b) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j < row.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t substitute = diagonal + (lower(a[i - 1]) != lower(b[j - 1]));
      diagonal = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, substitute});
    }
  }
  return row.back();
}

}  // namespace

std::string_view nearest_switch(std::string_view text) {
  std::string_view best;
  std::size_t best_distance = std::max<std::size_t>(2, text.size() / 3) + 1;  // anything further is no hint
  for (const Switch& s : kSwitches) {
    const std::size_t d = edit_distance(text, s.text);
    if (d < best_distance) best = s.text, best_distance = d;  // the first of equals, in table order
  }
  return best;
}

void resolve_settings(ConversionSettings& settings, const CommandLine& command_line) {
  if (settings.source_text) settings.double_quote_byte = '`';
  settings.line_style = command_line.line_switch.value_or(command_line.target_line_style);
  if (settings.target == kTransliteration) settings.strings_allowed = true;
  // Into UTF-8 and UTF-16, and from a source that nobody named, text comes out
  // as it went in (JSON, CSV and code keep their quotes); the code-page targets
  // keep their typographic quotes, which their users rely on.
  if (!command_line.quotes_chosen &&
      (encoding(settings.target).script == Script::unicode || command_line.source_choice == SourceChoice::detected))
    settings.smart_quotes = false;
}

}  // namespace recodia
