#include "synthesis/turb3d_plane.hpp"

#include <algorithm>
#include <array>
#include <new>

#include "support/threads.hpp"
#include "synthesis/fourier_grid.hpp"

namespace wind::detail {

std::vector<CellMemo> cellMemos(Vector3 LimNormK) {
  std::vector<CellMemo> memos;
  if (LimNormK.x > 0.0f && LimNormK.y > 0.0f && LimNormK.z > 0.0f) {
    try {
      memos.resize(std::size_t(maxThreads()));
    } catch (const std::bad_alloc&) {
      memos.clear();
    }
  }
  return memos;
}

Turb3dPlaneStep::Turb3dPlaneStep(const Turb3dPlan& plan, const ModeAmplitude& amplitude,
                                 Vector3 LimNormK, Turb3dSpectrum spectrum,
                                 Turb3dAmplitudes* store, std::optional<std::int64_t> storeFirst,
                                 std::span<CellMemo> memos)
    : plan_(plan), amplitude_(amplitude), LimNormK_(LimNormK), spectrum_(spectrum),
      store_(store), reuse_(store != nullptr && store->filled),
      storeFirst_(storeFirst.value_or(plan.planeStart(int(spectrum.own.first)))), memos_(memos),
      D_(coefficientNorm(3, double(amplitude.Lbox.x) * double(amplitude.Lbox.y) *
                                double(amplitude.Lbox.z))),
      perMode_(2 * amplitude.ncomp), k3_(std::size_t(plan.lNyquist)) {
  for (int l = 1; l <= plan.lNyquist; ++l)
    k3_[std::size_t(l) - 1] = waveNumber(l - 1, amplitude.Lbox.z);
}

void Turb3dPlaneStep::operator()(int i, std::span<const float> deviates) const {
  const Turb3dPlan& plan = plan_;
  const std::int64_t first = plan.planeStart(i);
  const float* x = deviates.data();
  const bool save = store_ != nullptr && !reuse_;
  const float k1 = waveNumber(waveIndex(i, plan.N1), amplitude_.Lbox.x);
  const std::size_t thread = std::size_t(threadNumber());
  CellMemo* const memo = thread < memos_.size() ? &memos_[thread] : nullptr;
  const int ncomp = amplitude_.ncomp;
  // Rows j <= N2/2 + 1, each with its mirror -k2 (the rows above are those
  // mirrors), in chunks of l.
  std::array<Mat3, kChunk> mj, mm;
  for (int j = 1; j <= plan.jHigh; ++j) {
    const bool paired = 1 < j && j < plan.jHigh;
    const int jm = paired ? mirrorIndex(j, plan.N2) : j;
    const float k2 = waveNumber(waveIndex(j, plan.N2), amplitude_.Lbox.y);
    std::int64_t nj = first + plan.rowOffset(i, j), nm = first + plan.rowOffset(i, jm);
    std::array<float*, kMaxComponents> rowJ{}, rowM{};
    for (int c = 0; c < ncomp; ++c) {
      rowJ[std::size_t(c)] = &spectrum_.fields[std::size_t(c)](i, j, 1);
      rowM[std::size_t(c)] = &spectrum_.fields[std::size_t(c)](i, jm, 1);
    }
    for (int l0 = 1; l0 <= plan.lNyquist; l0 += kChunk) {
      const int l1 = std::min(plan.lNyquist, l0 + kChunk - 1);
      rowAmplitudes(i, j, paired ? jm : 0, k1, k2, l0, l1, nj, nm, memo, mj.data(), mm.data());
      for (int l = l0; l <= l1; ++l) {
        const bool interior = l != 1 && l != plan.lNyquist;
        const Mat3& a = mj[std::size_t(l - l0)];
        if (plan.generates(i, j, l)) {
          if (save) saveAmplitude(nj, a);
          const float* xj = x + (nj - first) * perMode_;
          if (interior) storeInterior(ncomp, rowJ.data(), l, a, xj);
          else storeCoefficient(i, j, l, a, xj);
          ++nj;
        }
        if (paired && plan.generates(i, jm, l)) {
          const Mat3& b = mm[std::size_t(l - l0)];
          if (save) saveAmplitude(nm, b);
          const float* xm = x + (nm - first) * perMode_;
          if (interior) storeInterior(ncomp, rowM.data(), l, b, xm);
          else storeCoefficient(i, jm, l, b, xm);
          ++nm;
        }
      }
    }
  }
}

void Turb3dPlaneStep::rowAmplitudes(int i, int j, int jm, float k1, float k2, int l0, int l1,
                                    std::int64_t nj, std::int64_t nm, CellMemo* memo, Mat3* mj,
                                    Mat3* mm) const {
  // The cells one by one; the points of the chunk together, then mirrored.
  std::array<float, kChunk> k3;
  std::array<int, kChunk> at;
  int points = 0;
  // The row's wave vectors lie in the LimNormK box only if k1 and k2 do.
  const float L = amplitude_.model.params.L;
  const bool cellRow =
      insideCellLimit(k1, L, LimNormK_.x) && insideCellLimit(k2, L, LimNormK_.y);
  for (int l = l0; l <= l1; ++l) {
    const bool genJ = plan_.generates(i, j, l);
    const bool genM = jm != 0 && plan_.generates(i, jm, l);
    if (!genJ && !genM) continue;
    Mat3& a = mj[l - l0];
    Mat3& b = mm[l - l0];
    if (reuse_) {
      if (genJ) a = loadAmplitude(nj++);
      if (genM) b = loadAmplitude(nm++);
      continue;
    }
    const Vector3 k(k1, k2, k3_[std::size_t(l) - 1]);
    if (cellRow && insideCellLimit(k.z, L, LimNormK_.z)) {
      a = amplitude_(k, true, memo);
      if (genM) b = amplitude_(Vector3(k.x, -k.y, k.z), true, memo);
    } else {
      k3[std::size_t(points)] = k.z;
      at[std::size_t(points++)] = l - l0;
    }
  }
  if (points == 0) return;
  std::array<Mat3, kChunk> point;
  amplitude_.pointAmplitudes(k1, k2, std::span<const float>(k3).first(std::size_t(points)),
                             std::span<Mat3>(point).first(std::size_t(points)));
  for (int p = 0; p < points; ++p) {
    const int l = at[std::size_t(p)];
    mj[l] = point[std::size_t(p)];
    if (jm != 0) mm[l] = amplitude_.mirroredPoint(mj[l]);
  }
}

namespace {

// D M (xr + i xi) of nc components at element pair (2l - 1, 2l) of the rows.
template <int nc>
inline void storeRow(float* const* rows, int l, const Mat3& m, const float* x, float D) {
  const Coefficient h = combineDeviates(m, nc, x);
  for (int c = 0; c < nc; ++c) {
    rows[c][2 * l - 2] = scaled(D, h.re[std::size_t(c)]);
    rows[c][2 * l - 1] = scaled(D, h.im[std::size_t(c)]);
  }
}

}  // namespace

void Turb3dPlaneStep::storeInterior(int ncomp, float* const* rows, int l, const Mat3& m,
                                    const float* x) const {
  switch (ncomp) {
    case 3: storeRow<3>(rows, l, m, x, D_); break;
    case 2: storeRow<2>(rows, l, m, x, D_); break;
    default: storeRow<1>(rows, l, m, x, D_); break;
  }
}

void Turb3dPlaneStep::storeCoefficient(int i, int j, int l, const Mat3& m, const float* x) const {
  const int ncomp = amplitude_.ncomp;
  const Coefficient h = combineDeviates(m, ncomp, x);
  const bool inPlane = l == 1 || l == plan_.lNyquist;
  const bool selfConjugate = plan_.iSelf(i) && (j == 1 || j == plan_.jHigh);
  const int iMirror = mirrorIndex(i, plan_.N1), jMirror = mirrorIndex(j, plan_.N2);
  for (int c = 0; c < ncomp; ++c) {
    const float re = scaled(D_, h.re[std::size_t(c)]);
    const float im = scaled(D_, h.im[std::size_t(c)]);
    F3tensor& u = spectrum_.fields[std::size_t(c)];
    if (!inPlane) {
      u(i, j, 2 * l - 1) = re;
      u(i, j, 2 * l) = im;
      continue;
    }
    // (real, imaginary) at (row, col) of the plane l = 1 or l = N3/2 + 1;
    // a row outside the slab goes to its mirror rows.
    Matrix& nyquist = spectrum_.nyquist[std::size_t(c)];
    const auto put = [&](int row, int col, float vr, float vi) {
      if (!spectrum_.own.contains(row)) {
        Matrix& m = spectrum_.mirrorRows[std::size_t(c)];
        const int at = (l == 1 ? 0 : 2 * plan_.N2) + 2 * col;
        m(row, at - 1) = vr;
        m(row, at) = vi;
      } else if (l == 1) {
        u(row, col, 1) = vr;
        u(row, col, 2) = vi;
      } else {
        nyquist(row, 2 * col - 1) = vr;
        nyquist(row, 2 * col) = vi;
      }
    };
    if (selfConjugate) {
      put(i, j, re, 0.0f);
    } else {
      put(i, j, re, im);
      put(iMirror, jMirror, re, -im);
    }
  }
}

Mat3 Turb3dPlaneStep::loadAmplitude(std::int64_t n) const {
  const int ncomp = amplitude_.ncomp;
  Mat3 m;
  const float* v = store_->values.data() + (n - storeFirst_) * ncomp * ncomp;
  for (int a = 0; a < ncomp; ++a)
    for (int b = 0; b < ncomp; ++b) at(m, a, b) = v[a * ncomp + b];
  return m;
}

void Turb3dPlaneStep::saveAmplitude(std::int64_t n, const Mat3& m) const {
  const int ncomp = amplitude_.ncomp;
  float* v = store_->values.data() + (n - storeFirst_) * ncomp * ncomp;
  for (int a = 0; a < ncomp; ++a)
    for (int b = 0; b < ncomp; ++b) v[a * ncomp + b] = at(m, a, b);
}

}  // namespace wind::detail
