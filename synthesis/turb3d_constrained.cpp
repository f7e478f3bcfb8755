#include "synthesis/turb3d_constrained.hpp"

#include <algorithm>
#include <cmath>
#include <complex>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "numerics/cholesky.hpp"
#include "numerics/fft.hpp"
#include "support/fatal_error.hpp"
#include "support/threads.hpp"
#include "synthesis/classic_planes.hpp"
#include "synthesis/deviate_ring.hpp"
#include "synthesis/fourier_grid.hpp"

namespace wind::detail {

namespace {

using Complex = std::complex<double>;

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// Index of the field that holds component comp, or -1.
int fieldOf(std::span<const int> comps, int comp) {
  for (std::size_t c = 0; c < comps.size(); ++c)
    if (comps[c] == comp) return int(c);
  return -1;
}

// Element (a, b) of a symmetric ncomp x ncomp matrix packed row by row, a <= b.
int packed(int a, int b, int ncomp) {
  if (a > b) std::swap(a, b);
  return a * ncomp - a * (a - 1) / 2 + (b - a);
}

// exp(-i 2 pi m p / n), or cos(pi p) for the highest wave number m = +-n/2
// (the symmetric split, real); on a grid point p the phase is reduced exactly
// in integers.
Complex axisPhase(int m, const AxisPoint& p, int n) {
  if (2 * std::abs(m) == n)
    return p.node ? Complex(p.index % 2 == 0 ? 1.0 : -1.0, 0.0)
                  : Complex(std::cos(std::numbers::pi * p.spacings), 0.0);
  double turns = 0.0;  // m p / n, reduced to [0, 1)
  if (p.node) {
    const std::int64_t r = (std::int64_t(m) * p.index) % n;
    turns = double(r < 0 ? r + n : r) / n;
  } else {
    turns = std::fmod(double(m) * p.spacings, double(n)) / n;
  }
  return std::polar(1.0, -kTwoPi * turns);
}

// Layout of the per-pair arrays: [x][j][l], x a component or a packed
// component pair, j = 1 .. N2, l = 1 .. N3/2 + 1 fastest.
struct PlaneShape {
  int N2 = 0, nl = 0;
  std::size_t row(int x, int j) const { return (std::size_t(x) * N2 + std::size_t(j - 1)) * nl; }
  std::size_t size(int xs) const { return std::size_t(xs) * N2 * nl; }
};

// A table of rows of one length, row-major: t(r, c), and t.row(r) its row's
// first element.
template <class T>
class Rows {
 public:
  Rows() = default;
  Rows(std::size_t rows, std::size_t cols) : cols_(cols), v_(rows * cols) {}
  T& operator()(std::size_t r, std::size_t c) { return v_[r * cols_ + c]; }
  const T& operator()(std::size_t r, std::size_t c) const { return v_[r * cols_ + c]; }
  T* row(std::size_t r) { return v_.data() + r * cols_; }
  const T* row(std::size_t r) const { return v_.data() + r * cols_; }
  void fill(T x) { std::fill(v_.begin(), v_.end(), x); }

 private:
  std::size_t cols_ = 0;
  std::vector<T> v_;
};

// The tables of one call. The lines are taken grouped by the field they
// constrain (lineOf maps back to the caller's order), and the pairs a <= b
// grouped by their packed component pair e, so that the sums over lines and
// pairs run as plain loops over contiguous groups.
struct LineTables {
  int n = 0, npairs = 0;
  std::vector<int> lineOf, field;  // [a]: the caller's line, its field
  std::vector<int> lineFirst;      // lines of field c: lineFirst[c] .. lineFirst[c + 1] - 1
  Rows<Complex> Y;                 // (a, j - 1)
  Rows<double> zr, zi;             // (l - 1, a): Z_a(l) = zr + i zi
  Rows<double> zrLine, ziLine;     // the same as (a, l - 1)
  Rows<Complex> D;                 // (a, m), m = 0 .. N1/2
  std::vector<int> pairA, pairB;   // [k]
  std::vector<int> pairFirst;      // pairs of e: pairFirst[e] .. pairFirst[e + 1] - 1
  Rows<double> YYr, YYi;           // (k, j - 1): Y_a conj Y_b
  Rows<double> p, q;               // (l - 1, k): Z_a conj Z_b = p + i q

  LineTables(const Turb3dConstraints& c, const BoxGrid& g, std::span<const int> comps);

