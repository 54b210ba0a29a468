#include "support.hpp"

#include <iconv.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include "cli/options.hpp"

namespace recodia::test {

Bytes read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

Bytes data_file(const std::string& name) { return read_file(RECODIA_SOURCE_DIR "/tests/data/" + name); }

std::vector<std::vector<std::string>> data_rows(const std::string& name, char separator) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream lines(data_file(name));
  for (std::string line; std::getline(lines, line);) {
    if (line.empty() || line == "#" || line.starts_with("# ")) continue;
    std::vector<std::string>& row = rows.emplace_back();
    std::istringstream fields(line);
    for (std::string field; std::getline(fields, field, separator);)
      if (separator == '\t' || !field.empty()) row.push_back(field);
    if (separator == '\t' && line.back() == '\t') row.emplace_back();
  }
  return rows;
}

Bytes replace_all(Bytes s, std::string_view from, std::string_view to) {
  for (std::size_t at = s.find(from); !from.empty() && at != Bytes::npos; at = s.find(from, at + to.size())) s.replace(at, from.size(), to);
  return s;
}

std::vector<std::string> words(const std::string& text) {
  std::istringstream in(text);
  return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

Bytes repeated(const Bytes& text, std::size_t size) {
  Bytes out;
  while (out.size() < size) out += text;
  return out;
}

Bytes field_bytes(std::string field) {
  std::string charset;
  bool crlf = false;
  if (const std::size_t colon = field.find(':'); colon != std::string::npos && colon > 2) {
    std::string head = field.substr(0, colon);
    crlf = head.ends_with(",crlf");
    if (crlf) head.resize(head.size() - 5);
    if (head.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789->") != std::string::npos) {
      crlf = false;
    } else if (const std::size_t arrow = head.find('>'); arrow != std::string::npos) {
      return iconv_convert(head.substr(0, arrow).c_str(), head.substr(arrow + 1).c_str(), field_bytes(field.substr(colon + 1)));
    } else {
      charset = head, field.erase(0, colon + 1);
    }
  }
  Bytes out, text;
  const auto flush = [&] {
    if (crlf) text = replace_all(text, "\n", "\r\n");
    out += charset.empty() || text.empty() ? text : iconv_convert("UTF-8", charset.c_str(), text);
    text.clear();
  };
  if (field.starts_with("@")) {
    const std::vector<std::string> parts = words(field.substr(1));  // the file, then the replacements
    text = data_file(parts.at(0));
    for (std::size_t i = 1; i < parts.size(); ++i) {
      const std::size_t equals = parts[i].find('=', 1);
      text = replace_all(text, parts[i].substr(0, equals), parts[i].substr(equals + 1));
    }
    field.clear();
  }
  for (std::size_t i = 0; i < field.size(); ++i) {
    const char kind = field[i] == '\\' && i + 1 < field.size() ? field[++i] : 0;
    if (kind == 'x') {
      flush();
      out += unhex(field.substr(i + 1, 2));
      i += 2;
    } else if (kind == 'u') {
      const auto c = static_cast<char32_t>(std::stoul(field.substr(i + 1, 4), nullptr, 16));
      text += iconv_convert("UTF-32LE", "UTF-8", std::string{char(c & 0xFF), char(c >> 8), 0, 0});
      i += 4;
    } else {
      text += kind == 0 ? field[i] : kind == 't' ? '\t' : kind == 'r' ? '\r' : kind == 'n' ? '\n' : kind;
    }
  }
  flush();
  return out;
}

std::optional<std::string> command_output(const std::string& command) {
  FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return std::nullopt;
  std::string out;
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
  return ::pclose(pipe) == 0 ? std::optional(out) : std::nullopt;
}

std::string hex(std::string_view bytes) {
  std::string s;
  char buf[4];
  for (unsigned char c : bytes) s.append(buf, static_cast<std::size_t>(std::snprintf(buf, sizeof buf, "%02X ", c)));
  if (!s.empty()) s.pop_back();
  return s;
}

Bytes unhex(std::string_view digits) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < digits.size(); ++i) {
    if (digits[i] == ' ') continue;
    out += static_cast<char>(std::stoi(std::string(digits.substr(i++, 2)), nullptr, 16));
  }
  return out;
}

testing::AssertionResult same_bytes(std::string_view expected, std::string_view actual) {
  if (expected == actual) return testing::AssertionSuccess();
  const auto i = static_cast<std::size_t>(std::ranges::mismatch(expected, actual).in1 - expected.begin());
  const std::size_t from = i < 8 ? 0 : i - 8;
  return testing::AssertionFailure() << "expected " << expected.size() << " bytes, got " << actual.size()
                                     << "; first difference at " << i << ": expected ..."
                                     << hex(expected.substr(std::min(from, expected.size()), 24)) << "... got ..."
                                     << hex(actual.substr(std::min(from, actual.size()), 24)) << "...";
}

Bytes iconv_convert(const char* from, const char* to, std::string_view input) {
  const iconv_t cd = ::iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error(std::string("iconv knows no ") + from);
  Bytes out(input.size() * 8 + 16, '\0');
  char* in_at = const_cast<char*>(input.data());
  char* out_at = out.data();
  std::size_t in_left = input.size(), out_left = out.size();
  const std::size_t r = ::iconv(cd, &in_at, &in_left, &out_at, &out_left);
  ::iconv_close(cd);
  if (r == static_cast<std::size_t>(-1)) throw std::runtime_error(std::string("iconv cannot convert from ") + from);
  out.resize(out.size() - out_left);
  return out;
}

std::u32string characters(std::string_view utf8) {
  const Bytes utf32 = iconv_convert("UTF-8", "UTF-32LE", utf8);
  std::u32string out;
  const auto byte = [&](std::size_t i) { return static_cast<char32_t>(static_cast<unsigned char>(utf32[i])); };
  for (std::size_t i = 0; i + 3 < utf32.size(); i += 4) out += byte(i) | byte(i + 1) << 8 | byte(i + 2) << 16;
  return out;
}

ConversionSettings resolved(const std::vector<std::string>& switches) {
  ConversionSettings settings;
  CommandLine command_line;
  const std::vector<std::string_view> views(switches.begin(), switches.end());
  parse_arguments(views, settings, command_line);
  resolve_settings(settings, command_line);
  return settings;
}

Conversion convert_in_pieces(const ConversionSettings& settings, std::string_view input,
                             std::span<const std::size_t> pieces, ConversionPath path, kernels::Kernel kernel) {
  StreamConverter converter(settings, path, StreamMode::convert, kernel);
  Conversion run;
  const auto take = [&](std::span<const std::uint8_t> bytes) { run.out.append(bytes.begin(), bytes.end()); };
  const auto* data = reinterpret_cast<const std::uint8_t*>(input.data());
  for (std::size_t at = 0, k = 0; at < input.size(); ++k) {
    const std::size_t piece = pieces.empty() ? input.size() : std::max<std::size_t>(pieces[k % pieces.size()], 1);
    const std::size_t n = std::min(piece, input.size() - at);
    take(converter.convert({data + at, n}));
    at += n;
  }
  take(converter.finish());
  run.replaced = converter.replaced();
  return run;
}

}  // namespace recodia::test
