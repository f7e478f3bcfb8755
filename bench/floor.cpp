// The floor of a three-dimensional synthesis: the inverse real transforms of
// ncomp half spectra of N1 x N2 x N3 single-precision fields, and writing the
// fields, timed together. Benchmark only, never linked into the programs:
// FFTW 3 (Debian's libfftw3-dev), fftwf_plan_dft_c2r_3d in place, planned
// before the clock starts, on the given number of threads.
//
// Usage: floor N1 N2 N3 NCOMP THREADS OUTDIR
// Prints "floor <seconds>" (wall clock of transforms and writes).
#include <fftw3.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 7) {
    std::fprintf(stderr, "usage: floor N1 N2 N3 NCOMP THREADS OUTDIR\n");
    return 2;
  }
  const int n1 = std::atoi(argv[1]), n2 = std::atoi(argv[2]), n3 = std::atoi(argv[3]);
  const int ncomp = std::atoi(argv[4]), threads = std::atoi(argv[5]);
  const std::string dir = argv[6];
  const std::int64_t padded = 2 * (n3 / 2 + 1);  // floats per row in place
  const std::int64_t count = std::int64_t(n1) * n2 * padded;

  fftwf_init_threads();
  fftwf_plan_with_nthreads(threads);
  std::vector<float*> field(static_cast<std::size_t>(ncomp), nullptr);
  for (auto& f : field) f = fftwf_alloc_real(std::size_t(count));
  fftwf_plan plan = fftwf_plan_dft_c2r_3d(n1, n2, n3, reinterpret_cast<fftwf_complex*>(field[0]),
                                          field[0], FFTW_ESTIMATE);
  // Spectra of a deterministic pseudo-random kind (the values do not matter
  // to the timing, only that they are not all zero).
  std::uint32_t x = 12345;
  for (float* f : field)
    for (std::int64_t i = 0; i < count; ++i) {
      x = x * 1664525u + 1013904223u;
      f[i] = float(x >> 8) * (1.0f / 16777216.0f) - 0.5f;
    }

  const auto start = std::chrono::steady_clock::now();
  for (int c = 0; c < ncomp; ++c) {
    float* f = field[std::size_t(c)];
    fftwf_execute_dft_c2r(plan, reinterpret_cast<fftwf_complex*>(f), f);
    const std::string name = dir + "/floor_" + std::to_string(c) + ".bin";
    std::FILE* out = std::fopen(name.c_str(), "wb");
    if (out == nullptr) return 1;
    for (std::int64_t row = 0; row < std::int64_t(n1) * n2; ++row)
      if (std::fwrite(f + row * padded, sizeof(float), std::size_t(n3), out) != std::size_t(n3))
        return 1;
    if (std::fclose(out) != 0) return 1;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("floor %.3f\n", seconds);
  for (float* f : field) fftwf_free(f);
  fftwf_destroy_plan(plan);
  fftwf_cleanup_threads();
  return 0;
}
