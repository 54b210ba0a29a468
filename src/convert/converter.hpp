// The character converter: one input byte in, one result byte or one
// replacement string out, through the pivot code page.
#pragma once

#include <array>
#include <cstdint>

#include "convert/settings.hpp"

namespace recodia {

inline constexpr std::size_t kOutputStringSize = 32;

struct ConverterResult {
  std::uint8_t result_byte = 0;  // 0: write the input byte unchanged
  bool string_pending = false;   // write output_string instead of the byte
  // NUL-terminated, already in the target encoding.
  std::array<char, kOutputStringSize> output_string{};
};

// Whether a quotation mark after this byte opens a quotation: at the start of
// the text, after a space or after a line end or other low control byte.
constexpr bool opens_quotation(std::uint8_t previous) { return previous == 0x20 || previous < 0x0E; }

class Converter {
 public:
  // The settings must be resolved and must outlive the converter.
  explicit Converter(const ConversionSettings& settings) : settings_(settings) {}

  // Runs the whole step sequence for one byte and returns the result byte;
  // result() holds the string, if any, until the next call.
  std::uint8_t convert_byte(std::uint8_t input);

  const ConverterResult& result() const { return result_; }
  ConverterResult& result() { return result_; }  // the run puts its CR LF here

  // The converter's only history: the byte that decides whether a quotation
  // mark opens or closes. Starts as a space.
  std::uint8_t previous_byte() const { return previous_; }
  void set_previous_byte(std::uint8_t b) { previous_ = b; }

 private:
  const ConversionSettings& settings_;
  std::uint8_t previous_ = 0x20;
  ConverterResult result_;
};

}  // namespace recodia
