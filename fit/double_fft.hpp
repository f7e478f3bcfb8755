#pragma once
// Radix-2 complex Fourier transform in double precision, for spectral
// estimation (numerics/fft.hpp transforms single-precision fields; periodograms
// of long series summed over many windows want the extra digits).
//
//   DoubleFft fft(n);        n a power of two, at least 2
//   fft.forward(data);       data[m] <- sum_j data[j] exp(-2 pi i j m / n)
//
// Zero-based, not normalised, in place: bit reversal followed by
// Danielson-Lanczos butterflies (Press et al. 1992, 12.2). The twiddle factors
// exp(-2 pi i k / n), k < n/2, are computed once by the constructor, each from
// cos and sin directly (no recurrence), so the round-off of a transform stays
// of order log2(n) epsilon. forward() allocates nothing and is reentrant on
// distinct arrays; a length other than n or an n that is not a power of two
// ends the run through fatalError.
#include <complex>
#include <cstddef>
#include <span>
#include <vector>

namespace wind {

class DoubleFft {
 public:
  explicit DoubleFft(std::size_t n);
  std::size_t size() const { return n_; }
  void forward(std::span<std::complex<double>> data) const;

 private:
  std::size_t n_;
  std::vector<std::complex<double>> twiddle_;
};

}  // namespace wind
