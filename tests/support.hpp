#pragma once
// Shared helpers of the unit tests: the fatal-report pattern, scratch files,
// field arrays for the engines and closed forms of the isotropic model.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "numerics/arrays.hpp"
#include "numerics/fatal_error.hpp"

namespace wind::testing {

// The regular expression (POSIX extended, as GoogleTest uses on Linux) that
// matches the literal text s.
inline std::string literal(const std::string& s) {
  std::string r;
  for (char c : s) {
    if (std::string("\\^$.|?*+()[]{}").find(c) != std::string::npos) r += '\\';
    r += c;
  }
  return r;
}

// The three-line report of fatalError(message), as a regular expression for
// EXPECT_EXIT(..., ExitedWithCode(1), fatalReport("...")).
inline std::string fatalReport(const std::string& message) {
  return literal("Numerical Recipes run-time error...\n" + message +
                 "\n...now exiting to system...\n");
}

// The message with which fn() ends through fatalError, caught in-process with
// the throwing handler; "" when fn returns normally. For checks of a message
// alone, where a death test (a forked process) adds nothing.
template <class F>
std::string fatalMessage(F&& fn) {
  const ScopedFatalHandler scoped(throwFatalError);
  try {
    fn();
  } catch (const FatalError& e) {
    return e.what();
  }
  return "";
}

// A fresh, empty directory of that name under the test temporary directory.
// Test executables run in parallel, so each file uses its own prefix.
inline std::filesystem::path freshDir(const std::string& name) {
  const std::filesystem::path dir = std::filesystem::path(::testing::TempDir()) / name;
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

// Writes text to file, creating its folder if need be.
inline void writeText(const std::filesystem::path& file, const std::string& text) {
  if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path());
  std::ofstream(file) << text;
}

// The raw 4-byte floats of a binary field file.
inline std::vector<float> readFloats(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
  std::vector<float> v(bytes.size() / sizeof(float));
  std::memcpy(v.data(), bytes.data(), v.size() * sizeof(float));
  return v;
}

// One 1-based line vector(1, n1) per component.
inline std::vector<Vector> lines(int ncomp, int n1) {
  std::vector<Vector> f;
  for (int c = 0; c < ncomp; ++c) f.push_back(vector(1, n1));
  return f;
}

// One 1-based plane matrix(1, n1, 1, n2) per component.
inline std::vector<Matrix> planes(int ncomp, int n1, int n2) {
  std::vector<Matrix> f;
  for (int c = 0; c < ncomp; ++c) f.push_back(matrix(1, n1, 1, n2));
  return f;
}

// Closed forms of the isotropic von Karman model, two-sided in k1:
// F11(k1) = (9/55) alphaeps L^(5/3) (1 + (k1 L)^2)^(-5/6) along the wind and
// F22(k1) = F33(k1) = (3/110) alphaeps L^(5/3) (3 + 8 (k1 L)^2) (1 + (k1 L)^2)^(-11/6)
// across it.
inline double vonKarmanF11(double alphaeps, double L, double k1) {
  const double x = k1 * L;
  return 9.0 / 55.0 * alphaeps * std::pow(L, 5.0 / 3.0) * std::pow(1 + x * x, -5.0 / 6.0);
}
inline double vonKarmanF22(double alphaeps, double L, double k1) {
  const double x = k1 * L;
  return 3.0 / 110.0 * alphaeps * std::pow(L, 5.0 / 3.0) * (3 + 8 * x * x) *
         std::pow(1 + x * x, -11.0 / 6.0);
}

}  // namespace wind::testing
