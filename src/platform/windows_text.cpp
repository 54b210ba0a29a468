#include "platform/windows_text.hpp"

#include "convert/utf8.hpp"

namespace recodia::platform {
namespace {

bool is_high_surrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool is_low_surrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

void append_utf16(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out += static_cast<char16_t>(c);
  } else {
    c -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (c >> 10));
    out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
  }
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
    encode_utf8(c, [&out](std::uint8_t b) { out += static_cast<char>(b); });
  }
  return out;
}

std::u16string utf8_to_utf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  Utf8Decoder decoder(Utf8Decoder::Surrogates::accepted);
  const auto put = [&out](char32_t c) { append_utf16(out, c); };
  for (const char b : text) decoder.put(static_cast<std::uint8_t>(b), put);
  decoder.finish(put);
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