 private:
  void groupLines(const Turb3dConstraints& c, std::span<const int> comps);
  void phases(const Turb3dConstraints& c, const BoxGrid& g);
  void transforms(const Turb3dConstraints& c, int N1);
  void pairs(int ncomp, int N2, int nl);
};

LineTables::LineTables(const Turb3dConstraints& c, const BoxGrid& g, std::span<const int> comps) {
  groupLines(c, comps);
  phases(c, g);
  transforms(c, g.N1);
  pairs(int(comps.size()), g.N2, g.N3 / 2 + 1);
}

void LineTables::groupLines(const Turb3dConstraints& c, std::span<const int> comps) {
  const int ncomp = int(comps.size());
  n = int(c.lines.size());
  lineFirst.assign(std::size_t(ncomp) + 1, 0);
  for (int f = 0; f < ncomp; ++f) {
    lineFirst[f] = int(lineOf.size());
    for (int a = 0; a < n; ++a)
      if (fieldOf(comps, c.lines[a].comp) == f) {
        lineOf.push_back(a);
        field.push_back(f);
      }
  }
  lineFirst[ncomp] = n;
}

// Y_a(j) and Z_a(l), the phases of each line's point across and up.
void LineTables::phases(const Turb3dConstraints& c, const BoxGrid& g) {
  const int N2 = g.N2, nl = g.N3 / 2 + 1;
  const double dy = double(g.Lbox.y) / N2, dz = double(g.Lbox.z) / g.N3;
  Y = Rows<Complex>(n, N2);
  zr = zi = Rows<double>(nl, n);
  zrLine = ziLine = Rows<double>(n, nl);
  for (int a = 0; a < n; ++a) {
    const ConstraintLine& cl = c.lines[lineOf[a]];
    const AxisPoint py = axisPoint(cl.y, dy), pz = axisPoint(cl.z, dz);
    for (int j = 1; j <= N2; ++j) Y(a, j - 1) = axisPhase(waveIndex(j, N2), py, N2);
    for (int l = 1; l <= nl; ++l) {
      const Complex z = axisPhase(l - 1, pz, g.N3);
      zr(l - 1, a) = zrLine(a, l - 1) = z.real();
      zi(l - 1, a) = ziLine(a, l - 1) = z.imag();
    }
  }
}

// D_a(m) = (1/N1) sum_n values[n] exp(+2 pi i m n / N1), the forward realFft.
void LineTables::transforms(const Turb3dConstraints& c, int N1) {
  D = Rows<Complex>(n, N1 / 2 + 1);
  Vector line = vector(1, N1);
  for (int a = 0; a < n; ++a) {
    const std::vector<double>& values = c.lines[lineOf[a]].values;
    for (int i = 1; i <= N1; ++i) line[i] = static_cast<float>(values[i - 1]);
    realFft(line, N1, +1);
    D(a, 0) = Complex(double(line[1]) / N1, 0.0);
    D(a, N1 / 2) = Complex(double(line[2]) / N1, 0.0);
    for (int m = 1; m < N1 / 2; ++m)
      D(a, m) = Complex(double(line[2 * m + 1]) / N1, double(line[2 * m + 2]) / N1);
  }
}

// The pairs a <= b by component pair, and their products Y_a conj Y_b and
// Z_a conj Z_b.
void LineTables::pairs(int ncomp, int N2, int nl) {
  const int ne = ncomp * (ncomp + 1) / 2;
  pairFirst.assign(std::size_t(ne) + 1, 0);
  for (int e = 0; e < ne; ++e) {
    pairFirst[e] = int(pairA.size());
    for (int a = 0; a < n; ++a)
      for (int b = a; b < n; ++b)
        if (packed(field[a], field[b], ncomp) == e) {
          pairA.push_back(a);
          pairB.push_back(b);
        }
  }
  npairs = int(pairA.size());
  pairFirst[ne] = npairs;
  YYr = YYi = Rows<double>(npairs, N2);
  p = q = Rows<double>(nl, npairs);
  for (int k = 0; k < npairs; ++k) {
    const int a = pairA[k], b = pairB[k];
    for (int j = 0; j < N2; ++j) {
      const Complex yy = Y(a, j) * std::conj(Y(b, j));
      YYr(k, j) = yy.real();
      YYi(k, j) = yy.imag();
    }
    for (int l = 0; l < nl; ++l) {
      const Complex zz = Complex(zr(l, a), zi(l, a)) * std::conj(Complex(zr(l, b), zi(l, b)));
      p(l, k) = zz.real();
      q(l, k) = zz.imag();
    }
  }
}

// Solves M w = r (M Hermitian, its lower triangle given) by Cholesky, with
// the nugget rule; returns the relative nugget taken (0: none). factor is
// scratch of n^2 values, data of n; r is replaced by w.
double solveWithNugget(std::span<const Complex> M, int n, std::span<Complex> r,
                       std::span<Complex> factor, std::span<Complex> data) {
  if (n == 0) return 0.0;
  double mu = 0.0, dataNorm = 0.0;
  for (int a = 0; a < n; ++a) {
    mu += M[std::size_t(a) * n + a].real();
    dataNorm += std::norm(r[std::size_t(a)]);
  }
  mu /= n;
  if (!(mu > 0.0) || !std::isfinite(mu)) {
    std::fill(r.begin(), r.end(), Complex());
    return 0.0;
  }
  std::copy(r.begin(), r.end(), data.begin());
  constexpr double kLastNugget = 1.0;  // M + mu I has a condition number below n + 1
  for (double eps = 0.0; eps <= kLastNugget; eps = eps == 0.0 ? kFirstNugget : 10.0 * eps) {
    std::copy(M.begin(), M.end(), factor.begin());
    for (int a = 0; a < n; ++a) factor[std::size_t(a) * n + a] += eps * mu;
    const CholeskyStatus st = choleskyFactor(factor, n);
    if (!st.ok || st.maxPivot > std::sqrt(kMaxCondition) * st.minPivot) continue;
    std::copy(data.begin(), data.end(), r.begin());
    choleskySolve(factor, n, r);
    // The data's energy under the model, (D - L)^H (M + nu)^-1 (D - L), and
    // what the solve makes of it against the data's own size in units of mu.
    double energy = 0.0;
    for (int a = 0; a < n; ++a)
      energy += (std::conj(data[std::size_t(a)]) * r[std::size_t(a)]).real();
    const bool improbable = energy > kMaxEnergy * n;
    const bool amplified = energy * mu > kMaxAmplification * dataNorm;
    if (!(improbable && amplified)) return eps;
  }
  std::fill(r.begin(), r.end(), Complex());
  return kLastNugget;
}

// One thread's working arrays, allocated once per call.
class PairTask {
 public:
  PairTask(const ConstrainedSpectrum& s, const LineTables& t);

