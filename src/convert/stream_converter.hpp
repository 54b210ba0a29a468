// A text converted block by block, as it is read: what crosses the end of a
// block (whether a quotation opens) is kept from one block to the next.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "convert/byte_processor.hpp"
#include "convert/outcome_table.hpp"
#include "convert/settings.hpp"

namespace recodia {

// How the bytes are converted: through the table of every byte's outcome, or
// one converter call per byte (the reference that the table is checked against).
enum class ConversionPath { table, reference };

class StreamConverter {
 public:
  // The settings must be resolved and must outlive the converter.
  explicit StreamConverter(const ConversionSettings& settings, ConversionPath path = ConversionPath::table);

  // The output for the next block of input; valid until the next call.
  std::span<const std::uint8_t> convert(std::span<const std::uint8_t> block);

  // The output that the end of the input still owes.
  std::span<const std::uint8_t> finish() { return {}; }

 private:
  std::optional<OutcomeTable> table_;
  std::optional<ByteProcessor> reference_;
  bool opening_ = true;  // a quotation at the start of the text opens
  std::vector<std::uint8_t> output_;
};

}  // namespace recodia
