#include "fit/double_fft.hpp"

#include <cmath>
#include <numbers>
#include <string>
#include <utility>

#include "support/fatal_error.hpp"
#include "numerics/fft.hpp"

namespace wind {

DoubleFft::DoubleFft(std::size_t n) : n_(n) {
  if (n < 2 || !isPowerOfTwo(static_cast<std::int64_t>(n)))
    fatalError("DoubleFft: length " + std::to_string(n) + " is not a power of two of at least 2");
  twiddle_.resize(n / 2);
  for (std::size_t k = 0; k < n / 2; ++k) {
    const double a = -2.0 * std::numbers::pi * double(k) / double(n);
    twiddle_[k] = {std::cos(a), std::sin(a)};
  }
}

void DoubleFft::forward(std::span<std::complex<double>> data) const {
  if (data.size() != n_)
    fatalError("DoubleFft: " + std::to_string(data.size()) + " values for a transform of " +
               std::to_string(n_));
  for (std::size_t i = 1, j = 0; i < n_; ++i) {
    std::size_t bit = n_ >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(data[i], data[j]);
  }
  for (std::size_t len = 2; len <= n_; len <<= 1) {
    const std::size_t half = len / 2, stride = n_ / len;
    for (std::size_t start = 0; start < n_; start += len)
      for (std::size_t k = 0; k < half; ++k) {
        const std::complex<double> t = twiddle_[k * stride] * data[start + k + half];
        data[start + k + half] = data[start + k] - t;
        data[start + k] += t;
      }
  }
}

}  // namespace wind
