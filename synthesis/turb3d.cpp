#include "synthesis/turb3d.hpp"

#include <algorithm>
#include <array>

#include "numerics/fatal_error.hpp"
#include "numerics/fft.hpp"
#include "numerics/random.hpp"
#include "numerics/threads.hpp"
#include "synthesis/deviate_ring.hpp"
#include "synthesis/fourier_grid.hpp"
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

// Returns the number of components.
int checkArguments(std::span<F3tensor> fields, std::span<const int> comps, const BoxGrid& grid) {
  const int N1 = grid.N1, N2 = grid.N2, N3 = grid.N3;
  const int ncomp = detail::componentCount(comps, 3, "Number of components not correct");
  if (ncomp < 3) {
    for (int c = 0; c < ncomp; ++c)
      if (comps[std::size_t(c)] < 0 || comps[std::size_t(c)] > 2)
        fatalError("Component number not correct");
  }
  if (N3 < 2)
    fatalError("The third dimension of a three-dimensional field needs at least 2 points");
  if (fields.size() < std::size_t(ncomp)) fatalError("turb3d: field array does not match the grid");
  for (int c = 0; c < ncomp; ++c) {
    const F3tensor& t = fields[std::size_t(c)];
    if (t.rowLo() != 1 || t.rowHi() != N1 || t.colLo() != 1 || t.colHi() != N2 || t.depLo() != 1 ||
        t.depHi() != N3)
      fatalError("turb3d: field array does not match the grid");
  }
  return ncomp;
}

// The amplitude store of a call: read when filled, sized and filled otherwise.
void prepareStore(Turb3dAmplitudes* store, std::int64_t values) {
  if (store == nullptr) return;
  if (store->filled) {
    if (std::int64_t(store->values.size()) != values)
      fatalError("turb3d: amplitude store belongs to another grid");
    return;
  }
  store->values.assign(std::size_t(values), 0.0f);
}

// The amplitude step over every plane, the deviates drawn ahead in the
// sequential order from one generator started at seed.
void synthesizePlanes(const Turb3dPlan& plan, const Turb3dPlaneStep& planeStep, int ncomp,
                      std::int32_t seed, SynthesisProgress* progress) {
  const int threads = plan.modes() >= kParallelMinModes ? maxThreads() : 1;
  std::int64_t widestPlane = 0;
  for (int i = 1; i <= plan.N1; ++i) widestPlane = std::max(widestPlane, plan.planeModes(i, i));
  const BoxGrid grid{plan.N1, plan.N2, plan.N3, Vector3()};
  DeviateRing ring(plan, 1, plan.N1, 2 * ncomp, slabPlanes(grid, ncomp, widestPlane, threads));

  RandomGenerator gen;
  std::int32_t state = seed;
  if (progress != nullptr) progress->begin(SynthesisProgress::amplitudes, plan.N1);
  ring.run(
      threads,
      [&](std::span<float> x) {
        for (float& v : x) v = gaussDeviate(gen, state);
      },
      [&](int i, std::span<const float> x) {
        planeStep(i, x);
        if (progress != nullptr) progress->advance();
      });
}

// The amplitude stage with the conditioning on constraint lines, the planes
// in mirror pairs (synthesis/turb3d_constrained.hpp).
void constrainedPlanes(const detail::ConstrainedSpectrum& s, std::int32_t seed,
                       const Turb3dWork& work, Turb3dConstraintOutcome& outcome) {
  const Turb3dPlan& plan = s.plan;
  const int threads = plan.modes() >= kParallelMinModes ? maxThreads() : 1;
  std::int64_t widestPlane = 0;
  for (int i = 1; i <= plan.N1; ++i) widestPlane = std::max(widestPlane, plan.planeModes(i, i));
  const BoxGrid grid{plan.N1, plan.N2, plan.N3, Vector3()};
  if (work.progress != nullptr) work.progress->begin(SynthesisProgress::amplitudes, plan.N1);
  detail::conditionedPlanes(s, seed, *work.constraints, threads,
                            slabPlanes(grid, s.amplitude.ncomp, widestPlane, threads), outcome,
                            work.progress);
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

}  // namespace

std::int64_t turb3dAmplitudeBytes(BoxGrid grid, int ncomp) {
  if (grid.N3 < 2) return 0;
  return Turb3dPlan(grid).modes() * ncomp * ncomp * std::int64_t(sizeof(float));
}

void turb3d(std::span<F3tensor> fields, std::span<const int> comps, const TensorModel& model,
            BoxGrid grid, std::int32_t seed, Vector3 LimNormK, const Turb3dWork& work) {
  const int ncomp = checkArguments(fields, comps, grid);
  const std::span<const int> fieldComps = ncomp == 3 ? std::span<const int>(kAllComponents) : comps;
  if (work.constraints != nullptr) detail::checkConstraintLines(*work.constraints, grid, fieldComps);
  model.checkTables();
  const Turb3dPlan plan(grid);
  prepareStore(work.amplitudes, plan.modes() * ncomp * ncomp);

  // The k3 = N3/2 plane of each component, in the layout of rlft3.
  std::array<Matrix, 3> nyquistPlane;
  for (int c = 0; c < ncomp; ++c) nyquistPlane[std::size_t(c)] = matrix(1, grid.N1, 1, 2 * grid.N2);
  const Turb3dSpectrum spectrum{fields, std::span<Matrix>(nyquistPlane.data(), std::size_t(ncomp))};

  const detail::ModeAmplitude amplitude{.model = model,
                                        .Lbox = grid.Lbox,
                                        .ncomp = ncomp,
                                        .c0 = ncomp < 3 ? comps[0] : 0,
                                        .c1 = ncomp == 2 ? comps[1] : 1};
  Turb3dConstraintOutcome outcome;
  if (work.constraints == nullptr) {
    const Turb3dPlaneStep planeStep(plan, amplitude, LimNormK, spectrum, work.amplitudes);
    synthesizePlanes(plan, planeStep, ncomp, seed, work.progress);
  } else {
    constrainedPlanes({plan, amplitude, LimNormK, spectrum, work.amplitudes, fieldComps}, seed,
                      work, outcome);
  }
  if (work.amplitudes != nullptr) work.amplitudes->filled = true;
  transformComponents(spectrum, ncomp, grid, work.progress);
  if (work.constraints != nullptr) {
    detail::constraintDifferences(fields, grid, fieldComps, *work.constraints, outcome);
    if (work.outcome != nullptr) *work.outcome = outcome;
  }
}

}  // namespace wind
