// The character converter: a byte of the source in, the bytes that the target
// writes for its character out. In between the byte is a character (a Unicode
// scalar value): the target writes it as its own byte when it has it, and a
// readable substitute when it lacks it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "convert/characters.hpp"
#include "convert/settings.hpp"

namespace recodia {

// What one input byte becomes, before the line ends are applied.
struct Converted {
  static constexpr std::size_t kCapacity = 32;
  std::array<std::uint8_t, kCapacity> bytes{};
  std::uint8_t size = 0;

  std::span<const std::uint8_t> view() const { return {bytes.data(), size}; }
  bool is(std::uint8_t b) const { return size == 1 && bytes[0] == b; }
  void put(std::uint8_t b) {
    if (size < kCapacity) bytes[size++] = b;
  }
};

class Converter {
 public:
  // The settings must be resolved and must outlive the converter.
  explicit Converter(const ConversionSettings& settings);

  // Converts one byte of a single-byte source.
  Converted convert_byte(std::uint8_t input);

  // Converts one character read from UTF-8 (U+FFFD for an ill-formed sequence).
  Converted convert_character(Character c);

  // The converter's only history: whether a quotation mark now would open a
  // quotation (at the start of the text, after a space, a line end or another
  // control byte below 0x0E), or close one.
  bool opening() const { return opening_; }
  void set_opening(bool opening) { opening_ = opening; }
  // Whether that history may change what a byte becomes: only a quotation
  // mark's, where they turn.
  bool history_matters_for(std::uint8_t input) const;

 private:
  struct Read;
  Converted convert(const Read& read);

  const ConversionSettings& settings_;
  bool turns_quotes_;
  bool same_page_;  // source and target read every byte alike
  bool opening_ = true;
};

}  // namespace recodia
