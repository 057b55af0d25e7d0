#include "process/kernels.h"

#include <immintrin.h>

#include <atomic>
#include <cstring>

namespace orvel::process {
namespace {

namespace sse2 {
// clang-format off: the vector type comes first
#include "process/vec4.inc"
#include "process/resize_kernels.inc"
#include "process/composite_kernels.inc"
// clang-format on
}  // namespace sse2

// The same loops again with every function targeting AVX2.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif
namespace avx2 {
// clang-format off: the vector type comes first
#include "process/vec8.inc"
#include "process/resize_kernels.inc"
#include "process/composite_kernels.inc"
// clang-format on
}  // namespace avx2
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

std::atomic<bool> portableChosen{false};

bool avx2Chosen() noexcept {
  static const bool available = __builtin_cpu_supports("avx2");
  return available && !portableChosen.load(std::memory_order_relaxed);
}

}  // namespace

const ResizeKernels& resizeKernels() noexcept {
  return avx2Chosen() ? avx2::kResizeKernels : sse2::kResizeKernels;
}

const CompositeKernels& compositeKernels() noexcept {
  return avx2Chosen() ? avx2::kCompositeKernels : sse2::kCompositeKernels;
}

void usePortableKernels(bool portable) noexcept {
  portableChosen.store(portable, std::memory_order_relaxed);
}

}  // namespace orvel::process