  // Planes i (deviates xi) and its mirror (deviates xm, empty when i is its
  // own mirror), held in the arrays of atI and atM (the same for a box held
  // whole); returns the relative nugget of the solve.
  double operator()(int i, std::span<const float> xi, std::span<const float> xm,
                    const Turb3dSpectrum& atI, const Turb3dSpectrum& atM);
  // A buffer for the deviates of plane p.
  std::span<float> buffer(int p) {
    return std::span<float>(x_).first(std::size_t(plan_.planeModes(p, p) * perMode_));
  }

 private:
  void planeCoefficients(int slot, int p, std::span<const float> x);
  const float* amplitudes(int slot) const;
  void covariance(const float* m, double scale, std::vector<double>& S, std::size_t at) const;
  void covariances(int i, int im);
  void coefficientSums(int i, int im);
  void lineTransforms();
  void lineCovariance();
  void correction(const std::vector<double>& S, const std::vector<double>& Gr,
                  const std::vector<double>& Gi, int c, int j);
  void addCorrection(int slot, int p, int j, int c, int l0, int l1);
  void phaseSums();
  void writeConjugates(int i, int j, int im, int jm);
  void update(int i, int im);

  const ConstrainedSpectrum& s_;
  const LineTables& t_;
  const Turb3dPlan& plan_;
  const Turb3dSpectrum* spectra_[2] = {nullptr, nullptr};  // of plane i and of its mirror
  PlaneShape shape_;
  int ncomp_, ne_, perMode_, nl_;
  double sPair_, sSelf_;  // D^2/2 and D^2/4
  int planes_[2] = {0, 0};
  std::vector<float> x_;
  Turb3dAmplitudes stores_[2];
  std::vector<double> Si_, Sm_;            // [e][j][l]
  Rows<double> Sp_, Sn_;                   // (e nl + l, j): Si + Sm, Si - Sm
  Rows<double> Tr_, Ti_;                   // (k, j)
  std::vector<double> Ar_, Ai_, Br_, Bi_;  // [c][j][l]
  std::vector<double> Gr_, Gi_, Hr_, Hi_;  // [c][j][l]
  std::vector<double> dr_, di_;            // [l]
  std::vector<double> sr_, si_;            // [a] or [k]: partial sums over l
  std::vector<Complex> M_, factor_, w_, data_;  // n x n, n x n, n, n
};

PairTask::PairTask(const ConstrainedSpectrum& s, const LineTables& t)
    : s_(s), t_(t), plan_(s.plan), shape_{s.plan.N2, s.plan.lNyquist},
      ncomp_(s.amplitude.ncomp), ne_(ncomp_ * (ncomp_ + 1) / 2), perMode_(2 * ncomp_),
      nl_(s.plan.lNyquist) {
  const double d = coefficientNorm(3, double(s.amplitude.Lbox.x) * double(s.amplitude.Lbox.y) *
                                          double(s.amplitude.Lbox.z));
  sPair_ = d * d / 2.0;
  sSelf_ = d * d / 4.0;
  const std::int64_t widest = plan_.widestPlane(1, plan_.N1);
  x_.assign(std::size_t(widest * perMode_), 0.0f);
  for (int k = 0; k < 2; ++k)
    if (s.store == nullptr) stores_[k].values.assign(std::size_t(widest * ncomp_ * ncomp_), 0.0f);
  for (auto* v : {&Si_, &Sm_}) v->assign(shape_.size(ne_), 0.0);
  Sp_ = Sn_ = Rows<double>(std::size_t(ne_) * nl_, s.plan.N2);
  Tr_ = Ti_ = Rows<double>(t.npairs, s.plan.N2);
  for (auto* v : {&Ar_, &Ai_, &Br_, &Bi_, &Gr_, &Gi_, &Hr_, &Hi_})
    v->assign(shape_.size(ncomp_), 0.0);
  dr_.assign(std::size_t(nl_), 0.0);
  di_.assign(std::size_t(nl_), 0.0);
  const auto n = std::size_t(t.n), np = std::size_t(t.npairs);
  sr_.assign(std::max(n, np), 0.0);
  si_.assign(std::max(n, np), 0.0);
  M_.assign(n * n, Complex());
  factor_.assign(n * n, Complex());
  w_.assign(n, Complex());
  data_.assign(n, Complex());
}

// The plain engine's coefficients of plane p from its deviates x, its
// amplitudes kept in store slot (or in the call's store).
void PairTask::planeCoefficients(int slot, int p, std::span<const float> x) {
  planes_[slot] = p;
  if (s_.store != nullptr) {
    const Turb3dPlaneStep step(plan_, s_.amplitude, s_.LimNormK, *spectra_[slot], s_.store);
    step(p, x);
  } else {
    const Turb3dPlaneStep step(plan_, s_.amplitude, s_.LimNormK, *spectra_[slot], &stores_[slot],
                               plan_.planeStart(p));
    step(p, x);
  }
}

// The amplitudes of the plane in slot, in the plan's order.
const float* PairTask::amplitudes(int slot) const {
  const std::int64_t nc2 = ncomp_ * ncomp_;
  return s_.store != nullptr ? s_.store->values.data() + plan_.planeStart(planes_[slot]) * nc2
                             : stores_[slot].values.data();
}

// S = scale m m^T, packed, at offset `at` of every component pair's block;
// three components written out (the common case, in the inner loop of every
// pair), each element the same sum in the same order as the general loop.
void PairTask::covariance(const float* m, double scale, std::vector<double>& S,
                          std::size_t at) const {
  const std::size_t block = shape_.size(1);
  if (ncomp_ == 3) {
    const double a0 = m[0], a1 = m[1], a2 = m[2], b0 = m[3], b1 = m[4], b2 = m[5], c0 = m[6],
                 c1 = m[7], c2 = m[8];
    double* s0 = &S[at];
    s0[0] = scale * (a0 * a0 + a1 * a1 + a2 * a2);
    s0[block] = scale * (a0 * b0 + a1 * b1 + a2 * b2);
    s0[2 * block] = scale * (a0 * c0 + a1 * c1 + a2 * c2);
    s0[3 * block] = scale * (b0 * b0 + b1 * b1 + b2 * b2);
    s0[4 * block] = scale * (b0 * c0 + b1 * c1 + b2 * c2);
    s0[5 * block] = scale * (c0 * c0 + c1 * c1 + c2 * c2);
    return;
  }
  int e = 0;
  for (int a = 0; a < ncomp_; ++a)
    for (int b = a; b < ncomp_; ++b, ++e) {
      double sum = 0.0;
      for (int r = 0; r < ncomp_; ++r) sum += double(m[a * ncomp_ + r]) * double(m[b * ncomp_ + r]);
      S[std::size_t(e) * block + at] = scale * sum;
    }
}

// S of plane i at (j, l) (Si), and of the wave vector (k1, k2_j, -k3_l) for
// 1 < l < N3/2 + 1 (Sm: the mirror plane's at row j' = mirror j), zero where
// k3 = 0 or N3/2, whose other half lies in plane i itself; then Sp = Si + Sm
// and Sn = Si - Sm. The amplitudes are walked in the plan's order; the
// conjugates a plane holds take the covariance of the mode they mirror.
void PairTask::covariances(int i, int im) {
  const int N2 = plan_.N2, nl = nl_, nc2 = ncomp_ * ncomp_;
  const std::size_t block = shape_.size(1);
  const bool self = i == im;
  std::fill(Sm_.begin(), Sm_.end(), 0.0);
  const float* base = amplitudes(0);
  for (int j = 1; j <= N2; ++j) {
    const bool row = plan_.inPlaneRow(i, j);
    const int l0 = row ? plan_.firstL(i, j) : 2, l1 = row ? nl : nl - 1;
    const float* m = base + plan_.rowOffset(i, j) * nc2;
    const bool selfRow = plan_.iSelf(i) && (j == 1 || j == plan_.jHigh);
    for (int l = l0; l <= l1; ++l, m += nc2) {
      const bool own = selfRow && (l == 1 || l == nl);
      covariance(m, own ? sSelf_ : sPair_, Si_, shape_.row(0, j) + std::size_t(l - 1));
    }
  }
  const auto copy = [&](std::vector<double>& to, int j, int l, int jFrom) {
    for (int e = 0; e < ne_; ++e)
      to[e * block + shape_.row(0, j) + std::size_t(l - 1)] =
          Si_[e * block + shape_.row(0, jFrom) + std::size_t(l - 1)];
  };
  if (i == 1)
    for (int e = 0; e < ne_; ++e) Si_[e * block] = 0.0;  // k = 0
  for (int j = 1; j <= N2; ++j) {
    const int jm = mirrorIndex(j, N2);
    if (self && j > plan_.jHigh) {
      copy(Si_, j, 1, jm);
      copy(Si_, j, nl, jm);
    }
  }
  if (self) {
    for (int j = 1; j <= N2; ++j)
      for (int l = 2; l < nl; ++l) copy(Sm_, j, l, mirrorIndex(j, N2));
  } else {
    const float* mirror = amplitudes(1);
    for (int jm = 1; jm <= N2; ++jm) {
      const float* m = mirror + plan_.rowOffset(im, jm) * nc2;
      const std::size_t at = shape_.row(0, mirrorIndex(jm, N2));
      for (int l = 2; l < nl; ++l, m += nc2) covariance(m, sPair_, Sm_, at + std::size_t(l - 1));
    }
  }
  for (int e = 0; e < ne_; ++e)
    for (int j = 1; j <= N2; ++j)
      for (int l = 0; l < nl; ++l) {
        const std::size_t x = shape_.row(e, j) + std::size_t(l);
        Sp_(e * nl + l, j - 1) = Si_[x] + Sm_[x];
        Sn_(e * nl + l, j - 1) = Si_[x] - Sm_[x];
      }
}

// A = C + conj C', B = i (C - conj C'), C = H/2 of plane i at (j, l) and C'
// that of the mirror plane at (j', l) for 1 < l < N3/2 + 1 (zero otherwise);
// C = 0 at k = 0.
void PairTask::coefficientSums(int i, int im) {
  const int N2 = plan_.N2, nl = nl_;
  for (int c = 0; c < ncomp_; ++c) {
    const F3tensor& u = spectra_[0]->fields[std::size_t(c)];
    const Matrix& ny = spectra_[0]->nyquist[std::size_t(c)];
    const F3tensor& um = spectra_[1]->fields[std::size_t(c)];
    for (int j = 1; j <= N2; ++j) {
      const int jm = mirrorIndex(j, N2);
      const std::size_t x = shape_.row(c, j);
      for (int l = 1; l <= nl; ++l) {
        const float* h = l < nl ? &u(i, j, 2 * l - 1) : &ny(i, 2 * j - 1);
        const double cr = 0.5 * double(h[0]), ci = 0.5 * double(h[1]);
        double mr = 0.0, mi = 0.0;  // conj C'
        if (l > 1 && l < nl) {
          const float* g = &um(im, jm, 2 * l - 1);
          mr = 0.5 * double(g[0]);
          mi = -0.5 * double(g[1]);
        }
        const std::size_t at = x + std::size_t(l - 1);
        Ar_[at] = cr + mr;
        Ai_[at] = ci + mi;
        Br_[at] = -(ci - mi);
        Bi_[at] = cr - mr;
      }
    }
  }
  if (i == 1)
    for (int c = 0; c < ncomp_; ++c) {
      const std::size_t at = shape_.row(c, 1);
      Ar_[at] = Ai_[at] = Br_[at] = Bi_[at] = 0.0;
    }
}

// L_a = sum_j Y_a(j) sum_l (A zr_a + B zi_a), into w_.
void PairTask::lineTransforms() {
  const int N2 = plan_.N2, nl = nl_, n = t_.n;
  std::fill(w_.begin(), w_.end(), Complex());
  for (int j = 1; j <= N2; ++j) {
    std::fill(sr_.begin(), sr_.begin() + n, 0.0);
    std::fill(si_.begin(), si_.begin() + n, 0.0);
    for (int c = 0; c < ncomp_; ++c) {
      const int a0 = t_.lineFirst[c], a1 = t_.lineFirst[c + 1];
      const std::size_t x = shape_.row(c, j);
      for (int l = 0; l < nl; ++l) {
        const double ar = Ar_[x + l], ai = Ai_[x + l], br = Br_[x + l], bi = Bi_[x + l];
        const double* zr = t_.zr.row(l);
        const double* zi = t_.zi.row(l);
        for (int a = a0; a < a1; ++a) {
          sr_[a] += ar * zr[a] + br * zi[a];
          si_[a] += ai * zr[a] + bi * zi[a];
        }
      }
    }
    for (int a = 0; a < n; ++a)
      w_[a] += t_.Y(a, j - 1) * Complex(sr_[a], si_[a]);
  }
}

// M_ab = sum_j Y_a conj Y_b (sum_l Sp p_ab + i sum_l Sn q_ab), lower triangle;
// the sums over l for every j at once (T_k over j, the inner loop), pair
// after pair of each component pair e.
void PairTask::lineCovariance() {
  const int N2 = plan_.N2, nl = nl_, n = t_.n, np = t_.npairs;
  Tr_.fill(0.0);
  Ti_.fill(0.0);
  for (int e = 0; e < ne_; ++e)
    for (int l = 0; l < nl; ++l) {
      const double* sp = Sp_.row(e * nl + l);
      const double* sn = Sn_.row(e * nl + l);
      for (int k = t_.pairFirst[e]; k < t_.pairFirst[e + 1]; ++k) {
        const double p = t_.p(l, k);
        const double q = t_.q(l, k);
        double* tr = Tr_.row(k);
        double* ti = Ti_.row(k);
        for (int j = 0; j < N2; ++j) {
          tr[j] += sp[j] * p;
          ti[j] += sn[j] * q;
        }
      }
    }
  for (int k = 0; k < np; ++k) {
    const double* yr = t_.YYr.row(k);
    const double* yi = t_.YYi.row(k);
    const double* tr = Tr_.row(k);
    const double* ti = Ti_.row(k);
    double mr = 0.0, mi = 0.0;
    for (int j = 0; j < N2; ++j) {
      mr += yr[j] * tr[j] - yi[j] * ti[j];
      mi += yr[j] * ti[j] + yi[j] * tr[j];
    }
    M_[std::size_t(t_.pairB[k]) * n + t_.pairA[k]] = Complex(mr, -mi);
  }
}

// (dr, di) over l = sum_c2 S[e(c, c2)](j, l) (Gr + i Gi)_c2(j, l).
void PairTask::correction(const std::vector<double>& S, const std::vector<double>& Gr,
                          const std::vector<double>& Gi, int c, int j) {
  std::fill(dr_.begin(), dr_.end(), 0.0);
  std::fill(di_.begin(), di_.end(), 0.0);
  for (int c2 = 0; c2 < ncomp_; ++c2) {
    const double* sv = &S[shape_.row(packed(c, c2, ncomp_), j)];
    const double* gr = &Gr[shape_.row(c2, j)];
    const double* gi = &Gi[shape_.row(c2, j)];
    for (int l = 0; l < nl_; ++l) {
      dr_[l] += sv[l] * gr[l];
      di_[l] += sv[l] * gi[l];
    }
  }
}

// H(p, j, l) += 2 (dr + i di)(l) of field c for l = l0 .. l1, rounded once;
// p the plane in slot (0: plane i, 1: its mirror).
void PairTask::addCorrection(int slot, int p, int j, int c, int l0, int l1) {
  F3tensor& u = spectra_[slot]->fields[std::size_t(c)];
  Matrix& ny = spectra_[slot]->nyquist[std::size_t(c)];
  for (int l = l0; l <= l1; ++l) {
    float* h = l < nl_ ? &u(p, j, 2 * l - 1) : &ny(p, 2 * j - 1);
    h[0] = static_cast<float>(double(h[0]) + 2.0 * dr_[std::size_t(l - 1)]);
    h[1] = static_cast<float>(double(h[1]) + 2.0 * di_[std::size_t(l - 1)]);
  }
}

// The phase sums of dC = sum_b S_{:, c_b} conj phi_b w_b: with q_b(j) =
// conj Y_b(j) w_b, P_c = sum_{b: c_b = c} q_b zr_b and Q_c likewise with
// zi_b; G = P - i Q for plane i and H = conj(P + i Q) for the mirror's wave
// vectors (k2_j' = -k2_j, k3 = k3_l).
void PairTask::phaseSums() {
  const int N2 = plan_.N2, nl = nl_, n = t_.n;
  for (int j = 1; j <= N2; ++j) {
    for (int b = 0; b < n; ++b) {
      const Complex qb =
          std::conj(t_.Y(b, j - 1)) * w_[b];
      sr_[std::size_t(b)] = qb.real();
      si_[std::size_t(b)] = qb.imag();
    }
    for (int c = 0; c < ncomp_; ++c) {
      const std::size_t x = shape_.row(c, j);
      std::fill(dr_.begin(), dr_.end(), 0.0);  // P
      std::fill(di_.begin(), di_.end(), 0.0);
      std::fill(&Hr_[x], &Hr_[x] + nl, 0.0);  // Q, until H takes its place
      std::fill(&Hi_[x], &Hi_[x] + nl, 0.0);
      for (int b = t_.lineFirst[c]; b < t_.lineFirst[c + 1]; ++b) {
        const double qr = sr_[std::size_t(b)], qi = si_[std::size_t(b)];
        const double* zr = t_.zrLine.row(b);
        const double* zi = t_.ziLine.row(b);
        for (int l = 0; l < nl; ++l) {
          dr_[l] += qr * zr[l];
          di_[l] += qi * zr[l];
          Hr_[x + l] += qr * zi[l];
          Hi_[x + l] += qi * zi[l];
        }
      }
      for (int l = 0; l < nl; ++l) {
        const double pr = dr_[l], pi = di_[l], qr = Hr_[x + l], qi = Hi_[x + l];
        Gr_[x + l] = pr + qi;
        Gi_[x + l] = pi - qr;
        Hr_[x + l] = pr - qi;
        Hi_[x + l] = -(pi + qr);
      }
    }
  }
}

// The conjugates in the planes k3 = 0 and N3/2 of row (i, j), which
// generates there: written at the mirror (im, jm) from the updated
// coefficients, or, for a mode that is its own mirror, its imaginary part
// zero.
void PairTask::writeConjugates(int i, int j, int im, int jm) {
  const bool own = plan_.iSelf(i) && (j == 1 || j == plan_.jHigh);
  const auto conjugate = [&](float* h, float* g) {
    if (own) {
      h[1] = 0.0f;
    } else {
      g[0] = h[0];
      g[1] = -h[1];
    }
  };
  for (int c = 0; c < ncomp_; ++c) {
    F3tensor& u = spectra_[0]->fields[std::size_t(c)];
    Matrix& ny = spectra_[0]->nyquist[std::size_t(c)];
    F3tensor& um = spectra_[1]->fields[std::size_t(c)];
    Matrix& nym = spectra_[1]->nyquist[std::size_t(c)];
    conjugate(&u(i, j, 1), &um(im, jm, 1));
    conjugate(&ny(i, 2 * j - 1), &nym(im, 2 * jm - 1));
  }
}

// H += 2 dC on plane i (w) and on the mirror's wave vectors with k3 strictly
// between 0 and N3/2 (conj w); the planes k3 = 0 and N3/2 take dC where they
// generate and the exact conjugate where they mirror.
void PairTask::update(int i, int im) {
  const int N2 = plan_.N2, nl = nl_;
  phaseSums();
  for (int j = 1; j <= N2; ++j) {
    const int jm = mirrorIndex(j, N2);
    const bool generates = plan_.inPlaneRow(i, j);  // its planes k3 = 0 and N3/2, k = 0 included
    for (int c = 0; c < ncomp_; ++c) {
      correction(Si_, Gr_, Gi_, c, j);
      addCorrection(0, i, j, c, 2, nl - 1);
      if (generates) {
        addCorrection(0, i, j, c, 1, 1);
        addCorrection(0, i, j, c, nl, nl);
      }
      if (i != im) {
        correction(Sm_, Hr_, Hi_, c, j);
        addCorrection(1, im, jm, c, 2, nl - 1);
      }
    }
    if (generates) writeConjugates(i, j, im, jm);
  }
}

double PairTask::operator()(int i, std::span<const float> xi, std::span<const float> xm,
                            const Turb3dSpectrum& atI, const Turb3dSpectrum& atM) {
  spectra_[0] = &atI;
  spectra_[1] = &atM;
  const int im = mirrorIndex(i, plan_.N1), n = t_.n;
  const bool self = i == im;
  planeCoefficients(0, i, xi);
  if (!self) planeCoefficients(1, im, xm);
  if (n == 0) return 0.0;
  covariances(i, im);
  coefficientSums(i, im);
  lineTransforms();
  lineCovariance();
  // w = M^-1 (D - L); real at the planes that are their own mirror.
  for (int a = 0; a < n; ++a) {
    const Complex d = t_.D(a, i - 1);
    w_[std::size_t(a)] = d - w_[std::size_t(a)];
  }
  if (self) {
    for (Complex& v : w_) v = Complex(v.real(), 0.0);
    for (Complex& v : M_) v = Complex(v.real(), 0.0);
  }
  const double nugget = solveWithNugget(M_, n, w_, factor_, data_);
  update(i, im);
  return nugget;
}

}  // namespace

void checkConstraintLines(const Turb3dConstraints& constraints, const BoxGrid& grid,
                          std::span<const int> comps) {
  const double dy = double(grid.Lbox.y) / grid.N2, dz = double(grid.Lbox.z) / grid.N3;
  for (std::size_t a = 0; a < constraints.lines.size(); ++a) {
    const ConstraintLine& c = constraints.lines[a];
    const std::string line = "turb3d: constraint line " + std::to_string(a + 1);
    if (c.values.size() != std::size_t(grid.N1))
      fatalError(line + " does not hold N1 = " + std::to_string(grid.N1) + " values");
    for (double v : c.values)
      if (!std::isfinite(v)) fatalError(line + " holds a value that is not a finite number");
    if (fieldOf(comps, c.comp) < 0) fatalError(line + " is a component the fields do not hold");
    if (!insideAxis(axisPoint(c.y, dy), grid.N2) || !insideAxis(axisPoint(c.z, dz), grid.N3))
      fatalError(line + " lies outside the span of the grid points");
  }
}

struct ConditionedPairs::State {
  LineTables tables;
  std::vector<std::unique_ptr<PairTask>> tasks;  // one per thread, made at first use
};

ConditionedPairs::ConditionedPairs(const ConstrainedSpectrum& s,
                                   const Turb3dConstraints& constraints, int threads)
    : s_(s),
      state_(std::make_unique<State>(
          State{LineTables(constraints, BoxGrid{s.plan.N1, s.plan.N2, s.plan.N3, s.amplitude.Lbox},
                           s.comps),
                std::vector<std::unique_ptr<PairTask>>(std::size_t(std::max(threads, 1)))})) {}

ConditionedPairs::~ConditionedPairs() = default;

namespace {

PairTask& taskOf(std::vector<std::unique_ptr<PairTask>>& tasks, const ConstrainedSpectrum& s,
                 const LineTables& tables) {
  std::unique_ptr<PairTask>& task = tasks[std::size_t(threadNumber())];
  if (!task) task = std::make_unique<PairTask>(s, tables);
  return *task;
}

}  // namespace

std::span<float> ConditionedPairs::deviates(int p) {
  return taskOf(state_->tasks, s_, state_->tables).buffer(p);
}

double ConditionedPairs::operator()(int i, std::span<const float> xi, std::span<const float> xm,
                                    const Turb3dSpectrum& atI, const Turb3dSpectrum& atM) {
  return taskOf(state_->tasks, s_, state_->tables)(i, xi, xm, atI, atM);
}

void conditionedPlanes(const ConstrainedSpectrum& s, std::int32_t seed,
                       const Turb3dConstraints& constraints, int threads, int slabPlanes,
                       Turb3dConstraintOutcome& outcome, SynthesisProgress* progress) {
  const Turb3dPlan& plan = s.plan;
  ConditionedPairs pairs(s, constraints, threads);
  const int half = plan.iHigh, perMode = 2 * s.amplitude.ncomp;
  // The states at the planes 1 .. N1/2 + 1, and where the plane after them starts.
  const ClassicPlaneDeviates firstHalf(plan, perMode, seed, half);
  std::vector<double> nugget(std::size_t(half), 0.0);
  // Pair i, its own plane drawn from its recorded state, its mirror's deviates xm.
  const auto pair = [&](int i, std::span<const float> xm) {
    const std::span<float> xi = pairs.deviates(i);
    firstHalf(i, xi);
    nugget[std::size_t(i - 1)] = pairs(i, xi, xm, s.spectrum, s.spectrum);
    if (progress != nullptr) progress->advance(xm.empty() ? 1 : 2);
  };
  // The planes that are their own mirror, then the others with their mirrors
  // N1/2 + 2 .. N1, drawn ahead in the sequential order.
  pair(1, {});
  if (half > 1) pair(half, {});
  if (half < plan.N1) {
    DeviateRing ring = allocateOrFail("the random deviates of turb3d", [&] {
      return DeviateRing(plan, half + 1, plan.N1, perMode, slabPlanes);
    });
    RandomStream stream = firstHalf.state(half + 1);
    ring.run(
        threads, [&](std::span<float> x) { gaussDeviates(stream, x); },
        [&](int im, std::span<const float> xm) { pair(mirrorIndex(im, plan.N1), xm); });
  }
  outcome.largestNugget = 0.0;
  outcome.nuggetWaveNumbers = 0;
  for (double v : nugget) {
    outcome.largestNugget = std::max(outcome.largestNugget, v);
    if (v > 0.0) ++outcome.nuggetWaveNumbers;
  }
}

void constraintDifferences(std::span<const F3tensor> fields, const BoxGrid& grid,
                           std::span<const int> comps, const Turb3dConstraints& constraints,
                           PlaneRange own, Turb3dConstraintOutcome& outcome) {
  const int N2 = grid.N2, N3 = grid.N3;
  const int first = int(own.first), last = int(own.last);
  const double dy = double(grid.Lbox.y) / N2, dz = double(grid.Lbox.z) / N3;
  const std::size_t n = constraints.lines.size();
  // Per line: the weights of the rows j and columns k it reads (a grid point
  // reads its own with weight 1).
  struct Reading {
    int field = 0;
    std::vector<int> rows;
    std::vector<double> wy, wz;
    int column = -1;  // the grid point's column, or -1: all with weights wz
  };
  std::vector<Reading> reading(n);
  for (std::size_t a = 0; a < n; ++a) {
    const ConstraintLine& cl = constraints.lines[a];
    Reading& r = reading[a];
    r.field = fieldOf(comps, cl.comp);
    const AxisPoint py = axisPoint(cl.y, dy), pz = axisPoint(cl.z, dz);
    std::vector<double> w(static_cast<std::size_t>(N2));
    interpolationWeights(py.spacings, N2, w);
    for (int j = 0; j < N2; ++j)
      if (!py.node || j == py.index) {
        r.rows.push_back(j + 1);
        r.wy.push_back(py.node ? 1.0 : w[std::size_t(j)]);
      }
    r.wz.assign(std::size_t(N3), 0.0);
    interpolationWeights(pz.spacings, N3, r.wz);
    if (pz.node) r.column = pz.index;
  }
  std::vector<double> largest(n, 0.0);
  // The largest differences of the planes first .. last into mine.
  const auto planes = [&](int first, int last, std::vector<double>& mine, std::vector<double>& R) {
    for (int i = first; i <= last; ++i)
      for (std::size_t a = 0; a < n; ++a) {
        const Reading& r = reading[a];
        const F3tensor& u = fields[std::size_t(r.field)];
        std::fill(R.begin(), R.end(), 0.0);
        for (std::size_t q = 0; q < r.rows.size(); ++q) {
          const float* row = &u(i, r.rows[q], 1);
          const double w = r.wy[q];
          for (int k = 0; k < N3; ++k) R[std::size_t(k)] += w * double(row[k]);
        }
        double v = 0.0;
        if (r.column >= 0) {
          v = R[std::size_t(r.column)];
        } else {
          for (int k = 0; k < N3; ++k) v += r.wz[std::size_t(k)] * R[std::size_t(k)];
        }
        mine[a] = std::max(mine[a], std::fabs(v - constraints.lines[a].values[std::size_t(i - 1)]));
      }
  };
  const int threads = own.count() * N2 * N3 * std::int64_t(n) >= (std::int64_t(1) << 22)
                          ? maxThreads()
                          : 1;
  if (threads <= 1) {
    std::vector<double> R(static_cast<std::size_t>(N3));
    planes(first, last, largest, R);
  } else {
#pragma omp parallel num_threads(threads)
    {
      std::vector<double> mine(n, 0.0), R(static_cast<std::size_t>(N3));
#pragma omp for schedule(static)
      for (int i = first; i <= last; ++i) planes(i, i, mine, R);
#pragma omp critical(turb3dConstraintDifferences)
      for (std::size_t a = 0; a < n; ++a) largest[a] = std::max(largest[a], mine[a]);
    }
  }
  outcome.largestDifference = largest;
}

}  // namespace wind::detail
