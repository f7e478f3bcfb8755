#pragma once
// Internal to the transforms (numerics/fft.cpp) and their slab steps
// (numerics/fft_slab.cpp): the two kernels of rlft3 that the slab steps apply
// to parts of the array, so that both give the same bits by construction.
// No checks; nothing allocates.
#include <cstdint>

#include "numerics/vector_math.hpp"

namespace wind::detail {

// The complex transforms of length n (a power of two) along one axis of a
// row-major complex array of ntot values (data: the interleaved floats from
// element 1 on), with nprev values between neighbours along the axis (the
// product of the later dimensions): every line along it is transformed with
// sign isign by the operations of complexFftN's pass over that axis, on the
// threads of the library (same bits for any count). ntot > 0.
void complexFftAxis(float* data, std::int64_t ntot, std::int64_t n, std::int64_t nprev, int isign);

// Row i1 of rlft3's untangling of the half spectrum (forward) or tangling
// back (inverse): rowI and rowJ are the planes i1 and j1 = its mirror
// (nn2 x nn3 floats each, possibly the same plane), nyquistJ the Nyquist row
// of j1 (2 nn2 floats). Reads and writes rowI, rowJ and nyquistJ; rlft3 runs
// it for a pair i1 < j1 in that order, then for j1 with the roles exchanged.
void rlft3UntangleRow(float* rowI, float* rowJ, float* nyquistJ, std::int64_t nn2,
                      std::int64_t nn3, int isign);

// The butterflies of a run of complexFftAxis, as built for the instruction
// set isa (the processor must have it; the transforms take the widest): the
// values z1 at a[2k], a[2k + 1] and z2 at b[2k], b[2k + 1], k < count, become
// z1 + w z2 and z1 - w z2 with w = wr + i wi, the product in double and each
// result rounded to float, every operation the one-at-a-time butterfly's. The
// runs must not overlap. For tests: every instruction set gives its bits.
void butterflyRunOn(lanes::InstructionSet isa, float* a, float* b, std::int64_t count, double wr,
                    double wi);

}  // namespace wind::detail
