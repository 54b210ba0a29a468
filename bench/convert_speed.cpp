// How fast the conversion itself runs, without the files: the stream
// converter on its table path through each kernel that the processor runs,
// and on its reference path, on a file held in memory, converted in the
// run's 128 KiB blocks, each from the cache as a read leaves it.
//
//   recodia_convert_speed FILE [SWITCH...]
//
// Prints MB/s (10^6 bytes of input) of each path, from the processor time of
// the best of several passes (so that other work on the machine counts as
// little as it can), and checks that they wrote the same number of bytes.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <span>
#include <string_view>
#include <vector>

#include "cli/options.hpp"
#include "convert/stream_converter.hpp"

namespace {

using recodia::ConversionPath;
using recodia::ConversionSettings;

// Processor time of this thread, in seconds.
double thread_seconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

constexpr std::size_t kBlock = 128 * 1024;

struct Result {
  double seconds = 0;
  std::uint64_t bytes = 0;
  std::uint64_t sum = 0;  // keeps the work from being optimised away
};

// Each block is first copied into a buffer of its own, untimed, as a read
// from the file leaves it in the cache; then only its conversion is timed.
// `convert` returns the output of a block.
template <class Convert>
Result time_blocks(const std::vector<std::uint8_t>& input, Convert convert) {
  std::vector<std::uint8_t> block(kBlock);
  Result r;
  for (std::size_t at = 0; at < input.size(); at += kBlock) {
    const std::size_t n = std::min(kBlock, input.size() - at);
    std::memcpy(block.data(), input.data() + at, n);
    const double start = thread_seconds();
    const std::span<const std::uint8_t> written = convert(std::span<const std::uint8_t>(block.data(), n));
    r.seconds += thread_seconds() - start;
    r.bytes += written.size();
    for (std::size_t i = 0; i < written.size(); i += 64) r.sum += written[i];  // touch the output lightly
  }
  return r;
}

template <class Make>
Result best_of(int passes, const std::vector<std::uint8_t>& input, Make make) {
  Result best;
  for (int pass = 0; pass < passes; ++pass) {
    const Result r = make(input);
    if (pass == 0 || r.seconds < best.seconds) best = r;
  }
  return best;
}

Result through_stream(const std::vector<std::uint8_t>& input, const ConversionSettings& s, ConversionPath path,
                      recodia::kernels::Kernel kernel = recodia::kernels::chosen()) {
  recodia::StreamConverter converter(s, path, recodia::StreamMode::convert, kernel);
  Result r = time_blocks(input, [&](std::span<const std::uint8_t> block) { return converter.convert(block); });
  r.bytes += converter.finish().size();
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE [SWITCH...]\n", argv[0]);
    return 2;
  }
  // The first 32 MB are plenty, and keep the reference's pass short.
  constexpr std::size_t kLimit = 32 * 1000 * 1000;
  std::ifstream file(argv[1], std::ios::binary);
  std::vector<std::uint8_t> input(kLimit);
  file.read(reinterpret_cast<char*>(input.data()), static_cast<std::streamsize>(input.size()));
  input.resize(static_cast<std::size_t>(file.gcount()));
  if (input.empty()) {
    std::fprintf(stderr, "cannot read %s\n", argv[1]);
    return 2;
  }
  const std::vector<std::string_view> switches(argv + 2, argv + argc);
  ConversionSettings settings;
  recodia::CommandLine command_line;
  recodia::parse_arguments(switches, settings, command_line);
  recodia::resolve_settings(settings, command_line);

  const double mb = static_cast<double>(input.size()) / 1e6;
  const Result reference = best_of(1, input, [&](const auto& in) {
    return through_stream(in, settings, ConversionPath::reference);
  });
  for (const recodia::kernels::Kernel kernel : recodia::kernels::available()) {
    const Result table = best_of(9, input, [&](const auto& in) {
      return through_stream(in, settings, ConversionPath::table, kernel);
    });
    const std::string_view name = recodia::kernels::name_of(kernel);
    std::printf("%-10.*s %9.0f MB/s\n", static_cast<int>(name.size()), name.data(), mb / table.seconds);
    if (table.bytes != reference.bytes) {
      std::fprintf(stderr, "output sizes differ: %.*s %llu, reference %llu\n", static_cast<int>(name.size()),
                   name.data(), static_cast<unsigned long long>(table.bytes),
                   static_cast<unsigned long long>(reference.bytes));
      return 1;
    }
  }
  std::printf("%-10s %9.0f MB/s\n", "reference", mb / reference.seconds);
  return 0;
}
