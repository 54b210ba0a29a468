#include <cstring>

#include "convert/kernels/byte_tables.hpp"

namespace recodia::kernels {
namespace {

template <bool kWithContext>
std::size_t convert_with(const ByteTables& t, const std::uint8_t* in, std::size_t size, std::uint8_t* out,
                         bool& opening) {
  std::uint8_t* const start = out;
  std::size_t context = opening ? 1 : 0;
  for (std::size_t i = 0; i < size; ++i) {
    const std::uint8_t b = in[i];
    const ByteOutcome& o = t.outcome[kWithContext ? context : 0][b];
    // Copy the whole entry and advance by its length: no branch per byte.
    std::memcpy(out, &o, sizeof o);
    out += o.length;
    if constexpr (kWithContext) context = t.opens_after[b];
  }
  if constexpr (kWithContext) opening = context != 0;
  else if (size > 0) opening = t.opens_after[in[size - 1]] != 0;
  return static_cast<std::size_t>(out - start);
}

// The same with an eight-byte store and no length to load apart.
template <bool kWithContext>
std::size_t short_with(const ByteTables& t, const std::uint8_t* in, std::size_t size, std::uint8_t* out,
                       bool& opening) {
  std::uint8_t* const start = out;
  std::size_t context = opening ? 1 : 0;
  for (std::size_t i = 0; i < size; ++i) {
    const std::uint8_t b = in[i];
    const std::uint64_t entry = (*t.short_outcome)[kWithContext ? context : 0][b];
    std::memcpy(out, &entry, sizeof entry);
    out += short_length(entry);
    if constexpr (kWithContext) context = t.opens_after[b];
  }
  if constexpr (kWithContext) opening = context != 0;
  else if (size > 0) opening = t.opens_after[in[size - 1]] != 0;
  return static_cast<std::size_t>(out - start);
}

}  // namespace

std::size_t convert_short(const ByteTables& t, bool with_context, const std::uint8_t* in, std::size_t size,
                          std::uint8_t* out, bool& opening) {
  return with_context ? short_with<true>(t, in, size, out, opening) : short_with<false>(t, in, size, out, opening);
}

std::size_t convert_scalar(const ByteTables& t, bool with_context, const std::uint8_t* in, std::size_t size,
                           std::uint8_t* out, bool& opening) {
  return with_context ? convert_with<true>(t, in, size, out, opening) : convert_with<false>(t, in, size, out, opening);
}

}  // namespace recodia::kernels
