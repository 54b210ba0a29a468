// The output of every input byte, worked out once from the byte-at-a-time path,
// so that a run is one table lookup per byte (64 at a time where the processor
// has the instructions for it).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "convert/characters.hpp"
#include "convert/kernels/kernel.hpp"
#include "convert/settings.hpp"

namespace recodia {

namespace kernels {
struct ByteTables;
}

// The output of every byte in both quotation contexts, taken from the
// byte-at-a-time path. A byte's output depends only on the settings, the byte
// and whether the byte before it opens a quotation; and that in turn depends
// only on the byte before. So a run is one table lookup per byte.
struct ByteOutcome {
  std::array<std::uint8_t, 15> bytes{};
  std::uint8_t length = 0;
};
static_assert(sizeof(ByteOutcome) == 16);

// Takes what the byte processor writes for one byte or character into an
// outcome; `overflow` when it is longer than an entry holds.
struct OutcomeSink {
  ByteOutcome outcome;
  bool overflow = false;
  void put(std::span<const std::uint8_t> bytes) {
    for (const std::uint8_t b : bytes) {
      if (outcome.length == outcome.bytes.size()) {
        overflow = true;
        return;
      }
      outcome.bytes[outcome.length++] = b;
    }
  }
};

class ByteProcessor;

// Each character's outcome through a byte processor whose outcome of a
// character does not depend on what came before: ASCII worked out at once,
// the rest of the Basic Multilingual Plane in pages of 64 as they are first
// met (at most 1 MiB), a character beyond it each time it comes. The
// processor is the owner's, and must outlive the cache.
class CharacterOutcomes {
 public:
  explicit CharacterOutcomes(ByteProcessor& processor);
  CharacterOutcomes(const CharacterOutcomes&) = delete;
  CharacterOutcomes& operator=(const CharacterOutcomes&) = delete;
  ~CharacterOutcomes();

  const ByteOutcome& of(Character c);
  const std::array<ByteOutcome, 0x80>& ascii() const { return ascii_; }

 private:
  ByteOutcome work_out(Character c);

  ByteProcessor& processor_;
  std::array<ByteOutcome, 0x80> ascii_{};
  std::array<std::unique_ptr<std::array<ByteOutcome, 64>>, 0x10000 / 64> pages_;
  ByteOutcome scratch_;
};

class OutcomeTable {
 public:
  // nothing when some byte's output would not fit an entry. The kernel is
  // the one that convert() runs.
  static std::optional<OutcomeTable> build(const ConversionSettings& settings,
                                           kernels::Kernel kernel = kernels::chosen());

  // Every byte comes out as itself in either context: the input can be
  // written as it is.
  bool copies_input() const { return copies_input_; }

  // The room that convert() needs in `out` for `size` input bytes: it may
  // write up to 64 bytes past its last output byte.
  std::size_t capacity_for(std::size_t size) const { return size * (longest_ > 0 ? longest_ : 1) + 64; }

  // Converts `size` bytes into `out`, which must hold capacity_for(size)
  // bytes; `opening` carries the quotation context from block to block.
  // Returns the number of bytes written.
  std::size_t convert(const std::uint8_t* in, std::size_t size, std::uint8_t* out, bool& opening) const;

 private:
  std::size_t convert_scalar(const std::uint8_t* in, std::size_t size, std::uint8_t* out, bool& opening) const;
  std::size_t convert_portable(const std::uint8_t* in, std::size_t size, std::uint8_t* out, bool& opening) const;
  kernels::ByteTables tables() const;

  std::array<std::array<ByteOutcome, 256>, 2> outcome_{};  // [opening][byte]
  // The same outcomes as 256-byte lookup tables: the byte written when there
  // is exactly one, and whether a byte writes nothing, one byte or several.
  alignas(64) std::array<std::array<std::uint8_t, 256>, 2> single_{};
  alignas(64) std::array<std::array<std::uint8_t, 256>, 2> kind_{};
  alignas(64) std::array<std::uint8_t, 256> opens_after_{};  // 1: a quote after this byte opens
  // For the expanding kernel: the k-th byte of every outcome, and the lengths.
  alignas(64) std::array<std::array<std::array<std::uint8_t, 256>, 4>, 2> spread_{};
  alignas(64) std::array<std::array<std::uint8_t, 256>, 2> lengths_{};
  // The bytes that do not write one byte, the same in either context, as a
  // bit set (see kernels::ByteTables).
  alignas(32) std::array<std::uint8_t, 32> unplain_{};
  alignas(64) std::array<std::array<std::uint64_t, 256>, 2> short_outcome_{};  // see kernels::ByteTables
  bool ascii_as_it_is_ = false;
  bool expanding_ = false;  // most bytes write two to four: the expanding kernel
  bool several_often_ = false;  // letters write several bytes: entries copied whole
  bool depends_on_context_ = false;
  bool copies_input_ = false;
  int slots_ = 0;  // see slots_for()
  std::size_t longest_ = 0;
  kernels::Kernel kernel_ = kernels::Kernel::scalar;
};

}  // namespace recodia
