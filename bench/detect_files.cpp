// The encoding detector on files, for the detection benchmark: prints one line
// per file, `FILE: ANSWER MARGIN`, where ANSWER is "ascii", "utf8" or the
// registry's name of the encoding. With --time, times the detection of each
// file instead: the call as a caller makes it (the start of the file, at most
// the sample size) and a call on every sample-sized piece of the file in turn.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "convert/detect.hpp"
#include "convert/registry.hpp"

namespace {

std::vector<std::uint8_t> read_file(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string_view answer(const recodia::Detection& d) {
  switch (d.kind) {
    case recodia::TextKind::ascii: return "ascii";
    case recodia::TextKind::utf8: return "utf8";
    case recodia::TextKind::single_byte:
    case recodia::TextKind::utf16_or_32: break;
  }
  return recodia::encoding(d.encoding).name;
}

// The median of `rounds` timings of `f`, in microseconds.
template <class F>
double median_us(int rounds, F f) {
  std::vector<double> t;
  for (int i = 0; i < rounds; ++i) {
    auto start = std::chrono::steady_clock::now();
    f();
    t.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
  }
  std::nth_element(t.begin(), t.begin() + rounds / 2, t.end());
  return t[static_cast<std::size_t>(rounds / 2)];
}

int time_files(int argc, char** argv) {
  volatile int sink = 0;
  for (int i = 2; i < argc; ++i) {
    const std::vector<std::uint8_t> data = read_file(argv[i]);
    const std::span<const std::uint8_t> all(data);
    const double first = median_us(21, [&] { sink = sink + recodia::detect_encoding(all).margin_bits; });
    const double every = median_us(11, [&] {
      for (std::size_t at = 0; at < all.size(); at += recodia::kDetectionSampleSize)
        sink = sink + recodia::detect_encoding(all.subspan(at)).margin_bits;
    });
    std::printf("%s: %zu bytes, start %.0f us, every byte %.0f us\n", argv[i], data.size(), first, every);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string_view(argv[1]) == "--time") return time_files(argc, argv);
  for (int i = 1; i < argc; ++i) {
    const std::vector<std::uint8_t> data = read_file(argv[i]);
    const recodia::Detection d = recodia::detect_encoding(data);
    std::printf("%s: %.*s %d\n", argv[i], static_cast<int>(answer(d).size()), answer(d).data(), d.margin_bits);
  }
  return 0;
}
