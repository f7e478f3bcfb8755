#include "numerics/arrays.hpp"

#include <cstdio>
#include <cstdlib>
#include <limits>

#include "support/fatal_error.hpp"

namespace wind::detail {

std::int64_t checkedProduct(std::int64_t n1, std::int64_t n2) {
  if (n1 < 0 || n2 < 0) return -1;
  std::int64_t r = 0;
  if (__builtin_mul_overflow(n1, n2, &r)) return -1;
  return r;
}

void* allocateBlock(std::int64_t count, std::size_t elemSize, const char* failMessage) {
  if (count < 0) fatalError(failMessage);
  if (count == 0) return nullptr;
  // Keep every byte offset representable in ptrdiff_t.
  const auto maxCount =
      static_cast<std::int64_t>(std::numeric_limits<std::ptrdiff_t>::max() / std::int64_t(elemSize));
  if (count > maxCount) fatalError(failMessage);
  void* p = std::calloc(static_cast<std::size_t>(count), elemSize);
  if (p == nullptr) fatalError(failMessage);
  return p;
}

void releaseBlock(void* block) noexcept { std::free(block); }

void indexOutOfRange(std::int64_t index, int lo, int hi) {
  std::fprintf(stderr, "index %lld outside the range %d..%d of an index-ranged array\n",
               static_cast<long long>(index), lo, hi);
  std::abort();
}

}  // namespace wind::detail
