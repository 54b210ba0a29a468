#include <string_view>
#include <vector>

#include "cli/run.hpp"
#include "platform/native.hpp"

int main(int argc, char** argv) {
  recodia::platform::prepare_process();
  std::vector<std::string_view> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  return recodia::run_program(arguments, recodia::platform::native_file_system(),
                              recodia::platform::native_console());
}
