// The instruction sets that the fast paths have a kernel for, and the one a
// converter takes: chosen once, from what the processor runs, and held by
// the converter. A build may force one (RECODIA_KERNEL) for benchmarks.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace recodia::kernels {

enum class Kernel : std::uint8_t {
  scalar,    // the plain loop, one table entry copied per byte: the reference
  portable,  // the plain loop with eight-byte entries where the table allows, in plain C++
  avx2,      // x86-64 with AVX2: 32 bytes at a time
  avx512,    // x86-64 with AVX-512 VBMI2: 64 bytes at a time
  neon,      // ARM64: 16 bytes at a time
};

std::string_view name_of(Kernel kernel);
std::optional<Kernel> kernel_named(std::string_view name);

// The kernels that this build has and this processor runs, plainest first.
std::span<const Kernel> available();

// The one a converter takes: the build's forced kernel where the processor
// runs it, else the fastest available.
Kernel chosen();

}  // namespace recodia::kernels
