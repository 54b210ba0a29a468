#include <string_view>
#include <vector>

#include "cli/run.hpp"

int main(int argc, char** argv) {
  recodia::platform::claim_standard_streams();
  std::vector<std::string_view> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  return recodia::run_program(arguments, recodia::platform::posix_file_system(), recodia::platform::posix_console());
}
