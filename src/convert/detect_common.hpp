// What the detector's two halves share: the sample detector (detect.cpp) and
// the survey of a whole text (detect_survey.cpp).
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "convert/box_drawing.hpp"
#include "convert/encoding_id.hpp"

namespace recodia::detection {

using Cost = std::int64_t;  // eighths of a bit, as the model counts

// How a byte reads through one source, for the language model.
struct ByteClass {
  std::uint8_t symbol = 16;     // detect_model::kControl
  std::uint8_t letter_case = 0; // detect_model::kNoCase
  bool drawing = false;         // box drawing or a block, with the lines on its two sides
  box_drawing::Line left = box_drawing::kNone, right = box_drawing::kNone;
};

// How often each key occurs, for keys below 2^31. Open addressing, grown with
// what it holds: a short text touches little memory, and nothing is zeroed
// that is not used.
class CountMap {
 public:
  void add(std::uint32_t key, std::uint32_t n = 1) { at(key) += n; }

  // The count of `key`, made 0 when new.
  std::uint32_t& at(std::uint32_t key) {
    if (2 * (size_ + 1) > slots_.size()) grow();
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = spread(key);; i = (i + 1) & mask) {
      Slot& s = slots_[i];
      if (s.key == key + 1) return s.count;
      if (s.key == 0) {
        s.key = key + 1;
        ++size_;
        return s.count;
      }
    }
  }

  template <class F>
  void for_each(F&& f) const {
    for (const Slot& s : slots_)
      if (s.key != 0) f(s.key - 1, s.count);
  }

 private:
  struct Slot {
    std::uint32_t key = 0;  // the key plus one; 0 for a free slot
    std::uint32_t count = 0;
  };
  // Fibonacci hashing: the high bits of the product, as many as the table needs.
  std::size_t spread(std::uint32_t key) const { return (key * 0x9E3779B1u) >> shift_; }
  void grow() {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(old.empty() ? 64 : old.size() * 2, Slot{});
    shift_ = 32 - std::countr_zero(slots_.size());
    size_ = 0;
    for (const Slot& s : old)
      if (s.key != 0) at(s.key - 1) = s.count;
  }

  std::vector<Slot> slots_;
  std::size_t size_ = 0;
  int shift_ = 32;
};

// The fast paths of the detector and the survey, and the plain loops they
// are held to (tests/engine/detect_test.cpp).
enum class ScanPath : std::uint8_t { fast, plain };

// The survey's pass over text that is not UTF-8: from `p` to the first line
// end (or `end`, which it returns), each byte that is not printable ASCII is
// counted in `counts` (printable ASCII may be counted too: nothing reads its counts).
const std::uint8_t* count_to_line_end(const std::uint8_t* p, const std::uint8_t* end, std::array<std::uint32_t, 256>& counts,
                                      ScanPath path = ScanPath::fast);

// The survey's pass over UTF-8: where a run of two-byte characters (Cyrillic,
// accented Latin) that starts at `p` ends.
const std::uint8_t* two_byte_run_end(const std::uint8_t* p, const std::uint8_t* end, ScanPath path = ScanPath::fast);

// The bytes that count against text in the binary verdict: the controls that
// text does not hold, and DEL.
std::size_t count_binary_controls(std::span<const std::uint8_t> bytes, ScanPath path = ScanPath::fast);

// Each single-byte source's cost of the sample, in the language it fits best
// and then in every language: the fast path scores a source that reads the
// sample as another does but for a few bytes by those bytes' pairs alone.
std::vector<Cost> source_costs(std::span<const std::uint8_t> sample, ScanPath path = ScanPath::fast);

// A byte's cost on its own through a source in one of the model's languages:
// the survey's cheap measure of how naturally a block reads.
Cost byte_cost(EncodingId id, int language, std::uint8_t b);
int language_count();

// Control bytes that text holds: tab, line feed, vertical tab, form feed,
// carriage return, backspace (overstrike), escape (colours). Those that DOS
// text draws as signs (0x01 0x02 0x07 0x10..0x1F: smileys, the bullet, the
// pilcrow, arrows) are counted, but only their frequency makes a text binary.
constexpr bool is_text_control(std::uint8_t b) {
  return b == '\t' || b == '\n' || b == '\v' || b == '\f' || b == '\r' || b == '\b' || b == 0x1B;
}

// A control byte that text does not hold (NUL among them).
constexpr bool is_binary_control(std::uint8_t b) { return b < 0x20 && !is_text_control(b); }

}  // namespace recodia::detection
