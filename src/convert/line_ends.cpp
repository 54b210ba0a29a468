#include "convert/line_ends.hpp"

namespace recodia {

std::span<const std::uint8_t> LineEndFilter::filter(std::span<const std::uint8_t> block) {
  if (ends_.passes_through()) return block;
  out_.clear();
  const auto emit = [this](Character c) { out_.push_back(static_cast<std::uint8_t>(c)); };
  std::size_t i = 0;
  while (i < block.size() && !ends_.passes_through()) ends_.put(block[i++], emit);
  out_.insert(out_.end(), block.begin() + static_cast<std::ptrdiff_t>(i), block.end());
  return out_;
}

std::span<const std::uint8_t> LineEndFilter::finish() {
  out_.clear();
  ends_.finish([this](Character c) { out_.push_back(static_cast<std::uint8_t>(c)); });
  return out_;
}

}  // namespace recodia
