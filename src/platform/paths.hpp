// Splitting a path into its folder and its last name, by the rules of either
// system, so that each can be tested on any.
#pragma once

#include <string>
#include <string_view>

namespace recodia::platform {

enum class PathStyle {
  posix,    // '/' separates
  windows,  // '/' and '\' separate; "C:" begins a path on drive C
};

#ifdef _WIN32
inline constexpr PathStyle kNativePathStyle = PathStyle::windows;
#else
inline constexpr PathStyle kNativePathStyle = PathStyle::posix;
#endif

// The folder part of a path with its last separator, "" when it has none:
// "a/b" gives "a/"; on Windows "C:b" gives "C:" and "C:\\b" gives "C:\\".
std::string directory_of(std::string_view path, PathStyle style = kNativePathStyle);

}  // namespace recodia::platform
