#pragma once
// Counter-based standard normal deviates: the deviates of any wave vector,
// computed wherever and in whatever order they are needed.
//
// counterDeviates(seed, first, count, ncomp, x) gives the 2 ncomp deviates of
// each of the wave vectors first, first + 1, .., first + count - 1 in the
// draw order of the synthesis engines: for wave vector first + m,
// x[2 (m ncomp + c)] = xr_c and x[2 (m ncomp + c) + 1] = xi_c, c = 0 ..
// ncomp - 1. counterGaussPair gives one pair. Each pair is a pure function of
// (seed, index, c): no state, no order, the same bits on every thread and
// every process, so neither the threads of a process nor the processes of a
// cluster wait on a sequential draw.
//
// Generator: Philox4x32-10 (Salmon, Moraes, Dror and Shaw 2011, "Parallel
// random numbers: as easy as 1, 2, 3"), a keyed bijection of 128-bit counters
// built from ten rounds of 32 x 32 -> 64-bit multiplications and key-dependent
// xors, with a wide safety margin over the rounds needed to pass TestU01's
// BigCrush battery. One evaluation per pair:
//     key      (k0, k1) = (seed as 32-bit two's complement, 0)
//     counter  (c0, c1, c2, c3) = (low 32 bits of index, high 32 bits of
//              index, c, 0)
// Every deviate is thus identified by the seed, the 64-bit index, the
// component position c and its place in the pair (real part first). The
// words k1 = 0 and c3 = 0 are reserved: another use of the same seed that
// sets either of them never meets these deviates.
//
// Gaussian pair: Box-Muller without rejection (Box and Muller 1958). The
// output words (r0, r1, r2, r3) give two 53-bit integers
//     m1 = (r0 2^32 + r1) div 2^11,  m2 = (r2 2^32 + r3) div 2^11,
// and the uniforms u1 = (m1 + 1) 2^-53 in (0, 1] and u2 = m2 2^-53 in [0, 1),
// both exact in double, so ln(u1) is finite (u1 = 1 gives radius 0). Then
//     xr = sqrt(-2 ln u1) cos(2 pi u2),  xi = sqrt(-2 ln u1) sin(2 pi u2),
// in double, each rounded to float once. The pair is exactly independent
// standard normal but for the granularity of the uniforms: |x| <= sqrt(106
// ln 2) = 8.57, a cut-off that a sample of 10^16 deviates would reach once.
//
// Arithmetic (the run record's "arithmetic": "lanes"): the logarithm, the
// cosine and the sine are those of numerics/vector_math.hpp, within a few
// units in the last place of a double, so each deviate is the float nearest
// the exact pair or its neighbour. The words come from Philox on two or four
// counters at a time (SSE2, AVX2 or AVX-512, the widest the processor has;
// integer arithmetic), the pairs four or eight at a time, each by the same
// operations whatever the instruction set: the same bits for any batch, vector width and machine
// of this architecture (counterGaussPair is the batch of one). Until the
// record named its arithmetic the C library's functions made the deviates:
// the same floats, but where a rounding of the two went apart (none in 6e7
// deviates compared).
//
// Arguments: index >= 0, count >= 0 and 0 <= c (ncomp <= 3) are not checked
// (an index is reduced to its 64 bits); x holds 2 ncomp count floats.
// Nothing allocates, nothing fails; the routines are reentrant.
#include <array>
#include <cstdint>

#include "numerics/vector_math.hpp"

namespace wind {

// (xr, xi) of component position c of wave vector `index` for `seed`.
std::array<float, 2> counterGaussPair(std::int32_t seed, std::int64_t index, int c);

// The 2 ncomp deviates of the count wave vectors from `first` on (above).
void counterDeviates(std::int32_t seed, std::int64_t first, std::int64_t count, int ncomp,
                     float* x);

// The 2 ncomp deviates of wave vector `index`: x[2c] = xr_c, x[2c + 1] = xi_c.
inline void counterDeviates(std::int32_t seed, std::int64_t index, int ncomp, float* x) {
  counterDeviates(seed, index, 1, ncomp, x);
}

namespace detail {

// counterDeviates as built for the instruction set isa, which the processor
// must have (counterDeviates takes the widest it has); for tests.
void counterDeviatesOn(lanes::InstructionSet isa, std::int32_t seed, std::int64_t first,
                       std::int64_t count, int ncomp, float* x);

}  // namespace detail

}  // namespace wind
