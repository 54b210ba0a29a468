// What both test binaries share: the test data, bytes shown as hex, glibc's
// iconv(3) as an independent reference, and the engine run in-process the way
// a run of the program feeds it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "convert/settings.hpp"
#include "convert/stream_converter.hpp"

namespace recodia::test {

using Bytes = std::string;  // raw bytes, any value

Bytes read_file(const std::string& path);
Bytes data_file(const std::string& name);  // under tests/data
// The lines of a data file split at `separator`, without blank lines and
// comments ("# " first).
std::vector<std::vector<std::string>> data_rows(const std::string& name, char separator = '\t');

// A field of a data file as bytes, written as tests/data/README.md says.
Bytes field_bytes(std::string field);

Bytes replace_all(Bytes text, std::string_view from, std::string_view to);
// The words of a text, as white space separates them.
std::vector<std::string> words(const std::string& text);
// `text` over and over, until at least `size` bytes long.
Bytes repeated(const Bytes& text, std::size_t size);

// The standard output of a shell command; nothing when it fails.
std::optional<std::string> command_output(const std::string& command);

std::string hex(std::string_view bytes);  // "C3 A9"
Bytes unhex(std::string_view digits);     // "c3a9" or "C3 A9"
// On a difference: its position and the bytes around it.
testing::AssertionResult same_bytes(std::string_view expected, std::string_view actual);

// Bytes converted by glibc's iconv(3); throws where it cannot convert them.
Bytes iconv_convert(const char* from, const char* to, std::string_view input);
// UTF-8 as characters, by iconv.
std::u32string characters(std::string_view utf8);

// The settings that the program makes of these switches.
ConversionSettings resolved(const std::vector<std::string>& switches);

// `input` through the stream converter, handed over in pieces of the sizes
// given, in turn (all at once when none are given).
struct Conversion {
  Bytes out;
  std::uint64_t replaced = 0;
};
Conversion convert_in_pieces(const ConversionSettings& settings, std::string_view input,
                             std::span<const std::size_t> pieces = {}, ConversionPath path = ConversionPath::table,
                             kernels::Kernel kernel = kernels::chosen());

}  // namespace recodia::test
