// Text and names as Windows takes them: UTF-16, where the rest of the program
// works in UTF-8, and full paths past the old 260-character limit. Pure code,
// built and tested on every platform.
#pragma once

#include <string>
#include <string_view>

namespace recodia::platform {

// A surrogate without its partner, which Windows allows in file names, is
// written as the three bytes that UTF-8 would give its number (as WTF-8
// does), so that the name comes back unchanged from utf8_to_utf16.
std::string utf16_to_utf8(std::u16string_view text);

// The inverse of utf16_to_utf8. An ill-formed sequence becomes U+FFFD (one
// for each maximal subpart, as the engine reads UTF-8); it cannot come from
// utf16_to_utf8.
std::u16string utf8_to_utf16(std::string_view text);

// A full path (as GetFullPathNameW gives it) in the form that lifts the
// 260-character limit: "\\?\C:\..." or "\\?\UNC\server\share\...". Paths short
// enough for every call, and device names ("\\.\NUL"), are left as they are.
std::u16string long_path_form(std::u16string_view full_path);
// The other way, for a path that Windows gives in the extended form, so that
// messages show the usual name (long_path_form gives the system its form again).
std::u16string plain_path_form(std::u16string_view path);

#ifdef _WIN32
// The same conversions for the wide strings of the Windows API (UTF-16 there).
inline std::wstring to_wide(std::string_view utf8) {
  const std::u16string text = utf8_to_utf16(utf8);
  return std::wstring(text.begin(), text.end());
}
inline std::string to_utf8(std::wstring_view wide) { return utf16_to_utf8(std::u16string(wide.begin(), wide.end())); }
#endif

}  // namespace recodia::platform
