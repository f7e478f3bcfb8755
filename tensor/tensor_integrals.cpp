#include "tensor/tensor_integrals.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <iostream>
#include <utility>

#include "numerics/constants.hpp"
#include "numerics/quadrature.hpp"
#include "support/fatal_error.hpp"
#include "tensor/lifetime.hpp"
#include "tensor/spectral_tensor.hpp"

namespace wind {
namespace {

// The square of the single-precision 2 pi, in double.
constexpr double kTwoPiFSquared = 39.47841980153157;
// (pi / int_{-pi}^{pi} sinc^2(u) du)^2 in single precision: makes the product of
// two sinc^2 windows a unit-weight average.
constexpr float kWindowNorm = 1.22686f;
// Below this |x| sinc uses its Taylor form.
constexpr float kSincSeriesLimit = 0.0003f;
// Mapped integrands of one component vanish for |s| beyond this (the map's pole).
constexpr double kMapCutoff = 0.99999;
// Upper end of the mapped range in phiIntk2k3.
constexpr double kPlaneLimit = 0.99999999;

constexpr int kBudgetLine = 10000;  // phiIntComp, phiIntCompAlias
// phiIntk2k3. The sheared spectra need up to about 18 000 evaluations at k1 L
// just above kMinShearedK1L (tensor/model.hpp; fewer above k1 L = 0.1); the
// budget only stops a quadrature that has not converged, so a larger one
// changes no result that converged within a smaller one.
constexpr int kBudgetPlane = 100000;
constexpr int kBudgetCell = 14000;   // phiInt, phiIntkxSinc

constexpr const char* kIntegrateCompMessage =
    "IntegrateComp has to be 1 or 2 (corresponding to k_2 or k_3)";

// Scale of the map of an infinite range: max(k1, 1/L), both in float.
float mapScale(float k1, float L) {
  const float invL = static_cast<float>(1.0 / double(L));
  return std::max(k1, invL);
}

// kappa = ks s / (1 - |s|), stored as float.
float mapToWaveNumber(float ks, double s) {
  return static_cast<float>(double(ks) * s / (1 - std::fabs(s)));
}

void checkComponents(int i, int j) {
  if (i < 0 || i > 2 || j < 0 || j > 2)
    fatalError("Tensor component index out of range (must be 0, 1 or 2)");
}

void checkIntegrateComp(int IntegrateComp) {
  if (IntegrateComp != 1 && IntegrateComp != 2) fatalError(kIntegrateCompMessage);
}

// The wave vector with component k1, the integrated component kappa and the
// fixed one kOther, placed according to IntegrateComp (1: kappa is k2).
Vector3 lineWaveVector(float k1, float kappa, float kOther, int IntegrateComp) {
  return IntegrateComp == 1 ? Vector3(k1, kappa, kOther) : Vector3(k1, kOther, kappa);
}

// Diagnostics of a failed line or window integral, then the end of the run.
[[noreturn]] void reportFailure(const char* integrator, int flag, int nofun, const char* message) {
  std::cerr << integrator << " error" << flag << '\n' << "nofun" << nofun << std::endl;
  fatalError(message);
}

// The integral over the whole line of the component selected by IntegrateComp,
// mapped onto s in (-1, 1), of value(kappa, k): the tensor component at the wave
// vector k whose integrated component is kappa. phiIntComp and phiIntCompAlias
// differ only in value.
template <class Value>
double lineIntegral(float L, float k1, float kOther, int IntegrateComp, float tol, Value&& value) {
  const float ks = mapScale(k1, L);
  const auto integrand = [&](double s) {
    if (std::fabs(s) > kMapCutoff) return 0.0;
    const float kappa = mapToWaveNumber(ks, s);
    const float v = value(kappa, lineWaveVector(k1, kappa, kOther, IntegrateComp));
    const double jac = double(ks) + std::fabs(double(kappa));
    return jac * jac * v / ks;
  };
  int nofun = 0;
  int flag = 0;
  const double I = adapint(integrand, -1.0, 1.0, double(tol), kBudgetLine, nofun, flag);
  if (flag != 0 && k1 != 0) reportFailure("adapint", flag, nofun, "Error in adapint");
  return I;
}

}  // namespace

double sinc(double x) {
  if (std::fabs(x) >= double(kSincSeriesLimit)) return std::sin(x) / x;
  return 1 - x * x * (1.0 / 6);
}

double inertialPhi11(float alphaeps, Vector3 q) {
  const double q2 = double(q.y) * q.y;
  const double q3 = double(q.z) * q.z;
  const float kSquared = static_cast<float>(double(q.x) * q.x + q2 + q3);
  return double(kOneOverFourPi) * alphaeps * std::pow(double(kSquared), double(kMinusSeventeenSixthsF)) *
         (q2 + q3);
}

namespace {

bool sameModel(const TensorModel& a, const TensorModel& b) {
  return a.params.alphaeps == b.params.alphaeps && a.params.L == b.params.L &&
         a.params.Gamma == b.params.Gamma && a.Terrain == b.Terrain && a.tables == b.tables;
}

// Element (i, j) changes sign under P = diag(1, -1, 1) on both sides.
bool oddElement(int i, int j) { return (i == 1) != (j == 1); }

}  // namespace

// Three quarters full at most, so that a probe meets an empty slot soon.
constexpr std::size_t kMostFilled = (std::size_t{3} << CellMemo::kTensorSlotsLog2) / 4;

CellMemo::CellMemo()
    : tensor_(std::size_t{1} << kTensorSlotsLog2), sinc_(std::size_t{1} << kSincSlotsLog2) {
  filled_.reserve(kMostFilled);
}

std::size_t CellMemo::tableBytes() {
  return (std::size_t{1} << kTensorSlotsLog2) * sizeof(TensorSlot) +
         kMostFilled * sizeof(std::uint32_t) +
         (std::size_t{1} << kSincSlotsLog2) * sizeof(SincSlot);
}

void CellMemo::use(const TensorModel& model, float k1) {
  if (any_ && std::bit_cast<std::uint32_t>(k1) == std::bit_cast<std::uint32_t>(k1_) &&
      sameModel(model, model_))
    return;
  for (const std::uint32_t slot : filled_) tensor_[slot].key = kEmpty;
  filled_.clear();
  model_ = model;
  k1_ = k1;
  any_ = true;
}

float CellMemo::compute(float k2, float k3, std::size_t slot, int u) {
  const Mat3 phi = spectralTensor(model_, Vector3(k1_, k2, k3));
  ++computed_;
  static constexpr int kRow[6] = {0, 0, 0, 1, 1, 2}, kColumn[6] = {0, 1, 2, 1, 2, 2};
  if (filled_.size() < kMostFilled) {
    TensorSlot& s = tensor_[slot];
    s.key = std::uint64_t{std::bit_cast<std::uint32_t>(std::fabs(k2))} << 32 |
            std::bit_cast<std::uint32_t>(k3);
    // Stored as at +|k2|: the odd elements of a point at -k2 negated.
    const bool negative = std::signbit(k2);
    for (int v = 0; v < 6; ++v) {
      const float x = at(phi, kRow[v], kColumn[v]);
      s.phi[v] = negative && oddElement(kRow[v], kColumn[v]) ? -x : x;
    }
    filled_.push_back(std::uint32_t(slot));
  }
  return at(phi, kRow[u], kColumn[u]);
}

Mat3 CellMemo::tensor(const TensorModel& model, Vector3 k) {
  use(model, k.x);
  Mat3 phi;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      at(phi, i, j) = element(k.y, k.z, upperIndex(i, j), oddElement(i, j));
  return phi;
}

namespace {

// The cell integral of phiInt before its norm, with adapint2's count and status.
double cellIntegral(const TensorModel& model, Vector3 kc, Vector3 Delta, float tol, int i, int j,
                    CellMemo* memo, int& nofun, int& flag) {
  checkComponents(i, j);
  const float k1 = kc.x, k2c = kc.y, k3c = kc.z;
  const float Delta2 = Delta.y, Delta3 = Delta.z;
  if (memo != nullptr) memo->use(model, k1);
  const int u = CellMemo::upperIndex(i, j);
  const bool odd = oddElement(i, j);
  const auto integrand = [=, &model](double k2, double k3) {
    const float k2f = static_cast<float>(k2), k3f = static_cast<float>(k3);
    const double x2 = (k2c - k2) * Delta2 * 0.5, x3 = (k3c - k3) * Delta3 * 0.5;
    if (memo != nullptr) {
      const float s2 = static_cast<float>(memo->sinc(x2));
      const double m = memo->sinc(x3) * s2;
      return m * m * memo->element(k2f, k3f, u, odd);
    }
    const Mat3 phi = spectralTensor(model, Vector3(k1, k2f, k3f));
    const float s2 = static_cast<float>(sinc(x2));
    const double m = sinc(x3) * s2;
    return m * m * at(phi, i, j);
  };
  const double half2 = double(kTwoPiF) / Delta2;
  const double half3 = double(kTwoPiF) / Delta3;
  return adapint2(integrand, k2c - half2, k2c + half2, k3c - half3, k3c + half3, double(tol),
                  kBudgetCell, nofun, flag);
}

double cellMean(Vector3 Delta, double I) {
  return double(Delta.z) * (double(Delta.y) * kWindowNorm) / kTwoPiFSquared * I;
}

}  // namespace

double phiInt(const TensorModel& model, Vector3 kc, Vector3 Delta, float tol, int i, int j,
              CellMemo* memo) {
  int nofun = 0;
  int flag = 0;
  const double I = cellIntegral(model, kc, Delta, tol, i, j, memo, nofun, flag);
  if (flag != 0 && kc.x != 0) {
    std::cerr << "adapint2 error " << flag << '\n'
              << "result " << I << '\n'
              << "nofun " << nofun << '\n'
              << "k vector " << kc.x << ' ' << kc.y << ' ' << kc.z << std::endl;
    fatalError("Error in adapint2 (called from phiInt)");
  }
  return cellMean(Delta, I);
}

double phiIntStatus(const TensorModel& model, Vector3 kc, Vector3 Delta, float tol, int i, int j,
                    int& flag) {
  int nofun = 0;
  flag = 0;
  return cellMean(Delta, cellIntegral(model, kc, Delta, tol, i, j, nullptr, nofun, flag));
}

Mat3 phiIntMatrix(const TensorModel& model, Vector3 k, Vector3 Delta, float tol, CellMemo* memo) {
  static constexpr std::pair<int, int> kUpper[] = {{0, 0}, {0, 1}, {0, 2}, {1, 1}, {1, 2}, {2, 2}};
  Mat3 m;
  for (const auto& [i, j] : kUpper) at(m, i, j) = toFloat(phiInt(model, k, Delta, tol, i, j, memo));
  at(m, 1, 0) = at(m, 0, 1);
  at(m, 2, 0) = at(m, 0, 2);
  at(m, 2, 1) = at(m, 1, 2);
  return m;
}

double phiIntk2k3(const TensorModel& model, float k1, std::span<int, 2> pair, float tol) {
  checkComponents(pair[0], pair[1]);
  if (pair[0] > pair[1]) std::swap(pair[0], pair[1]);
  const int i = pair[0];
  const int j = pair[1];
  // Phi12 and Phi23 are odd in k2.
  if ((i == 0 && j == 1) || (i == 1 && j == 2)) return 0.0;

  const float ks = mapScale(k1, model.params.L);
  const auto integrand = [=, &model](double s2, double s3) {
    const float k2 = mapToWaveNumber(ks, s2);
    const float k3 = mapToWaveNumber(ks, s3);
    const Mat3 phi = spectralTensor(model, Vector3(k1, k2, k3));
    const double j3 = std::fabs(double(k3)) + ks;
    const double j2 = double(k2) + ks;
    return j3 * j3 * at(phi, i, j) * (j2 * j2) / (double(ks) * ks);
  };
  int nofun = 0;
  int flag = 0;
  // Only k2 >= 0: the remaining components are even in k2.
  const double I = adapint2(integrand, 0.0, kPlaneLimit, -kPlaneLimit, kPlaneLimit, double(tol),
                            kBudgetPlane, nofun, flag);
  if (flag != 0) reportFailure("adapint2", flag, nofun, "Error in adapint2");
  return 2 * I;
}

double phiIntComp(const TensorModel& model, float k1, float kOther, int IntegrateComp, float tol,
                  int i, int j) {
  checkIntegrateComp(IntegrateComp);
  checkComponents(i, j);
  return lineIntegral(model.params.L, k1, kOther, IntegrateComp, tol,
                      [&](float, Vector3 k) { return at(spectralTensor(model, k), i, j); });
}

double phiIntCompAlias(const TensorModel& model, float k1, float kOther, int IntegrateComp,
                       Pair2 periods, float tol, int i, int j) {
  checkIntegrateComp(IntegrateComp);
  checkComponents(i, j);
  const float p1 = periods.first, p2 = periods.second;
  return lineIntegral(model.params.L, k1, kOther, IntegrateComp, tol, [&](float kappa, Vector3 k) {
    float pij = at(spectralTensor(model, k), i, j);
    // Energy folded back from the aliases of the two resolved components.
    static constexpr int kShifts[] = {-2, -1, 1, 2};
    for (const int a : kShifts)
      for (const int b : kShifts) {
        const float k1Shifted = static_cast<float>(double(k1) + double(a) / p1);
        const float kOtherShifted = static_cast<float>(double(kOther) + double(b) / p2);
        pij = static_cast<float>(
            pij + inertialPhi11(model.params.alphaeps,
                                lineWaveVector(k1Shifted, kappa, kOtherShifted, IntegrateComp)));
      }
    return pij;
  });
}

double phiIntkxSinc(const TensorModel& model, float k1, float c, float Delta, int IntegrateComp,
                    float tol, int i, int j) {
  checkIntegrateComp(IntegrateComp);
  checkComponents(i, j);
  const float ks = mapScale(k1, model.params.L);
  const auto integrand = [=, &model](double s, double kOther) {
    if (std::fabs(s) > kMapCutoff) return 0.0;
    const float kappa = mapToWaveNumber(ks, s);
    const Mat3 phi =
        spectralTensor(model, lineWaveVector(k1, kappa, static_cast<float>(kOther), IntegrateComp));
    const double jac = std::fabs(double(kappa)) + ks;
    const double w = sinc((c - kOther) * Delta * 0.5);
    return jac * jac * at(phi, i, j) * (w * w) / ks;
  };
  const double half = double(kTwoPiF) / Delta;
  int nofun = 0;
  int flag = 0;
  const double I = adapint2(integrand, -1.0, 1.0, c - half, c + half, double(tol), kBudgetCell,
                            nofun, flag);
  if (flag != 0 && k1 != 0)
    reportFailure("adapint2", flag, nofun, "Error in adapint2 (called from phiIntkxSinc)");
  return std::sqrt(double(kWindowNorm)) * Delta / double(kTwoPiF) * I;
}

}  // namespace wind
