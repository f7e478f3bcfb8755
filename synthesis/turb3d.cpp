#include "synthesis/turb3d.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <exception>
#include <new>
#include <vector>

#include "numerics/fft.hpp"
#include "numerics/random.hpp"
#include "support/fatal_error.hpp"
#include "support/threads.hpp"
#include "synthesis/deviate_ring.hpp"
#include "synthesis/fourier_grid.hpp"
#include "synthesis/plane_deviates.hpp"
#include "synthesis/turb3d_amplitude.hpp"
#include "synthesis/turb3d_constrained.hpp"
#include "synthesis/turb3d_plan.hpp"
#include "synthesis/turb3d_plane.hpp"

namespace wind {

namespace {

using detail::DeviateRing;
using detail::Turb3dPlan;
using detail::Turb3dPlaneStep;
using detail::Turb3dSpectrum;

// Below this many generated wave vectors a synthesis runs on the calling
// thread: waking the team would cost more than it saves.
constexpr std::int64_t kParallelMinModes = 2048;

// Planes per slab of drawn-ahead deviates: the ring's buffers take about
// kSlabShare of the fields' bytes, but at least two planes per thread, and
// at most the grid.
constexpr double kSlabShare = 0.0025;

int slabPlanes(const BoxGrid& g, int ncomp, std::int64_t planeModes, int threads) {
  const double fieldBytes = 4.0 * ncomp * double(g.N1) * g.N2 * g.N3;
  const double planeBytes = 4.0 * 2 * ncomp * double(planeModes);
  const double budget = kSlabShare * fieldBytes / (DeviateRing::kRing * planeBytes);
  const double planes = std::max(budget, 2.0 * threads);
  return planes >= g.N1 ? g.N1 : std::max(1, static_cast<int>(planes));
}

// The components and the grid; returns the number of components.
int checkGrid(std::span<const int> comps, const BoxGrid& grid) {
  const int N1 = grid.N1, N2 = grid.N2, N3 = grid.N3;
  const int ncomp = detail::componentCount(comps, 3, "Number of components not correct");
  if (ncomp < 3) {
    for (int c = 0; c < ncomp; ++c)
      if (comps[std::size_t(c)] < 0 || comps[std::size_t(c)] > 2)
        fatalError("Component number not correct");
  }
  if (N3 < 2)
    fatalError("The third dimension of a three-dimensional field needs at least 2 points");
  // Before any work: the plan, the mirror pairs and the transforms all take
  // the halves of even axes for granted.
  for (const int n : {N1, N2, N3}) detail::checkGridSize(n, "turb3d");
  return ncomp;
}

// Returns the number of components; the arrays are checked for the planes
// first .. last (rows may extend beyond them).
int checkArguments(std::span<F3tensor> fields, std::span<const int> comps, const BoxGrid& grid,
                   PlaneRange planes, const char* message) {
  const int N1 = grid.N1, N2 = grid.N2, N3 = grid.N3;
  const int ncomp = checkGrid(comps, grid);
  if (fields.size() < std::size_t(ncomp)) fatalError(message);
  for (int c = 0; c < ncomp; ++c) {
    const F3tensor& t = fields[std::size_t(c)];
    const bool rows = planes.count() == 0 || (t.rowLo() <= planes.first && planes.last <= t.rowHi());
    if (!rows || t.colLo() != 1 || t.colHi() != N2 || t.depLo() != 1 || t.depHi() != N3 ||
        planes.first < 1 || planes.last > N1)
      fatalError(message);
  }
  return ncomp;
}

// Rows of m cover r, and its columns are 1 .. cols.
bool covers(const Matrix& m, PlaneRange r, int cols) {
  return r.count() == 0 ||
         (m.rowLo() <= r.first && r.last <= m.rowHi() && m.colLo() == 1 && m.colHi() == cols);
}

// The amplitude store a call uses: the given one, read when filled, sized and
// filled otherwise; none when there is none or it cannot be had (the heap
// refuses its block), and the call then evaluates every amplitude, which gives
// the same bits.
Turb3dAmplitudes* prepareStore(Turb3dAmplitudes* store, std::int64_t values) {
  if (store == nullptr) return nullptr;
  if (store->filled) {
    if (std::int64_t(store->values.size()) != values)
      fatalError("turb3d: amplitude store belongs to another grid");
    return store;
  }
  try {
    store->values.assign(std::size_t(values), 0.0f);
  } catch (const std::bad_alloc&) {
    std::vector<float>().swap(store->values);
    return nullptr;
  }
  return store;
}

// The amplitude step over the planes, the deviates drawn ahead in the
// sequential order from the classic stream at the first plane's first deviate.
void classicPlanes(const Turb3dPlan& plan, const Turb3dPlaneStep& planeStep, int ncomp,
                   PlaneRange planes, RandomStream stream, SynthesisProgress* progress) {
  const int first = int(planes.first), last = int(planes.last);
  const int threads = plan.planeModes(first, last) >= kParallelMinModes ? maxThreads() : 1;
  const BoxGrid grid{last - first + 1, plan.N2, plan.N3, Vector3()};
  const int slab = slabPlanes(grid, ncomp, plan.widestPlane(int(planes.first), int(planes.last)), threads);
  DeviateRing ring = allocateOrFail("the random deviates of turb3d", [&] {
    return DeviateRing(plan, first, last, 2 * ncomp, slab);
  });
  ring.run(
      threads,
      [&](std::span<float> x) { gaussDeviates(stream, x); },
      [&](int i, std::span<const float> x) {
        planeStep(i, x);
        if (progress != nullptr) progress->advance();
      });
}

// The amplitude step over the planes in any order on every thread, each
// plane's deviates computed by deviatesOf(i, x) into a buffer of the thread's
// (allocated once per thread). A failure is carried out of the team and
// raised again on the calling thread; no plane starts after it.
void planesInAnyOrder(const Turb3dPlan& plan, const Turb3dPlaneStep& planeStep, int perMode,
                      PlaneRange planes, const detail::PlaneDeviates& deviatesOf,
                      SynthesisProgress* progress) {
  const int first = int(planes.first), last = int(planes.last);
  const int threads = plan.planeModes(first, last) >= kParallelMinModes ? maxThreads() : 1;
  const std::size_t widest = std::size_t(plan.widestPlane(int(planes.first), int(planes.last)) * perMode);
  std::exception_ptr failure;
  std::atomic<bool> failed{false};
#pragma omp parallel num_threads(threads)
  {
    std::vector<float> x;
    try {
      x.resize(widest);
    } catch (...) {
#pragma omp critical(turb3dPlaneFailure)
      if (!failure) failure = std::current_exception();
      failed.store(true);
    }
#pragma omp for schedule(dynamic)
    for (int i = first; i <= last; ++i) {
      if (failed.load(std::memory_order_relaxed)) continue;
      try {
        const std::span<float> mine =
            std::span<float>(x).first(std::size_t(plan.planeModes(i, i) * perMode));
        deviatesOf(i, mine);
        planeStep(i, mine);
        if (progress != nullptr) progress->advance();
      } catch (...) {
#pragma omp critical(turb3dPlaneFailure)
        if (!failure) failure = std::current_exception();
        failed.store(true);
      }
    }
  }
  if (failure) std::rethrow_exception(failure);
}

// The amplitude stage with the conditioning on constraint lines, the planes
// in mirror pairs (synthesis/turb3d_constrained.hpp).
void constrainedPlanes(const detail::ConstrainedSpectrum& s, std::int32_t seed,
                       const Turb3dWork& work, Turb3dConstraintOutcome& outcome) {
  const Turb3dPlan& plan = s.plan;
  const int threads = plan.modes() >= kParallelMinModes ? maxThreads() : 1;
  const BoxGrid grid{plan.N1, plan.N2, plan.N3, Vector3()};
  if (work.progress != nullptr) work.progress->begin(SynthesisProgress::amplitudes, plan.N1);
  detail::conditionedPlanes(s, seed, *work.constraints, threads,
                            slabPlanes(grid, s.amplitude.ncomp,
                                       plan.widestPlane(1, plan.N1), threads),
                            outcome, work.progress);
}

// The transforms: the mean (k = 0) of every component set to zero, then one
// inverse rlft3 per component, whose Nyquist plane is released after it.
void transformComponents(Turb3dSpectrum spectrum, int ncomp, const BoxGrid& grid,
                         SynthesisProgress* progress) {
  if (progress != nullptr) progress->begin(SynthesisProgress::transforms, ncomp);
  for (int c = 0; c < ncomp; ++c) {
    F3tensor& u = spectrum.fields[std::size_t(c)];
    u(1, 1, 1) = 0.0f;
    u(1, 1, 2) = 0.0f;
    rlft3(u, spectrum.nyquist[std::size_t(c)], grid.N1, grid.N2, grid.N3, -1);
    spectrum.nyquist[std::size_t(c)].reset();
    if (progress != nullptr) progress->advance();
  }
}

// The mode amplitude of a request with ncomp components.
detail::ModeAmplitude modeAmplitude(const Turb3dRequest& r, int ncomp) {
  return {.model = r.model,
          .Lbox = r.grid.Lbox,
          .ncomp = ncomp,
          .c0 = ncomp < 3 ? r.comps[0] : 0,
          .c1 = ncomp == 2 ? r.comps[1] : 1,
          .arithmetic = tensorArithmetic(r.work.random)};
}

// The amplitude stage of a checked slab.
void slabSpectrum(const Turb3dSpectrum& spectrum, int ncomp, const Turb3dRequest& r) {
  const Turb3dWork& work = r.work;
  const Turb3dPlan plan(r.grid);
  const PlaneRange planes = spectrum.own;
  const int first = int(planes.first), last = int(planes.last);
  if (work.progress != nullptr) work.progress->begin(SynthesisProgress::amplitudes, planes.count());
  if (planes.count() == 0) return;
  Turb3dAmplitudes* const store =
      prepareStore(work.amplitudes, plan.planeModes(first, last) * ncomp * ncomp);
  std::vector<CellMemo> memos = detail::cellMemos(r.LimNormK);
  const Turb3dPlaneStep planeStep(plan, modeAmplitude(r, ncomp), r.LimNormK, spectrum, store,
                                  std::nullopt, memos);
  if (work.random == RandomStreamKind::counter)
    planesInAnyOrder(plan, planeStep, 2 * ncomp, planes,
                     detail::counterPlaneDeviates(plan, ncomp, r.start.seed), work.progress);
  else
    classicPlanes(plan, planeStep, ncomp, planes, r.start.classic, work.progress);
  if (store != nullptr) store->filled = true;
}

}  // namespace

const char* randomStreamName(RandomStreamKind kind) {
  return kind == RandomStreamKind::counter ? "counter" : "classic";
}

TensorArithmetic tensorArithmetic(RandomStreamKind kind) {
  return kind == RandomStreamKind::counter ? TensorArithmetic::lanes : TensorArithmetic::classic;
}

const char* arithmeticName(RandomStreamKind kind) {
  return tensorArithmetic(kind) == TensorArithmetic::lanes ? "lanes" : "classic";
}

std::int64_t turb3dAmplitudeBytes(BoxGrid grid, int ncomp) {
  if (grid.N3 < 2) return 0;
  return Turb3dPlan(grid).modes() * ncomp * ncomp * std::int64_t(sizeof(float));
}

double turb3dWorkBytes(BoxGrid grid, int ncomp) {
  if (grid.N3 < 2) return 0.0;
  // Without the plan, which would itself take N1 + 1 integers: no plane
  // generates more than N2 (N3/2 + 1) wave vectors, nor the grid more than N1
  // times that.
  const double planeModes = double(grid.N2) * (grid.N3 / 2 + 1);
  const int threads = double(grid.N1) * planeModes >= double(kParallelMinModes) ? maxThreads() : 1;
  const double slab =
      slabPlanes(grid, ncomp, static_cast<std::int64_t>(planeModes), threads) * planeModes;
  const double deviates = DeviateRing::kRing * slab * 2 * ncomp;
  const double nyquist = double(ncomp) * grid.N1 * 2 * grid.N2;
  const double planStarts = double(grid.N1) + 1;
  const double memos = double(threads) * double(sizeof(CellMemo) + CellMemo::tableBytes());
  return (deviates + nyquist) * double(sizeof(float)) + planStarts * double(sizeof(std::int64_t)) +
         memos;
}

std::int64_t turb3dPlaneStart(BoxGrid grid, int i) { return Turb3dPlan(grid).planeStart(i); }

PlaneRange turb3dMirrorTargets(std::int64_t N1, PlaneRange own) {
  // Planes 1 < i < N1/2 + 1 of own write into N1 - i + 2; own, contiguous and
  // starting below those mirrors, can only cover their low end.
  const std::int64_t a = std::max<std::int64_t>(own.first, 2);
  const std::int64_t b = std::min<std::int64_t>(own.last, N1 / 2);
  if (a > b) return {};
  PlaneRange targets{N1 - b + 2, N1 - a + 2};
  if (own.contains(targets.first)) targets.first = own.last + 1;
  return targets;
}

std::optional<Vector3> turb3dCellFailure(std::span<const int> comps, const TensorModel& model,
                                         BoxGrid grid, Vector3 LimNormK) {
  if (!(0.0f < LimNormK.y && 0.0f < LimNormK.z)) return std::nullopt;
  // (k1, 0, 0) for k1 > 0: generated (the planes l = 1 hold only one of each
  // pair k, -k), with the engine's pairs of components in its order, while
  // k1 is below kCellCheckShare of the widest cell across the wind.
  const double across = std::min(double(grid.Lbox.y), double(grid.Lbox.z));
  const int last = std::min(grid.N1 / 2, kCellCheckCells);
  for (int m = 1; m <= last && m * across < kCellCheckShare * grid.Lbox.x; ++m) {
    const Vector3 k(detail::waveNumber(m, grid.Lbox.x), 0.0f, 0.0f);
    if (!detail::insideCellLimit(k.x, model.params.L, LimNormK.x)) break;
    for (std::size_t a = 0; a < comps.size(); ++a)
      for (std::size_t b = a; b < comps.size(); ++b) {
        int flag = 0;
        phiIntStatus(model, k, grid.Lbox, detail::kCellTol, comps[a], comps[b], flag);
        if (flag != 0) return k;
      }
  }
  return std::nullopt;
}

void turb3d(std::span<F3tensor> fields, const Turb3dRequest& request) {
  const std::span<const int> comps = request.comps;
  const BoxGrid& grid = request.grid;
  const Turb3dWork& work = request.work;
  const PlaneRange all{1, grid.N1};
  const int ncomp =
      checkArguments(fields, comps, grid, all, "turb3d: field array does not match the grid");
  for (int c = 0; c < ncomp; ++c) {
    const F3tensor& t = fields[std::size_t(c)];
    if (t.rowLo() != 1 || t.rowHi() != grid.N1)
      fatalError("turb3d: field array does not match the grid");
  }
  const std::span<const int> fieldComps = ncomp == 3 ? std::span<const int>(kAllComponents) : comps;
  if (work.constraints != nullptr) {
    if (work.random != RandomStreamKind::classic)
      fatalError("turb3d: constraint lines are held with the classic random stream only");
    detail::checkConstraintLines(*work.constraints, grid, fieldComps);
  }
  request.model.checkTables();

  // The k3 = N3/2 plane of each component, in the layout of rlft3.
  std::array<Matrix, 3> nyquistPlane;
  for (int c = 0; c < ncomp; ++c) nyquistPlane[std::size_t(c)] = matrix(1, grid.N1, 1, 2 * grid.N2);
  const Turb3dSpectrum spectrum{fields, std::span<Matrix>(nyquistPlane.data(), std::size_t(ncomp)),
                                {}, all};
  Turb3dConstraintOutcome outcome;
  const std::int32_t seed = request.start.seed;
  if (work.constraints == nullptr) {
    Turb3dRequest fromSeed = request;
    fromSeed.start = Turb3dSlabStart::atSeed(seed);
    slabSpectrum(spectrum, ncomp, fromSeed);
  } else {
    const Turb3dPlan plan(grid);
    Turb3dAmplitudes* const store = prepareStore(work.amplitudes, plan.modes() * ncomp * ncomp);
    constrainedPlanes({plan, modeAmplitude(request, ncomp), request.LimNormK, spectrum, store,
                       fieldComps},
                      seed, work, outcome);
    if (store != nullptr) store->filled = true;
  }
  transformComponents(spectrum, ncomp, grid, work.progress);
  if (work.constraints != nullptr) {
    detail::constraintDifferences(fields, grid, fieldComps, *work.constraints, all, outcome);
    if (work.outcome != nullptr) *work.outcome = outcome;
  }
}

void turb3dSlab(const Turb3dSlab& slab, const Turb3dRequest& request) {
  constexpr const char* kCover = "turb3d: slab arrays do not cover the planes";
  const BoxGrid& grid = request.grid;
  const int ncomp = checkArguments(slab.fields, request.comps, grid, slab.planes, kCover);
  const PlaneRange targets = turb3dMirrorTargets(grid.N1, slab.planes);
  if (slab.nyquist.size() < std::size_t(ncomp) ||
      (targets.count() > 0 && slab.mirrorRows.size() < std::size_t(ncomp)))
    fatalError(kCover);
  for (int c = 0; c < ncomp; ++c)
    if (!covers(slab.nyquist[std::size_t(c)], slab.planes, 2 * grid.N2) ||
        (targets.count() > 0 && !covers(slab.mirrorRows[std::size_t(c)], targets, 4 * grid.N2)))
      fatalError(kCover);
  request.model.checkTables();
  const Turb3dSpectrum spectrum{slab.fields, slab.nyquist, slab.mirrorRows, slab.planes};
  slabSpectrum(spectrum, ncomp, request);
}

struct Turb3dPairs::State {
  Turb3dPlan plan;
  detail::ModeAmplitude amplitude;
  BoxGrid grid;
  Vector3 LimNormK;
  std::vector<int> comps;  // of the fields
  const Turb3dConstraints& constraints;
  detail::ConstrainedSpectrum spectrum;
  std::unique_ptr<detail::ConditionedPairs> pairs;

