#include "numerics/fft_slab.hpp"

#include <algorithm>

#include "numerics/fft.hpp"
#include "numerics/fft_detail.hpp"
#include "support/fatal_error.hpp"

namespace wind {

namespace {

constexpr int kInverse = -1;

// Floats of tangling work below which the planes are tangled on the calling
// thread (the threshold of rlft3's tangling).
constexpr std::int64_t kParallelTangle = std::int64_t{1} << 16;

constexpr const char* kShapeMessage =
    "rlft3 slab: dimensions are not powers of 2 or planes lie outside the array";

void checkShape(std::int64_t nn1, std::int64_t nn2, std::int64_t nn3, PlaneRange planes) {
  if (!isPowerOfTwo(nn1) || !isPowerOfTwo(nn2) || !isPowerOfTwo(nn3) || nn3 < 2)
    fatalError(kShapeMessage);
  if (planes.count() > 0 && (planes.first < 1 || planes.last > nn1)) fatalError(kShapeMessage);
}

// The mirror of plane i along an axis of nn1 planes.
std::int64_t mirrorPlane(std::int64_t i, std::int64_t nn1) { return i == 1 ? 1 : nn1 - i + 2; }

}  // namespace

PlaneRange rlft3MirrorPlanes(std::int64_t nn1, PlaneRange own) {
  const std::int64_t first = std::max<std::int64_t>(own.first, 2);  // plane 1 is its own mirror
  if (first > own.last) return {};
  const PlaneRange mirrors{nn1 - own.last + 2, nn1 - first + 2};
  // Both ranges have the same length and own starts no later than `first`,
  // so own cannot stick out of the mirrors on both sides: what is left is
  // one piece.
  if (mirrors.last < own.first || mirrors.first > own.last) return mirrors;
  if (mirrors.first < own.first) return {mirrors.first, own.first - 1};
  if (mirrors.last > own.last) return {own.last + 1, mirrors.last};
  return {};
}

void rlft3InverseTangle(const Rlft3Slab& own, const Rlft3Slab& mirror, std::int64_t nn1,
                        std::int64_t nn2, std::int64_t nn3) {
  checkShape(nn1, nn2, nn3, own.planes);
  const PlaneRange needed = rlft3MirrorPlanes(nn1, own.planes);
  if (needed.count() > 0 && !(mirror.planes.contains(needed.first) && mirror.planes.contains(needed.last)))
    fatalError("rlft3 slab: copies of the mirror planes missing");

  const std::int64_t planeFloats = nn2 * nn3, nyquistFloats = 2 * nn2;
  // Plane p and its Nyquist row, from own where it lives there, else from
  // the copies.
  const auto plane = [&](std::int64_t p) {
    return own.planes.contains(p) ? own.data + (p - own.planes.first) * planeFloats
                                  : mirror.data + (p - mirror.planes.first) * planeFloats;
  };
  const auto nyquistRow = [&](std::int64_t p) {
    return own.planes.contains(p) ? own.nyquist + (p - own.planes.first) * nyquistFloats
                                  : mirror.nyquist + (p - mirror.planes.first) * nyquistFloats;
  };
  const auto untangle = [&](std::int64_t i, std::int64_t j) {
    detail::rlft3UntangleRow(plane(i), plane(j), nyquistRow(j), nn2, nn3, kInverse);
  };
  // Each own plane with its mirror, in rlft3's order within the pair; a pair
  // whose planes are both own is done once, from its lower plane. No two
  // iterations touch the same plane or copy.
  const std::int64_t count = own.planes.count();
  const bool parallel = count > 1 && count * planeFloats >= kParallelTangle;
#pragma omp parallel for schedule(dynamic) if (parallel)
  for (std::int64_t i = own.planes.first; i <= own.planes.last; ++i) {
    const std::int64_t j = mirrorPlane(i, nn1);
    if (j == i) {
      untangle(i, i);
    } else if (!(own.planes.contains(j) && j < i)) {
      const std::int64_t lo = std::min(i, j), hi = std::max(i, j);
      untangle(lo, hi);
      untangle(hi, lo);
    }
  }
}

void rlft3InverseRows(const Rlft3Slab& own, std::int64_t nn2, std::int64_t nn3) {
  checkShape(1, nn2, nn3, {});
  const std::int64_t values = own.planes.count() * nn2 * (nn3 / 2);
  if (values == 0) return;
  detail::complexFftAxis(own.data, values, nn3 / 2, 1, kInverse);
  detail::complexFftAxis(own.data, values, nn2, nn3 / 2, kInverse);
}

void rlft3InverseColumns(float* block, std::int64_t nn1, std::int64_t ncols) {
  checkShape(nn1, 1, 2, {});
  if (ncols <= 0) return;
  detail::complexFftAxis(block, nn1 * ncols, nn1, ncols, kInverse);
}

void copyColumnsOut(const float* slab, std::int64_t planes, std::int64_t C, std::int64_t c0,
                    std::int64_t c1, float* packed) {
  const std::int64_t width = 2 * (c1 - c0);
  for (std::int64_t p = 0; p < planes; ++p)
    std::copy_n(slab + 2 * (p * C + c0), width, packed + p * width);
}

void copyColumnsIn(const float* packed, std::int64_t planes, std::int64_t C, std::int64_t c0,
                   std::int64_t c1, float* slab) {
  const std::int64_t width = 2 * (c1 - c0);
  for (std::int64_t p = 0; p < planes; ++p)
    std::copy_n(packed + p * width, width, slab + 2 * (p * C + c0));
}

}  // namespace wind
