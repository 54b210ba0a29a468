#include "convert/outcome_table.hpp"

#include <cstring>

#include "convert/byte_processor.hpp"
#include "convert/wide_kernel.hpp"


namespace recodia {
namespace {

using wide::kWritesSeveral;

using Kinds = std::array<std::array<std::uint8_t, 256>, 2>;

bool writes_several(const Kinds& kind, int b) { return kind[0][b] == kWritesSeveral || kind[1][b] == kWritesSeveral; }

int high_bytes_writing_several(const Kinds& kind) {
  int n = 0;
  for (int b = 0x80; b < 256; ++b) n += writes_several(kind, b);
  return n;
}

// How many lanes of a 64-byte chunk that write several bytes the wide loop
// places without a branch. It only decides speed: none when no byte writes
// several; three when bytes of running text do (the line end under CR LF,
// transliterated letters, entities for most signs), where chunks often hold
// two or three; else one, for the odd sign in a line.
int slots_for(const Kinds& kind) {
  bool any = false;
  bool in_running_text = false;
  for (int b = 0; b < 256; ++b) {
    any = any || writes_several(kind, b);
    if (writes_several(kind, b) && (b == '\n' || (b >= 0x20 && b < 0x7F))) in_running_text = true;
  }
  if (!any) return 0;
  return in_running_text || high_bytes_writing_several(kind) >= 24 ? 3 : 1;
}

// Whether the letters write several bytes: so many high bytes do that the
// lanes that write several are most of a chunk of text (UTF-8 output).
bool writes_several_mostly(const Kinds& kind) { return high_bytes_writing_several(kind) >= 64; }

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

std::optional<OutcomeTable> OutcomeTable::build(const ConversionSettings& settings) {
  OutcomeTable table;
  ByteProcessor processor(settings);
  for (int context = 0; context < 2; ++context) {
    for (int b = 0; b < 256; ++b) {
      // Where the history changes nothing the outcome is the other context's,
      // not asked for again (a tenth of a short run's time).
      if (context == 1 && !processor.converter().history_matters_for(static_cast<std::uint8_t>(b))) {
        table.outcome_[1][b] = table.outcome_[0][b];
        continue;
      }
      processor.converter().set_opening(context == 1);
      OutcomeSink sink;
      processor.process_byte(static_cast<std::uint8_t>(b), sink);
      if (sink.overflow) return std::nullopt;
      table.outcome_[context][b] = sink.outcome;
      if (sink.outcome.length > table.longest_) table.longest_ = sink.outcome.length;
      if (context == 0) {
        // The converter's history after this byte, whichever context it had.
        table.opens_after_[b] = processor.converter().opening();
      }
    }
  }
  table.copies_input_ = true;
  for (int context = 0; context < 2; ++context) {
    for (int b = 0; b < 256; ++b) {
      const ByteOutcome& o = table.outcome_[context][b];
      table.single_[context][b] = wide::single_byte_of(o);
      table.lengths_[context][b] = o.length;
      for (std::size_t k = 0; k < 4; ++k) table.spread_[context][k][b] = o.bytes[k];
      table.kind_[context][b] = wide::kind_of(o);
      if (o.length != 1 || o.bytes[0] != b) table.copies_input_ = false;
    }
  }
  for (int b = 0; b < 256; ++b) {
    const ByteOutcome& a = table.outcome_[0][b];
    const ByteOutcome& o = table.outcome_[1][b];
    if (a.length != o.length || std::memcmp(a.bytes.data(), o.bytes.data(), a.length) != 0)
      table.depends_on_context_ = true;
  }
  table.slots_ = slots_for(table.kind_);
  table.expanding_ = table.longest_ <= 4 && writes_several_mostly(table.kind_);
  return table;
}

std::size_t OutcomeTable::convert_bytewise(const std::uint8_t* in, std::size_t size, std::uint8_t* out,
                                           bool& opening) const {
  return depends_on_context_ ? convert_with<true>(outcome_, opens_after_, in, size, out, opening)
                             : convert_with<false>(outcome_, opens_after_, in, size, out, opening);
}

std::size_t OutcomeTable::convert(const std::uint8_t* in, std::size_t size, std::uint8_t* out,
                                  bool& opening) const {
  if (!wide::available()) return convert_bytewise(in, size, out, opening);
  const wide::Progress done =
      expanding_ ? wide::convert_expanding({spread_, lengths_, opens_after_}, depends_on_context_, in, size, out, opening)
                 : wide::convert({outcome_, single_, kind_, opens_after_}, depends_on_context_, slots_, in, size, out,
                                 opening);
  return done.written + convert_bytewise(in + done.taken, size - done.taken, out + done.written, opening);
}

}  // namespace recodia
