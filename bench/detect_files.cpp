// The encoding detector on files, for the detection benchmark: prints one line
// per file, `FILE: ANSWER MARGIN SURE`, where ANSWER is "ascii", "utf8", "binary",
// "mixed" or the registry's name of the encoding, and SURE is "sure" or
// "unsure", from the survey of the whole
// file as "-detect" makes it. With --time, times the detection of each file
// instead: the call on the start of the file (at most the sample size), a
// call on every sample-sized piece of the file in turn, and the survey of the
// whole file (in MB/s, beside a plain copy of the same bytes timed in turn with it).
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
    case recodia::TextKind::binary: return "binary";
    case recodia::TextKind::mixed: return "mixed";
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
    // The survey and, as the reference taken in turn with it, a copy of the same bytes.
    std::vector<std::uint8_t> copy(data.size());
    std::vector<double> survey, reference;
    for (int round = 0; round < 11; ++round) {
      survey.push_back(median_us(1, [&] { sink = sink + static_cast<int>(recodia::survey_text(all).lines); }));
      reference.push_back(median_us(1, [&] {
        std::copy(data.begin(), data.end(), copy.begin());
        sink = sink + copy[copy.size() / 2];
      }));
    }
    std::nth_element(survey.begin(), survey.begin() + 5, survey.end());
    std::nth_element(reference.begin(), reference.begin() + 5, reference.end());
    std::printf("%s: %zu bytes, start %.0f us, every byte %.0f us, survey %.0f MB/s (copying it %.0f MB/s)\n", argv[i],
                data.size(), first, every, static_cast<double>(data.size()) / survey[5],
                static_cast<double>(data.size()) / reference[5]);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string_view(argv[1]) == "--time") return time_files(argc, argv);
  for (int i = 1; i < argc; ++i) {
    const std::vector<std::uint8_t> data = read_file(argv[i]);
    const recodia::Detection d = recodia::survey_text(data).detection;
    std::printf("%s: %.*s %d %s\n", argv[i], static_cast<int>(answer(d).size()), answer(d).data(), d.margin_bits,
                recodia::is_sure(d) ? "sure" : "unsure");
  }
  return 0;
}
