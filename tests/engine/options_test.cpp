// The command line on its own (tests/data/options.txt).
#include "cli/options.hpp"
#include "convert/registry.hpp"
#include "support.hpp"

namespace recodia::test {
namespace {

TEST(Options, NamesErrorsAndSettledSettings) {
  const char* const lines[] = {"LF", "CR LF", "kept"};
  for (const auto& row : data_rows("options.txt")) {
    const std::vector<std::string> arguments = words(row[0]);
    const std::vector<std::string_view> views(arguments.begin(), arguments.end());
    ConversionSettings s;
    CommandLine command_line;
    const auto error = parse_arguments(views, s, command_line);
    resolve_settings(s, command_line);
    std::string names;
    for (const std::string& name : command_line.file_names) names += (names.empty() ? "" : " ") + name;
    EXPECT_EQ(names.empty() ? "-" : names, row[1]) << row[0];
    EXPECT_EQ(!error ? "-" : error->kind == ArgumentError::Kind::unknown_switch ? error->argument + ": " + error->suggestion
                                                                               : std::to_string(error->count), row[2]) << row[0];
    EXPECT_EQ(std::string(encoding(s.source).name) + " to " + std::string(encoding(s.target).name) + ", " +
                  lines[static_cast<int>(s.line_style)] + (s.strings_allowed ? "" : ", -nstr") +
                  (s.double_quote_byte == '"' ? "" : ", `") + (command_line.source_choice == SourceChoice::detected ? ", detected" : "") +
                  (s.smart_quotes ? "" : ", straight"),
              row[3]) << row[0];
  }
}

}  // namespace
}  // namespace recodia::test
