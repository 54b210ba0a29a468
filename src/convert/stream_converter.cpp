#include "convert/stream_converter.hpp"

namespace recodia {
namespace {

struct VectorSink {
  std::vector<std::uint8_t>& out;
  void put(std::span<const std::uint8_t> bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); }
};

}  // namespace

StreamConverter::StreamConverter(const ConversionSettings& settings, ConversionPath path) {
  if (path == ConversionPath::table) table_ = OutcomeTable::build(settings);
  // Without a table (an outcome too long for an entry) the reference path does the work.
  if (!table_) reference_.emplace(settings);
}

std::span<const std::uint8_t> StreamConverter::convert(std::span<const std::uint8_t> block) {
  if (table_ && table_->copies_input()) return block;  // "-noenc -noaltlf": nothing changes
  if (table_) {
    // Most of the room is for the worst case and is never touched.
    if (output_.size() < table_->capacity_for(block.size())) output_.resize(table_->capacity_for(block.size()));
    return {output_.data(), table_->convert(block.data(), block.size(), output_.data(), opening_)};
  }
  output_.clear();
  VectorSink sink{output_};
  for (const std::uint8_t b : block) reference_->process_byte(b, sink);
  return output_;
}

}  // namespace recodia
