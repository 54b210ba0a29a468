#include "platform/paths.hpp"

namespace recodia::platform {

std::string directory_of(std::string_view path, PathStyle style) {
  const std::string_view separators = style == PathStyle::windows ? "/\\" : "/";
  std::size_t end = path.find_last_of(separators);
  end = end == std::string_view::npos ? 0 : end + 1;
  // "C:name" is "name" in the current folder of drive C.
  if (style == PathStyle::windows && end == 0 && path.size() >= 2 && path[1] == ':') end = 2;
  return std::string(path.substr(0, end));
}

}  // namespace recodia::platform