  State(const Turb3dRequest& r, int ncomp)
      : plan(r.grid), amplitude(modeAmplitude(r, ncomp)), grid(r.grid), LimNormK(r.LimNormK),
        comps(ncomp == 3 ? std::vector<int>(kAllComponents.begin(), kAllComponents.end())
                         : std::vector<int>(r.comps.begin(), r.comps.end())),
        constraints(*r.work.constraints),
        spectrum{plan, amplitude, LimNormK, {}, nullptr, comps} {}
};

namespace {

detail::Turb3dSpectrum spectrumOf(const Turb3dSlab& s) {
  return {s.fields, s.nyquist, s.mirrorRows, s.planes};
}

}  // namespace

Turb3dPairs::Turb3dPairs(const Turb3dRequest& request, int threads) {
  const int ncomp = checkGrid(request.comps, request.grid);
  if (request.work.constraints == nullptr) fatalError("turb3d: no constraint lines");
  state_ = std::make_unique<State>(request, ncomp);
  detail::checkConstraintLines(*request.work.constraints, request.grid, state_->comps);
  request.model.checkTables();
  state_->pairs =
      std::make_unique<detail::ConditionedPairs>(state_->spectrum, state_->constraints, threads);
}

Turb3dPairs::~Turb3dPairs() = default;

std::int64_t Turb3dPairs::deviateCount(int p) const {
  return state_->plan.planeModes(p, p) * 2 * state_->amplitude.ncomp;
}

std::int64_t Turb3dPairs::deviateStart(int p) const {
  return state_->plan.planeStart(p) * 2 * state_->amplitude.ncomp;
}

double Turb3dPairs::operator()(int i, std::span<const float> xi, std::span<const float> xm,
                               const Turb3dSlab& atI, const Turb3dSlab& atM) {
  return (*state_->pairs)(i, xi, xm, spectrumOf(atI), spectrumOf(atM));
}

std::vector<double> Turb3dPairs::differences(std::span<const F3tensor> fields,
                                             PlaneRange planes) const {
  Turb3dConstraintOutcome outcome;
  outcome.largestDifference.assign(state_->constraints.lines.size(), 0.0);
  if (planes.count() > 0)
    detail::constraintDifferences(fields, state_->grid, state_->comps, state_->constraints, planes,
                                  outcome);
  return outcome.largestDifference;
}

}  // namespace wind
