#include <array>
#include <vector>

#include "convert/kernels/avx512_vbmi2.hpp"
#include "convert/kernels/kernel.hpp"

// The kernel that the build forces ("auto": none).
#ifndef RECODIA_KERNEL
#define RECODIA_KERNEL "auto"
#endif

namespace recodia::kernels {
namespace {

constexpr std::array<std::string_view, 5> kNames = {"scalar", "portable", "avx2", "avx512", "neon"};

bool runs_here(Kernel kernel) {
  switch (kernel) {
    case Kernel::scalar:
    case Kernel::portable: return true;
    case Kernel::avx2:
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
      __builtin_cpu_init();
      return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi");
#else
      return false;
#endif
    case Kernel::avx512: return avx512::runs_here();
    case Kernel::neon:
#if defined(__aarch64__) && defined(__ARM_NEON)
      return true;
#else
      return false;
#endif
  }
  return false;
}

std::vector<Kernel> find_available() {
  std::vector<Kernel> found;
  for (std::size_t k = 0; k < kNames.size(); ++k)
    if (runs_here(static_cast<Kernel>(k))) found.push_back(static_cast<Kernel>(k));
  return found;
}

Kernel choose() {
  const std::span<const Kernel> offered = available();
  if (const std::optional<Kernel> forced = kernel_named(RECODIA_KERNEL)) {
    for (const Kernel k : offered)
      if (k == *forced) return k;
  }
  return offered.back();
}

}  // namespace

std::string_view name_of(Kernel kernel) { return kNames[static_cast<std::size_t>(kernel)]; }

std::optional<Kernel> kernel_named(std::string_view name) {
  for (std::size_t k = 0; k < kNames.size(); ++k)
    if (kNames[k] == name) return static_cast<Kernel>(k);
  return std::nullopt;
}

std::span<const Kernel> available() {
  static const std::vector<Kernel> offered = find_available();
  return offered;
}

Kernel chosen() {
  static const Kernel kernel = choose();
  return kernel;
}

}  // namespace recodia::kernels
