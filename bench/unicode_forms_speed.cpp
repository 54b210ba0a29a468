// How fast UTF-16 and UTF-32 are read, and UTF-8 written as UTF-16, without
// the files: the fast path with each kernel this processor runs, and the
// plain path, on a file held in memory, converted in the run's 128 KiB blocks.
//
//   recodia_unicode_forms_speed FILE SWITCH...     e.g. ru.u16 -utf16 -toutf8 -noaltlf
//
// Prints MB/s (10^6 bytes of input) of each, from the processor time of the
// best of several passes, and checks that all wrote the same bytes.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <optional>
#include <string_view>
#include <vector>

#include "cli/options.hpp"
#include "convert/unicode_text.hpp"

namespace {

using recodia::ConversionPath;
using recodia::UnicodeText;
namespace kernel = recodia::utf16_kernel;

double thread_seconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

constexpr std::size_t kBlock = 128 * 1024;

struct Result {
  double seconds = 1e9;
  std::uint64_t hash = 0;  // of the output, to compare the paths
};

Result best_of(int passes, const std::vector<std::uint8_t>& input, const recodia::ConversionSettings& s, ConversionPath path,
               std::optional<kernel::Level> level) {
  Result best;
  std::vector<std::uint8_t> out(UnicodeText::capacity_for(kBlock));
  for (int pass = 0; pass < passes; ++pass) {
    UnicodeText text(s, path, level);
    Result r{0, 14695981039346656037u};
    const auto take = [&](std::size_t n) {
      for (std::size_t i = 0; i < n; ++i) r.hash = (r.hash ^ out[i]) * 1099511628211u;
    };
    for (std::size_t at = 0; at < input.size(); at += kBlock) {
      const std::size_t n = std::min(kBlock, input.size() - at);
      const double start = thread_seconds();
      const std::size_t written = text.convert({input.data() + at, n}, out.data());
      r.seconds += thread_seconds() - start;
      take(written);
    }
    take(text.finish(out.data()));
    if (r.seconds < best.seconds) best = r;
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s FILE SWITCH...\n", argv[0]);
    return 2;
  }
  std::ifstream file(argv[1], std::ios::binary);
  const std::vector<std::uint8_t> input{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  const std::vector<std::string_view> switches(argv + 2, argv + argc);
  recodia::ConversionSettings settings;
  recodia::CommandLine command_line;
  recodia::parse_arguments(switches, settings, command_line);
  recodia::resolve_settings(settings, command_line);
  if (input.empty() || !UnicodeText::serves(settings)) {
    std::fprintf(stderr, "no input, or these switches read no UTF-16 or UTF-32 and write no UTF-16\n");
    return 2;
  }
  const double mb = static_cast<double>(input.size()) / 1e6;
  const Result plain = best_of(1, input, settings, ConversionPath::reference, std::nullopt);
  const char* const names[] = {"portable", "avx2"};
  int status = 0;
  for (const kernel::Level level : kernel::available()) {
    const Result fast = best_of(7, input, settings, ConversionPath::table, level);
    std::printf("%-10s %9.0f MB/s\n", names[static_cast<int>(level)], mb / fast.seconds);
    if (fast.hash != plain.hash) {
      std::fprintf(stderr, "%s wrote other bytes than the plain path\n", names[static_cast<int>(level)]);
      status = 1;
    }
  }
  std::printf("%-10s %9.0f MB/s\n", "plain", mb / plain.seconds);
  return status;
}
