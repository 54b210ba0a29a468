#include "cli/byte_output.hpp"

namespace recodia {
namespace {

struct CaptureSink {
  ByteOutcome outcome;
  bool overflow = false;
  void put(std::uint8_t b) {
    if (outcome.length == outcome.bytes.size()) {
      overflow = true;
      return;
    }
    outcome.bytes[outcome.length++] = b;
  }
  void put_string(const char* s) {
    for (; *s != '\0'; ++s) put(static_cast<std::uint8_t>(*s));
  }
};

constexpr std::uint8_t kOpeningPrevious = 0x20;
constexpr std::uint8_t kClosingPrevious = 'A';

template <bool kWithContext>
std::size_t convert_with(const std::array<std::array<ByteOutcome, 256>, 2>& outcome,
                         const std::array<std::uint8_t, 256>& opens_after, const std::uint8_t* in,
                         std::size_t size, std::uint8_t* out, bool& opening) {
  std::uint8_t* const start = out;
  std::size_t context = opening ? 1 : 0;
  for (std::size_t i = 0; i < size; ++i) {
    const std::uint8_t b = in[i];
    const ByteOutcome& o = outcome[kWithContext ? context : 0][b];
    // Copy the whole entry and advance by its length: no branch per byte.
    std::memcpy(out, &o, sizeof o);
    out += o.length;
    if constexpr (kWithContext) context = opens_after[b];
  }
  if constexpr (kWithContext) opening = context != 0;
  else if (size > 0) opening = opens_after[in[size - 1]] != 0;
  return static_cast<std::size_t>(out - start);
}

}  // namespace

std::optional<OutcomeTable> OutcomeTable::build(const ConversionSettings& settings, bool no_encoding) {
  OutcomeTable table;
  ByteProcessor processor(settings, no_encoding);
  for (int context = 0; context < 2; ++context) {
    for (int b = 0; b < 256; ++b) {
      processor.converter().set_previous_byte(context ? kOpeningPrevious : kClosingPrevious);
      CaptureSink sink;
      processor.process_byte(static_cast<std::uint8_t>(b), sink);
      if (sink.overflow) return std::nullopt;
      table.outcome_[context][b] = sink.outcome;
      if (sink.outcome.length > table.longest_) table.longest_ = sink.outcome.length;
      if (context == 0) {
        // The converter's history after this byte, whichever context it had.
        table.opens_after_[b] = no_encoding ? 1 : opens_quotation(processor.converter().previous_byte());
      }
    }
  }
  for (int b = 0; b < 256; ++b) {
    const ByteOutcome& a = table.outcome_[0][b];
    const ByteOutcome& o = table.outcome_[1][b];
    if (a.length != o.length || std::memcmp(a.bytes.data(), o.bytes.data(), a.length) != 0)
      table.depends_on_context_ = true;
  }
  return table;
}

std::size_t OutcomeTable::convert(const std::uint8_t* in, std::size_t size, std::uint8_t* out,
                                  bool& opening) const {
  return depends_on_context_ ? convert_with<true>(outcome_, opens_after_, in, size, out, opening)
                             : convert_with<false>(outcome_, opens_after_, in, size, out, opening);
}

}  // namespace recodia
