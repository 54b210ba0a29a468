// UTF-16 and UTF-32: every character in 16-bit units (a surrogate pair above
// U+FFFF) or in one 32-bit unit, in either byte order. The plain reference of
// the reading and the writing; the fast paths (unicode_text.cpp,
// utf16_kernel.cpp) are held to it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>

#include "convert/characters.hpp"
#include "convert/utf8.hpp"

namespace recodia {

constexpr bool is_high_surrogate(std::uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
constexpr bool is_low_surrogate(std::uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

constexpr Character from_surrogates(std::uint32_t high, std::uint32_t low) {
  return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
}

// Hands the bytes of one unit of `size` bytes (2 or 4) to `put`.
template <class Put>
void put_unit(std::uint32_t unit, int size, bool big_endian, Put&& put) {
  for (int i = 0; i < size; ++i) {
    const int shift = 8 * (big_endian ? size - 1 - i : i);
    put(static_cast<std::uint8_t>(unit >> shift));
  }
}

// Hands the UTF-16 bytes of a scalar value to `put`.
template <class Put>
void encode_utf16(Character c, bool big_endian, Put&& put) {
  if (c < 0x10000) {
    put_unit(c, 2, big_endian, put);
    return;
  }
  put_unit(0xD800 + ((c - 0x10000) >> 10), 2, big_endian, put);
  put_unit(0xDC00 + ((c - 0x10000) & 0x3FF), 2, big_endian, put);
}

// Reads UTF-16 or UTF-32 one byte at a time, the bytes given in any pieces.
// A byte-order mark in the first unit sets the byte order (the encoding's
// own otherwise) and is no part of the text. Each ill-formed unit (a lone or
// reversed surrogate, a UTF-32 value beyond Unicode) is one replacement
// character, and so are the bytes of a unit cut short by the end.
// With `raw` the units are handed on as they are, unchecked (a copy).
class WideDecoder {
 public:
  static constexpr Character kByteOrderMark = 0xFEFF;

  WideDecoder(int unit_size, bool big_endian, bool raw = false)
      : size_(unit_size), big_endian_(big_endian), raw_(raw) {}

  template <class Emit>
  void put(std::uint8_t b, Emit&& emit) {
    bytes_[held_++] = b;
    if (held_ < size_) return;
    held_ = 0;
    if (std::exchange(at_start_, false) && read_byte_order_mark()) {
      if (raw_) emit(kByteOrderMark);
      return;
    }
    std::uint32_t unit = 0;
    for (int i = 0; i < size_; ++i) unit |= std::uint32_t{bytes_[i]} << 8 * (big_endian_ ? size_ - 1 - i : i);
    take(unit, emit);
  }

  // The end of the text: a surrogate or a unit cut short there is one
  // replacement character (with `raw`, its bytes are left in `held()`).
  template <class Emit>
  void finish(Emit&& emit) {
    if (high_ != 0) replace(emit);
    high_ = 0;
    if (held_ != 0 && !raw_) replace(emit);
  }

  // Whether part of a character is held: bytes of a unit, or a high surrogate.
  bool in_sequence() const { return held_ != 0 || high_ != 0; }
  // Whether the first unit, which may be a byte-order mark, is still to come.
  bool at_start() const { return at_start_; }
  bool big_endian() const { return big_endian_; }
  int unit_size() const { return size_; }
  // With `raw`: the bytes of a unit that the end cut short.
  std::span<const std::uint8_t> held() const { return {bytes_, static_cast<std::size_t>(held_)}; }

  std::uint64_t replaced() const { return replaced_; }

 private:
  // The first unit: a byte-order mark in either order sets the order.
  bool read_byte_order_mark() {
    const bool little = bytes_[0] == 0xFF && bytes_[1] == 0xFE && (size_ == 2 || (bytes_[2] == 0 && bytes_[3] == 0));
    const bool big = size_ == 2 ? bytes_[0] == 0xFE && bytes_[1] == 0xFF
                                : bytes_[0] == 0 && bytes_[1] == 0 && bytes_[2] == 0xFE && bytes_[3] == 0xFF;
    if (little || big) big_endian_ = big;
    return little || big;
  }

  template <class Emit>
  void take(std::uint32_t unit, Emit& emit) {
    if (raw_) {
      emit(static_cast<Character>(unit));
    } else if (size_ == 4) {
      if (is_scalar_value(unit)) emit(static_cast<Character>(unit));
      else replace(emit);
    } else if (high_ != 0) {
      if (is_low_surrogate(unit)) {
        emit(from_surrogates(std::exchange(high_, 0), unit));
        return;
      }
      high_ = 0;
      replace(emit);  // the high surrogate alone; the unit starts afresh
      take(unit, emit);
    } else if (is_high_surrogate(unit)) {
      high_ = unit;
    } else if (is_low_surrogate(unit)) {
      replace(emit);
    } else {
      emit(static_cast<Character>(unit));
    }
  }

  template <class Emit>
  void replace(Emit& emit) {
    ++replaced_;
    emit(kReplacementCharacter);
  }

  int size_;
  bool big_endian_;
  bool raw_;
  bool at_start_ = true;
  std::uint8_t bytes_[4] = {};
  int held_ = 0;
  std::uint32_t high_ = 0;  // a high surrogate waiting for its low one
  std::uint64_t replaced_ = 0;
};

}  // namespace recodia
