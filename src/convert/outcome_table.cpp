#include "convert/outcome_table.hpp"

#include <cstring>

#include "convert/byte_processor.hpp"
#include "convert/kernels/avx512_vbmi2.hpp"
#include "convert/kernels/byte_tables.hpp"


namespace recodia {

CharacterOutcomes::CharacterOutcomes(ByteProcessor& processor) : processor_(processor) {
  for (Character c = 0; c < 0x80; ++c) ascii_[c] = work_out(c);
}

CharacterOutcomes::~CharacterOutcomes() = default;

ByteOutcome CharacterOutcomes::work_out(Character c) {
  OutcomeSink sink;
  processor_.process_character(c, sink);
  return sink.outcome;  // at most ten bytes: a numeric entity ("&#1114111;") is the longest
}

const ByteOutcome& CharacterOutcomes::of(Character c) {
  if (c < 0x80) return ascii_[c];
  if (c >= 0x10000) return scratch_ = work_out(c);
  std::unique_ptr<std::array<ByteOutcome, 64>>& page = pages_[c >> 6];
  if (!page) {
    page = std::make_unique<std::array<ByteOutcome, 64>>();
    for (Character i = 0; i < 64; ++i) {
      const Character member = (c & ~Character{63}) | i;
      (*page)[i] = is_scalar_value(member) ? work_out(member) : ByteOutcome{};
    }
  }
  return (*page)[c & 63];
}
namespace {

namespace avx512 = kernels::avx512;
using avx512::kWritesSeveral;

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

}  // namespace

std::optional<OutcomeTable> OutcomeTable::build(const ConversionSettings& settings, kernels::Kernel kernel) {
  OutcomeTable table;
  table.kernel_ = kernel;
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
      table.single_[context][b] = avx512::single_byte_of(o);
      table.lengths_[context][b] = o.length;
      for (std::size_t k = 0; k < 4; ++k) table.spread_[context][k][b] = o.bytes[k];
      table.kind_[context][b] = avx512::kind_of(o);
      if (o.length != 1 || o.bytes[0] != b) table.copies_input_ = false;
    }
  }
  for (int b = 0; b < 256; ++b) {
    const ByteOutcome& a = table.outcome_[0][b];
    const ByteOutcome& o = table.outcome_[1][b];
    if (a.length != o.length || std::memcmp(a.bytes.data(), o.bytes.data(), a.length) != 0)
      table.depends_on_context_ = true;
  }
  for (int b = 0; b < 256; ++b) {
    const ByteOutcome& o = table.outcome_[0][b];
    const bool plain = o.length == 1 && table.outcome_[1][b].length == 1 && table.outcome_[1][b].bytes[0] == o.bytes[0];
    if (!plain) table.unplain_[(b >> 7) << 4 | (b & 15)] |= static_cast<std::uint8_t>(1u << (b >> 4 & 7));
  }
  for (int context = 0; context < 2; ++context) {
    for (int b = 0; b < 256; ++b) {
      const ByteOutcome& o = table.outcome_[context][b];
      std::array<std::uint8_t, 8> entry{};
      std::memcpy(entry.data(), o.bytes.data(), 7);
      entry[7] = o.length;
      std::memcpy(&table.short_outcome_[context][b], entry.data(), entry.size());
    }
  }
  table.ascii_as_it_is_ = true;
  for (int b = 0; b < 0x80; ++b)
    if (table.kind_[0][b] == avx512::kWritesOne && table.single_[0][b] != b) table.ascii_as_it_is_ = false;
  table.slots_ = slots_for(table.kind_);
  table.expanding_ = table.longest_ <= 4 && writes_several_mostly(table.kind_);
  table.several_often_ = high_bytes_writing_several(table.kind_) >= 24;
  return table;
}

kernels::ByteTables OutcomeTable::tables() const {
  return {outcome_, opens_after_, single_[0], unplain_, ascii_as_it_is_, longest_ <= 7 ? &short_outcome_ : nullptr};
}

std::size_t OutcomeTable::convert_scalar(const std::uint8_t* in, std::size_t size, std::uint8_t* out,
                                         bool& opening) const {
  const kernels::ByteTables t = tables();
  return kernels::convert_scalar(t, depends_on_context_, in, size, out, opening);
}

// Eight-byte entries where no outcome is longer than seven bytes, else the
// whole entry.
std::size_t OutcomeTable::convert_portable(const std::uint8_t* in, std::size_t size, std::uint8_t* out,
                                           bool& opening) const {
  const kernels::ByteTables t = tables();
  if (t.short_outcome == nullptr) return kernels::convert_scalar(t, depends_on_context_, in, size, out, opening);
  return kernels::convert_short(t, depends_on_context_, in, size, out, opening);
}

std::size_t OutcomeTable::convert(const std::uint8_t* in, std::size_t size, std::uint8_t* out,
                                  bool& opening) const {
  using kernels::Kernel;
  kernels::Progress done{0, 0};
  const kernels::ByteTables t = tables();
  switch (kernel_) {
    case Kernel::scalar: return convert_scalar(in, size, out, opening);
    case Kernel::portable: return convert_portable(in, size, out, opening);
    case Kernel::avx2:
      // Chunks whose bytes often write several bytes are the portable loop's.
      if (!several_often_) done = kernels::convert_avx2(t, in, size, out, opening);
      break;
    case Kernel::neon:
      if (!several_often_) done = kernels::convert_neon(t, in, size, out, opening);
      break;
    case Kernel::avx512: {
      const avx512::Progress wide =
          expanding_ ? avx512::convert_expanding({spread_, lengths_, opens_after_}, depends_on_context_, in, size, out,
                                                 opening)
                     : avx512::convert({outcome_, single_, kind_, opens_after_}, depends_on_context_, slots_, in, size,
                                       out, opening);
      done = {wide.taken, wide.written};
      break;
    }
  }
  return done.written + convert_portable(in + done.taken, size - done.taken, out + done.written, opening);
}

}  // namespace recodia
