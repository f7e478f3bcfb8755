#pragma once
// Shared by the tests of rlft3's slab steps (numerics/) and of its
// distributed form (distributed/): a half spectrum of noise, rlft3's inverse
// of the whole of it, and a bitwise comparison.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "numerics/arrays.hpp"
#include "numerics/fft.hpp"

namespace wind::testing {

struct Rlft3Shape {
  std::int64_t nn1, nn2, nn3;
};

// data [nn1][nn2][nn3] and Nyquist plane [nn1][2 nn2], flat.
struct Rlft3Spectrum {
  std::vector<float> data, nyquist;
};

// Values in (-1, 1), a function of the seed alone.
inline Rlft3Spectrum rlft3Noise(Rlft3Shape g, std::uint64_t seed) {
  std::mt19937_64 gen(seed);
  const auto next = [&] { return static_cast<float>(double(gen() >> 11) * 0x1p-52 - 1.0); };
  Rlft3Spectrum s{std::vector<float>(std::size_t(g.nn1 * g.nn2 * g.nn3)),
                  std::vector<float>(std::size_t(g.nn1 * 2 * g.nn2))};
  for (float& v : s.data) v = next();
  for (float& v : s.nyquist) v = next();
  return s;
}

// rlft3's inverse of the whole array.
inline std::vector<float> rlft3WholeInverse(const Rlft3Spectrum& in, Rlft3Shape g) {
  const int n1 = int(g.nn1), n2 = int(g.nn2), n3 = int(g.nn3);
  F3tensor t = f3tensor(1, n1, 1, n2, 1, n3);
  Matrix nyq = matrix(1, n1, 1, 2 * n2);
  std::copy(in.data.begin(), in.data.end(), t.data());
  std::copy(in.nyquist.begin(), in.nyquist.end(), nyq.data());
  rlft3(t, nyq, n1, n2, n3, -1);
  return {t.data(), t.data() + in.data.size()};
}

inline bool sameBits(const float* a, const float* b, std::size_t n) {
  return n == 0 || std::memcmp(a, b, n * sizeof(float)) == 0;
}

}  // namespace wind::testing
