#include "platform/windows_text.hpp"

namespace recodia::platform {
namespace {

constexpr char32_t kReplacement = U'\uFFFD';

bool is_high_surrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool is_low_surrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

void append_utf8(std::string& out, char32_t c) {
  const auto byte = [&out](char32_t b) { out += static_cast<char>(b); };
  if (c < 0x80) {
    byte(c);
  } else if (c < 0x800) {
    byte(0xC0 | (c >> 6)), byte(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    byte(0xE0 | (c >> 12)), byte(0x80 | ((c >> 6) & 0x3F)), byte(0x80 | (c & 0x3F));
  } else {
    byte(0xF0 | (c >> 18)), byte(0x80 | ((c >> 12) & 0x3F)), byte(0x80 | ((c >> 6) & 0x3F)),
        byte(0x80 | (c & 0x3F));
  }
}

void append_utf16(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out += static_cast<char16_t>(c);
  } else {
    c -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (c >> 10));
    out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
  }
}

// One sequence at the start of `text`: its character and its length, or
// U+FFFD and 1 for a byte that starts none. Overlong forms and numbers past
// U+10FFFF are refused; surrogates are taken (see utf16_to_utf8).
std::pair<char32_t, std::size_t> decode_utf8(std::string_view text) {
  const auto at = [&text](std::size_t i) { return static_cast<char32_t>(static_cast<unsigned char>(text[i])); };
  const char32_t lead = at(0);
  if (lead < 0x80) return {lead, 1};
  const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
  if (length == 0 || text.size() < length) return {kReplacement, 1};
  char32_t c = lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if ((at(i) & 0xC0) != 0x80) return {kReplacement, 1};
    c = (c << 6) | (at(i) & 0x3F);
  }
  constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < kSmallest[length] || c > 0x10FFFF) return {kReplacement, 1};
  return {c, length};
}

}  // namespace

std::string utf16_to_utf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size() * 3);
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (is_high_surrogate(c) && i + 1 < text.size() && is_low_surrogate(text[i + 1])) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
    append_utf8(out, c);
  }
  return out;
}

std::u16string utf8_to_utf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  while (!text.empty()) {
    const auto [c, length] = decode_utf8(text);
    append_utf16(out, c);
    text.remove_prefix(length);
  }
  return out;
}

// Below this, even a folder's name (which must leave room for an 8.3 name in
// it) fits the old limit.
constexpr std::size_t kShortEnough = 248;

std::u16string long_path_form(std::u16string_view full_path) {
  if (full_path.size() < kShortEnough) return std::u16string(full_path);
  const bool drive = full_path.size() >= 3 && full_path[1] == u':' && full_path[2] == u'\\';
  if (drive) return std::u16string(u"\\\\?\\").append(full_path);
  // "\\server\share\...", but not "\\?\..." or "\\.\...", which are prefixed already.
  const bool share = full_path.starts_with(u"\\\\") && full_path.size() > 2 && full_path[2] != u'?' &&
                     full_path[2] != u'.';
  if (share) return std::u16string(u"\\\\?\\UNC").append(full_path.substr(1));
  return std::u16string(full_path);
}

std::u16string plain_path_form(std::u16string_view path) {
  if (path.starts_with(u"\\\\?\\UNC\\")) return std::u16string(u"\\").append(path.substr(7));
  if (path.starts_with(u"\\\\?\\") && path.size() >= 7 && path[5] == u':') return std::u16string(path.substr(4));
  return std::u16string(path);
}

}  // namespace recodia::platform
