#include "numerics/eigen.hpp"

#include <cmath>

#include "support/fatal_error.hpp"

namespace wind {

namespace {

constexpr int kMaxSweeps = 50;
constexpr int kThresholdSweeps = 3;  // sweeps with a rotation threshold
constexpr int kAbsorptionSweep = 4;  // after this sweep tiny elements are dropped
constexpr double kThresholdFactor = 0.2;
constexpr double kAbsorptionFactor = 100.0;

// True when adding g to |x| leaves it unchanged at single precision.
inline bool absorbs(float x, float g) {
  const float ax = std::fabs(x);
  return static_cast<float>(double(ax) + g) == ax;
}

// The rotation of one pair (x, y) of a matrix by the angle with sine s and
// tau = s / (1 + c).
template <class Ref>
inline void rotate(Ref x, Ref y, float s, float tau) {
  const float g = x;
  const float h = y;
  x = static_cast<float>(g - s * (h + g * double(tau)));
  y = static_cast<float>(h + s * (g - h * double(tau)));
}

// Cyclic Jacobi sweeps on 1-based arrays: A and V index as m[i][j], D, B and Z
// as w[i]. Shared by the heap-based and the fixed-size form so that both give
// the same bits.
template <class MatA, class VecD, class MatV, class Work>
bool jacobiSweeps(MatA& a, int n, VecD& d, MatV& v, int& nrot, Work& b, Work& z) {
  for (int ip = 1; ip <= n; ++ip) {
    for (int iq = 1; iq <= n; ++iq) v[ip][iq] = 0.0f;
    v[ip][ip] = 1.0f;
  }
  for (int ip = 1; ip <= n; ++ip) {
    b[ip] = d[ip] = a[ip][ip];
    z[ip] = 0.0f;
  }
  nrot = 0;
  for (int i = 1; i <= kMaxSweeps; ++i) {
    float sm = 0.0f;
    for (int ip = 1; ip <= n - 1; ++ip)
      for (int iq = ip + 1; iq <= n; ++iq)
        sm = static_cast<float>(sm + double(std::fabs(a[ip][iq])));
    if (sm == 0.0f) return true;
    const float tresh = i <= kThresholdSweeps
                            ? static_cast<float>(kThresholdFactor * sm / (double(n) * n))
                            : 0.0f;
    for (int ip = 1; ip <= n - 1; ++ip) {
      for (int iq = ip + 1; iq <= n; ++iq) {
        const float apq = a[ip][iq];
        const float g = static_cast<float>(kAbsorptionFactor * std::fabs(apq));
        if (i > kAbsorptionSweep && absorbs(d[ip], g) && absorbs(d[iq], g)) {
          a[ip][iq] = 0.0f;
        } else if (std::fabs(apq) > tresh) {
          float h = static_cast<float>(double(d[iq]) - d[ip]);
          float t;
          if (absorbs(h, g)) {
            t = static_cast<float>(double(apq) / h);
          } else {
            const float theta = static_cast<float>(0.5 * h / apq);
            t = static_cast<float>(1.0 / (std::fabs(theta) +
                                          std::sqrt(1.0 + double(theta) * theta)));
            if (theta < 0.0f) t = -t;
          }
          const float c = static_cast<float>(1.0 / std::sqrt(1.0 + double(t) * t));
          const float s = static_cast<float>(double(t) * c);
          const float tau = static_cast<float>(s / (1.0 + c));
          h = static_cast<float>(double(t) * apq);
          z[ip] = static_cast<float>(z[ip] - double(h));
          z[iq] = static_cast<float>(z[iq] + double(h));
          d[ip] = static_cast<float>(d[ip] - double(h));
          d[iq] = static_cast<float>(d[iq] + double(h));
          a[ip][iq] = 0.0f;
          for (int j = 1; j <= ip - 1; ++j) rotate<float&>(a[j][ip], a[j][iq], s, tau);
          for (int j = ip + 1; j <= iq - 1; ++j) rotate<float&>(a[ip][j], a[j][iq], s, tau);
          for (int j = iq + 1; j <= n; ++j) rotate<float&>(a[ip][j], a[iq][j], s, tau);
          for (int j = 1; j <= n; ++j) rotate<float&>(v[j][ip], v[j][iq], s, tau);
          ++nrot;
        }
      }
    }
    for (int ip = 1; ip <= n; ++ip) {
      b[ip] = static_cast<float>(b[ip] + double(z[ip]));
      d[ip] = b[ip];
      z[ip] = 0.0f;
    }
  }
  return false;
}

}  // namespace

void jacobi(Matrix& a, int n, Vector& d, Matrix& v, int& nrot) {
  Vector b = vector(1, n);
  Vector z = vector(1, n);
  if (!jacobiSweeps(a, n, d, v, nrot, b, z)) fatalError("Too many iterations in routine jacobi");
}

void jacobi3(float (&a)[4][4], float (&d)[4], float (&v)[4][4], int& nrot) {
  float b[4];
  float z[4];
  if (!jacobiSweeps(a, 3, d, v, nrot, b, z)) fatalError("Too many iterations in routine jacobi");
}

}  // namespace wind
