#include "numerics/interpolation.hpp"

#include <cstddef>
#include <cstdint>

#include "numerics/arrays.hpp"

namespace wind {

namespace {

// Element k (1-based) of a table passed as a span whose element 0 is entry 1.
template <class T>
T& at1(std::span<T> s, int k) {
  detail::checkIndex(k, 1, static_cast<int>(s.size()));
  return s[static_cast<std::size_t>(k - 1)];
}

// Number of entries of a table; the tables are far shorter than INT_MAX.
int tableLength(std::span<const float> s) { return static_cast<int>(s.size()); }

// A value above this asks splineSetup for a natural end.
constexpr double kNaturalThreshold = 0.99e30;

// Inverse of the bicubic Hermite system (Press et al., 3.6): row 4(i-1)+(j-1)
// gives c_ij from the 16 corner data (values, t-derivatives, u-derivatives and
// cross derivatives, each at corners 1..4).
constexpr int kBicubicWeights[16][16] = {
    {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0},
    {-3, 0, 0, 3, 0, 0, 0, 0, -2, 0, 0, -1, 0, 0, 0, 0},
    {2, 0, 0, -2, 0, 0, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0},
    {0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0},
    {0, 0, 0, 0, -3, 0, 0, 3, 0, 0, 0, 0, -2, 0, 0, -1},
    {0, 0, 0, 0, 2, 0, 0, -2, 0, 0, 0, 0, 1, 0, 0, 1},
    {-3, 3, 0, 0, -2, -1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {0, 0, 0, 0, 0, 0, 0, 0, -3, 3, 0, 0, -2, -1, 0, 0},
    {9, -9, 9, -9, 6, 3, -3, -6, 6, -6, -3, 3, 4, 2, 1, 2},
    {-6, 6, -6, 6, -4, -2, 2, 4, -3, 3, 3, -3, -2, -1, -1, -2},
    {2, -2, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {0, 0, 0, 0, 0, 0, 0, 0, 2, -2, 0, 0, 1, 1, 0, 0},
    {-6, 6, -6, 6, -3, -3, 3, 3, -4, 4, 2, -2, -2, -2, -1, -1},
    {4, -4, 4, -4, 2, 2, -2, -2, 2, -2, -2, 2, 1, 1, 1, 1},
};

}  // namespace

int tableLocate(std::span<const float> xx, float x) {
  const int n = tableLength(xx);
  if (n < 1) return 0;
  const bool rising = at1(xx, n) >= at1(xx, 1);
  int jl = 0;
  int ju = n + 1;
  while (ju - jl > 1) {
    const int jm = (ju + jl) / 2;
    if ((x >= at1(xx, jm)) == rising)
      jl = jm;
    else
      ju = jm;
  }
  if (x == at1(xx, 1)) return 1;
  if (x == at1(xx, n)) return n - 1;
  return jl;
}

void splineSetup(std::span<const float> x, std::span<const float> y, float yp1, float ypn,
                 std::span<float> y2) {
  const int n = tableLength(x);
  if (n < 2) fatalError("splineSetup needs at least two points");
  // Work vector u_1 .. u_{n-1} of the forward sweep.
  Vector uw = vector(1, n - 1);
  const std::span<float> u = uw.span();
  auto X = [&](int i) { return static_cast<double>(at1(x, i)); };
  auto Y = [&](int i) { return static_cast<double>(at1(y, i)); };

  if (yp1 > kNaturalThreshold) {
    at1(y2, 1) = 0.0f;
    at1(u, 1) = 0.0f;
  } else {
    at1(y2, 1) = -0.5f;
    at1(u, 1) = static_cast<float>((3.0 / (X(2) - X(1))) *
                                   ((Y(2) - Y(1)) / (X(2) - X(1)) - static_cast<double>(yp1)));
  }
  for (int i = 2; i <= n - 1; ++i) {
    const float sig = static_cast<float>((X(i) - X(i - 1)) / (X(i + 1) - X(i - 1)));
    const float p = static_cast<float>(static_cast<double>(sig) * at1(y2, i - 1) + 2.0);
    at1(y2, i) = static_cast<float>((static_cast<double>(sig) - 1.0) / p);
    at1(u, i) = static_cast<float>((Y(i + 1) - Y(i)) / (X(i + 1) - X(i)) -
                                   (Y(i) - Y(i - 1)) / (X(i) - X(i - 1)));
    at1(u, i) = static_cast<float>((6.0 * at1(u, i) / (X(i + 1) - X(i - 1)) -
                                    static_cast<double>(sig) * at1(u, i - 1)) /
                                   p);
  }
  float qn, un;
  if (ypn > kNaturalThreshold) {
    qn = 0.0f;
    un = 0.0f;
  } else {
    qn = 0.5f;
    un = static_cast<float>((3.0 / (X(n) - X(n - 1))) *
                            (static_cast<double>(ypn) - (Y(n) - Y(n - 1)) / (X(n) - X(n - 1))));
  }
  at1(y2, n) = static_cast<float>((static_cast<double>(un) -
                                   static_cast<double>(qn) * at1(u, n - 1)) /
                                  (static_cast<double>(qn) * at1(y2, n - 1) + 1.0));
  for (int k = n - 1; k >= 1; --k)
    at1(y2, k) = static_cast<float>(static_cast<double>(at1(y2, k)) * at1(y2, k + 1) + at1(u, k));
}

float splint(std::span<const float> xa, std::span<const float> ya, std::span<const float> y2a,
             float x) {
  const int n = tableLength(xa);
  if (n < 1) fatalError("Bad xa input to routine splint");
  int klo = 1;
  int khi = n;
  while (khi - klo > 1) {
    const int k = (khi + klo) / 2;
    if (at1(xa, k) > x)
      khi = k;
    else
      klo = k;
  }
  const float h = at1(xa, khi) - at1(xa, klo);
  if (h == 0.0f) fatalError("Bad xa input to routine splint");
  // The interpolation weights are stored quantities: rounded to float.
  const double a = static_cast<float>((static_cast<double>(at1(xa, khi)) - x) / h);
  const double b = static_cast<float>((static_cast<double>(x) - at1(xa, klo)) / h);
  const double hh = static_cast<double>(h) * h;
  return static_cast<float>(a * at1(ya, klo) + b * at1(ya, khi) +
                            ((a * a * a - a) * at1(y2a, klo) + (b * b * b - b) * at1(y2a, khi)) *
                                hh / 6.0);
}

BicubicCoefficients bicubicCoef(const BicubicCorners& y, const BicubicCorners& y1,
                                const BicubicCorners& y2, const BicubicCorners& y12, float d1,
                                float d2) {
  const double d1d2 = static_cast<double>(d1) * d2;
  float x[16];
  for (int k = 0; k < 4; ++k) {
    x[k] = y[k];
    x[k + 4] = static_cast<float>(static_cast<double>(y1[k]) * d1);
    x[k + 8] = static_cast<float>(static_cast<double>(y2[k]) * d2);
    x[k + 12] = static_cast<float>(static_cast<double>(y12[k]) * d1d2);
  }
  BicubicCoefficients c{};
  for (int row = 0; row < 16; ++row) {
    double sum = 0.0;
    for (int k = 0; k < 16; ++k) sum += kBicubicWeights[row][k] * static_cast<double>(x[k]);
    c[static_cast<std::size_t>(row / 4)][static_cast<std::size_t>(row % 4)] =
        static_cast<float>(sum);
  }
  return c;
}

BicubicValue bcuint(const BicubicCell& cell, float x1, float x2) {
  const float x1l = cell.x1l, x1u = cell.x1u, x2l = cell.x2l, x2u = cell.x2u;
  const float d1 = x1u - x1l;
  const float d2 = x2u - x2l;
  if (x1u == x1l || x2u == x2l) fatalError("Bad input in routine bcuint");
  const BicubicCoefficients c = bicubicCoef(cell.y, cell.y1, cell.y2, cell.y12, d1, d2);
  const double t = static_cast<float>((static_cast<double>(x1) - x1l) / d1);
  const double u = static_cast<float>((static_cast<double>(x2) - x2l) / d2);
  // The three results are float and rounded at every Horner step.
  float ansy = 0.0f, ansy1 = 0.0f, ansy2 = 0.0f;
  for (int i = 3; i >= 0; --i) {
    const auto& ci = c[static_cast<std::size_t>(i)];
    const auto col = [&](std::size_t r) {
      return static_cast<double>(c[r][static_cast<std::size_t>(i)]);
    };
    ansy = static_cast<float>(t * ansy + ((ci[3] * u + ci[2]) * u + ci[1]) * u + ci[0]);
    ansy2 = static_cast<float>(t * ansy2 + (3.0 * ci[3] * u + 2.0 * ci[2]) * u + ci[1]);
    ansy1 = static_cast<float>(u * ansy1 + (3.0 * col(3) * t + 2.0 * col(2)) * t + col(1));
  }
  return {ansy, static_cast<float>(static_cast<double>(ansy1) / d1),
          static_cast<float>(static_cast<double>(ansy2) / d2)};
}

}  // namespace wind
