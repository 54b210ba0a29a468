// UTF-8: every character in one to four bytes. The one place that writes and
// reads it, for the engine, the messages (while compiling) and the Windows
// names; the stream converter's fast copy is held to this decoder by a test.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "convert/characters.hpp"

namespace recodia {

// Hands the UTF-8 bytes of a scalar value to `put` (of a lone surrogate too,
// the three bytes of its number, as Windows names need).
template <class Put>
constexpr void encode_utf8(Character c, Put&& put) {
  if (c < 0x80) {
    put(static_cast<std::uint8_t>(c));
  } else if (c < 0x800) {
    put(static_cast<std::uint8_t>(0xC0 | c >> 6));
    put(static_cast<std::uint8_t>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    put(static_cast<std::uint8_t>(0xE0 | c >> 12));
    put(static_cast<std::uint8_t>(0x80 | (c >> 6 & 0x3F)));
    put(static_cast<std::uint8_t>(0x80 | (c & 0x3F)));
  } else {
    put(static_cast<std::uint8_t>(0xF0 | c >> 18));
    put(static_cast<std::uint8_t>(0x80 | (c >> 12 & 0x3F)));
    put(static_cast<std::uint8_t>(0x80 | (c >> 6 & 0x3F)));
    put(static_cast<std::uint8_t>(0x80 | (c & 0x3F)));
  }
}

constexpr bool is_scalar_value(Character c) { return c < 0x110000 && (c < 0xD800 || c > 0xDFFF); }

// Reads UTF-8 one byte at a time, the bytes given in any pieces: the plain
// reference of the decoding. An ill-formed sequence (a stray continuation
// byte, an overlong form, a surrogate, a value above U+10FFFF, a sequence cut
// short) becomes one replacement character per maximal subpart of a
// well-formed sequence, as Unicode recommends.
class Utf8Decoder {
 public:
  // Windows allows lone surrogates in names: their three-byte forms are read
  // as they are written, so that such a name comes back unchanged.
  enum class Surrogates : bool { refused, accepted };

  constexpr Utf8Decoder() = default;
  explicit constexpr Utf8Decoder(Surrogates surrogates) : surrogates_(surrogates) {}

  // Hands each character read to `emit`, U+FFFD for each ill-formed subpart.
  template <class Emit>
  constexpr void put(std::uint8_t b, Emit&& emit) {
    put(b, emit, [&](std::span<const std::uint8_t>) { emit(kReplacementCharacter); });
  }

  // The same, but the bytes of each ill-formed subpart are handed to `stray`
  // instead, for a reader that reads them otherwise.
  template <class Emit, class Stray>
  constexpr void put(std::uint8_t b, Emit&& emit, Stray&& stray);

  // The end of the text: a sequence cut short there is one replacement.
  template <class Emit>
  constexpr void finish(Emit&& emit) {
    if (need_ != 0) replace([&](std::span<const std::uint8_t>) { emit(kReplacementCharacter); });
  }
  template <class Stray>
  constexpr void finish_stray(Stray&& stray) {
    if (need_ != 0) replace(stray);
  }

  // Whether bytes of an unfinished sequence are held.
  constexpr bool in_sequence() const { return need_ != 0; }

  // How many replacement characters stand for ill-formed bytes so far.
  constexpr std::uint64_t replaced() const { return replaced_; }

 private:
  template <class Stray>
  constexpr void replace(Stray&& stray) {
    need_ = 0;
    low_ = 0x80;
    high_ = 0xBF;
    ++replaced_;
    stray(std::span<const std::uint8_t>(held_.data(), held_count_));
  }

  Character partial_ = 0;
  int need_ = 0;  // continuation bytes still to come
  std::array<std::uint8_t, 4> held_{};  // the bytes of the sequence so far
  std::size_t held_count_ = 0;
  // The range of the next continuation byte: narrower after E0, ED, F0 and
  // F4, which is what keeps out overlong forms, surrogates and values above
  // U+10FFFF.
  std::uint8_t low_ = 0x80;
  std::uint8_t high_ = 0xBF;
  std::uint64_t replaced_ = 0;
  Surrogates surrogates_ = Surrogates::refused;
};

template <class Emit, class Stray>
constexpr void Utf8Decoder::put(std::uint8_t b, Emit&& emit, Stray&& stray) {
  if (need_ != 0) {
    if (b >= low_ && b <= high_) {
      partial_ = partial_ << 6 | (b & 0x3F);
      held_[held_count_++] = b;
      low_ = 0x80;
      high_ = 0xBF;
      if (--need_ == 0) emit(partial_);
      return;
    }
    replace(stray);  // the subpart so far; the byte starts afresh
  }
  held_[0] = b;
  held_count_ = 1;
  if (b < 0x80) {
    emit(b);
  } else if (b >= 0xC2 && b <= 0xDF) {
    need_ = 1;
    partial_ = b & 0x1F;
  } else if (b >= 0xE0 && b <= 0xEF) {
    need_ = 2;
    partial_ = b & 0x0F;
    low_ = b == 0xE0 ? 0xA0 : 0x80;
    high_ = b == 0xED && surrogates_ == Surrogates::refused ? 0x9F : 0xBF;
  } else if (b >= 0xF0 && b <= 0xF4) {
    need_ = 3;
    partial_ = b & 0x07;
    low_ = b == 0xF0 ? 0x90 : 0x80;
    high_ = b == 0xF4 ? 0x8F : 0xBF;
  } else {
    replace(stray);  // a continuation byte alone, C0, C1, F5..FF
  }
}

}  // namespace recodia
