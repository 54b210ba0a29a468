#include "cli/quoting.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace recodia {
namespace {

// The length of the well-formed UTF-8 sequence at the start of `s`, or 0.
std::size_t sequence_length(std::string_view s) {
  const auto b = static_cast<std::uint8_t>(s[0]);
  const std::size_t length = b < 0x80 ? 1 : b >= 0xC2 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xF0 && b <= 0xF4 ? 4 : 0;
  if (length == 0 || length > s.size()) return 0;
  for (std::size_t i = 1; i < length; ++i)
    if ((static_cast<std::uint8_t>(s[i]) & 0xC0) != 0x80) return 0;
  return length;
}

// How many bytes at the start of `s` form a control character (0 for none).
std::size_t control_length(std::string_view s) {
  const auto b = static_cast<std::uint8_t>(s[0]);
  if (b < 0x20 || b == 0x7F) return 1;
  const std::size_t length = sequence_length(s);
  if (length == 2 && b == 0xC2 && static_cast<std::uint8_t>(s[1]) < 0xA0) return 2;  // U+0080..U+009F
  return length == 0 && b < 0xA0 ? 1 : 0;
}

void append_escaped(std::string& out, std::uint8_t b) {
  static constexpr std::string_view kNamed[] = {"\\a", "\\b", "\\t", "\\n", "\\v", "\\f", "\\r"};
  if (b >= 0x07 && b <= 0x0D) {
    out += kNamed[b - 0x07];
    return;
  }
  out += '\\';
  for (const int shift : {6, 3, 0}) out += static_cast<char>('0' + ((b >> shift) & 7));
}

}  // namespace

std::string shown_name(std::string_view name, bool quoted) {
  bool has_control = false;
  for (std::size_t i = 0; i < name.size() && !has_control; i += std::max<std::size_t>(1, sequence_length(name.substr(i))))
    has_control = control_length(name.substr(i)) > 0;
  if (!has_control && !quoted) return std::string(name);
  if (!has_control) {
    std::string out(1, '\'');
    out.append(name).push_back('\'');
    return out;
  }
  std::string out;
  bool in_plain = false, in_escaped = false;
  if (control_length(name) > 0) out += "''";  // as ls begins such a name
  for (std::size_t i = 0; i < name.size();) {
    const std::size_t control = control_length(name.substr(i));
    if (control > 0) {
      if (in_plain) out += '\'', in_plain = false;
      if (!in_escaped) out += "$'", in_escaped = true;
      for (std::size_t k = 0; k < control; ++k) append_escaped(out, static_cast<std::uint8_t>(name[i + k]));
      i += control;
      continue;
    }
    if (in_escaped) out += '\'', in_escaped = false;
    if (!in_plain) out += '\'', in_plain = true;
    const std::size_t length = std::max<std::size_t>(1, sequence_length(name.substr(i)));
    if (name[i] == '\'') out += "'\\''";
    else out.append(name.substr(i, length));
    i += length;
  }
  if (in_plain || in_escaped) out += '\'';
  return out;
}

}  // namespace recodia
