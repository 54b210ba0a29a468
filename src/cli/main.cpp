#include <string>
#include <string_view>
#include <vector>

#include "cli/run.hpp"
#include "platform/native.hpp"

namespace {

int run(const std::vector<std::string_view>& arguments) {
  recodia::platform::prepare_process();
  const int code = recodia::run_program(arguments, recodia::platform::native_file_system(),
                                        recodia::platform::native_console());
  if (code == recodia::kClosedPipeExitCode) recodia::platform::end_as_closed_pipe();
  return code;
}

}  // namespace

#ifdef _WIN32
#include "platform/windows_text.hpp"

// Windows hands the arguments over in UTF-16; the program takes them as UTF-8,
// so that every name, Cyrillic ones too, comes through whatever the code page.
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> utf8;
  for (int i = 1; i < argc; ++i) utf8.push_back(recodia::platform::to_utf8(argv[i]));
  return run(std::vector<std::string_view>(utf8.begin(), utf8.end()));
}
#else
int main(int argc, char** argv) { return run(std::vector<std::string_view>(argv + (argc > 0 ? 1 : 0), argv + argc)); }
#endif
