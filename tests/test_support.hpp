// Helpers for tests that run the real program on real files.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace recodia::test {

using Bytes = std::string;  // raw bytes, any value

// A fresh folder under the system's temporary folder, removed with everything
// in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

Bytes read_file(const std::filesystem::path& p);
void write_file(const std::filesystem::path& p, std::string_view bytes);

struct RunResult {
  int exit_code = -1;
  Bytes out;  // standard output
  Bytes err;  // standard error
};

// Runs the built program with these arguments in `working_directory`, with
// standard input from /dev/null. Arguments are passed unchanged (no shell).
RunResult run_recodia(const std::vector<std::string>& arguments,
                      const std::filesystem::path& working_directory);

// Converts `input` with the given switches through the program (files in a
// temporary folder) and returns the output file's bytes; "-ni" is added.
Bytes convert(const std::vector<std::string>& switches, std::string_view input);

// Bytes converted by glibc's iconv(3) from one charset to another; throws when
// iconv cannot convert them.
Bytes iconv_convert(const char* from, const char* to, std::string_view input);

// Shows bytes as hex for failure messages.
std::string hex(std::string_view bytes);

}  // namespace recodia::test
