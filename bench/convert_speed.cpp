// How fast the conversion itself runs, without the files: the table's wide
// loop, its byte-wise loop and the byte-at-a-time reference, on a file held in
// memory, converted in the run's 128 KiB blocks, each from the cache as a read
// leaves it.
//
//   recodia_convert_speed FILE [SWITCH...]
//
// Prints MB/s (10^6 bytes) of each path, from the processor time of the best of
// several passes (so that other work on the machine counts as little as it
// can), and checks that all three wrote the same number of bytes.
#include <algorithm>
#include <ctime>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "convert/byte_processor.hpp"
#include "convert/outcome_table.hpp"
#include "cli/options.hpp"

namespace {

using recodia::OutcomeTable;

// Processor time of this thread, in seconds.
double thread_seconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

constexpr std::size_t kBlock = 128 * 1024;

struct CountingSink {
  std::uint64_t bytes = 0;
  std::uint64_t sum = 0;  // keeps the work from being optimised away
  void put(std::span<const std::uint8_t> out) {
    for (const std::uint8_t b : out) {
      ++bytes;
      sum += b;
    }
  }
};

struct Result {
  double seconds = 0;
  std::uint64_t bytes = 0;
  std::uint64_t sum = 0;
};

// Each block is first copied into a buffer of its own, untimed, as a read
// from the file leaves it in the cache; then only its conversion is timed.
template <class Convert>
Result time_table(const std::vector<std::uint8_t>& input, const OutcomeTable& table, Convert convert) {
  std::vector<std::uint8_t> block(kBlock);
  std::vector<std::uint8_t> output(table.capacity_for(kBlock));
  Result r;
  bool opening = true;
  for (std::size_t at = 0; at < input.size(); at += kBlock) {
    const std::size_t n = std::min(kBlock, input.size() - at);
    std::memcpy(block.data(), input.data() + at, n);
    const double start = thread_seconds();
    const std::size_t written = convert(block.data(), n, output.data(), opening);
    r.seconds += thread_seconds() - start;
    r.bytes += written;
    for (std::size_t i = 0; i < written; i += 64) r.sum += output[i];  // touch the output lightly
  }
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
  recodia::ConversionSettings settings;
  recodia::CommandLine command_line;
  recodia::parse_arguments(switches, settings, command_line);
  recodia::resolve_settings(settings, command_line);
  const std::optional<OutcomeTable> table = OutcomeTable::build(settings);
  if (!table) {
    std::fprintf(stderr, "no table for these switches: the run takes the reference path\n");
    return 1;
  }

  const double mb = static_cast<double>(input.size()) / 1e6;
  const auto best_of = [&](auto convert) {
    Result best;
    for (int pass = 0; pass < 9; ++pass) {
      const Result r = time_table(input, *table, convert);
      if (pass == 0 || r.seconds < best.seconds) best = r;
    }
    return best;
  };
  const Result wide = best_of([&](const std::uint8_t* in, std::size_t n, std::uint8_t* out, bool& opening) {
    return table->convert(in, n, out, opening);
  });
  const Result bytewise = best_of([&](const std::uint8_t* in, std::size_t n, std::uint8_t* out, bool& opening) {
    return table->convert_bytewise(in, n, out, opening);
  });

  recodia::ByteProcessor processor(settings);
  CountingSink sink;
  const double start = thread_seconds();
  for (const std::uint8_t b : input) processor.process_byte(b, sink);
  const double reference_seconds = thread_seconds() - start;

  std::printf("%-10s %9.0f MB/s\n", "table", mb / wide.seconds);
  std::printf("%-10s %9.0f MB/s\n", "byte-wise", mb / bytewise.seconds);
  std::printf("%-10s %9.0f MB/s\n", "reference", mb / reference_seconds);
  if (wide.bytes != sink.bytes || bytewise.bytes != sink.bytes) {
    std::fprintf(stderr, "output sizes differ: %llu, %llu, reference %llu\n",
                 static_cast<unsigned long long>(wide.bytes), static_cast<unsigned long long>(bytewise.bytes),
                 static_cast<unsigned long long>(sink.bytes));
    return 1;
  }
  return 0;
}
