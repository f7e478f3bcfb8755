// Engine dispatch: which synthesis engine fills the fields of a run.
//
//   fieldDim  ParameterSource                Engine
//   1         Kaimal1d                       turbKaimal1d
//   1         basic, land, sea, terrain      turb1d
//   2         2D                             IncompIso
//   2         basic, land, sea, terrain      turb2d
//   3         basic, land, sea, terrain      turb3d
//
// The reader has already rejected Kaimal1d with fieldDim other than 1 and 2D
// with fieldDim other than 2, and checked that the seed is a negative 32-bit
// integer. The tensor model (siteTensorModel, sources/site_steps.hpp) exists
// only for the tensor-model sources; the Kaimal and isotropic engines take
// their own parameters. Every engine gets the grid of
// its dimension from NPoint and LMax.
#include <cstdint>
#include <span>

#include "simulation/engines.hpp"
#include "sources/site_steps.hpp"
#include "support/fatal_error.hpp"
#include "synthesis/incomp_iso.hpp"
#include "synthesis/kaimal1d.hpp"
#include "synthesis/turb1d.hpp"
#include "synthesis/turb2d.hpp"
#include "synthesis/turb3d.hpp"

namespace wind {

// The counter stream exists to free the three-dimensional engine's
// amplitude stage from its sequential draw (threads and processes); a line or
// a plane draws its few deviates in a moment, and its engines keep the
// classic stream alone.
void checkRandomStream(const SimulationInput& in, RandomStreamKind random) {
  if (random == RandomStreamKind::counter && in.fieldDim != 3)
    fatalError(
        "--random counter: only three-dimensional fields draw from the counter stream; a line "
        "or a plane uses the classic stream");
}

void synthesise(const SimulationInput& in, const Vector3& limNormK, const UpstreamTables& tables,
                FieldArrays& fields, SynthesisContext& context) {
  const auto n = std::size_t(in.nComp);
  const std::span<const int> comps(in.components, n);
  const auto seed = static_cast<std::int32_t>(in.seed);
  const TensorModel model = siteTensorModel(in, &tables);

  switch (in.fieldDim) {
    case 1: {
      const std::span<Vector> lines(fields.line.data(), n);
      const LineGrid grid{in.NPoint[0], in.LMax[0]};
      if (in.source == ParameterSource::Kaimal1d)
        turbKaimal1d(lines, comps, grid, in.ustar, in.z, in.U0, seed);
      else
        turb1d(lines, comps, model, grid, seed);
      return;
    }
    case 2: {
      const std::span<Matrix> planes(fields.plane.data(), n);
      const PlaneGrid grid{in.NPoint[0], in.NPoint[1], Pair2(in.LMax[0], in.LMax[1])};
      if (in.source == ParameterSource::TwoD)
        IncompIso(planes, comps, grid, in.sig2_2D, in.L_2D, seed);
      else
        turb2d(planes, comps, model, grid, in.absentDim, seed, Pair2(limNormK.x, limNormK.y));
      return;
    }
    default: {
      const BoxGrid grid{in.NPoint[0], in.NPoint[1], in.NPoint[2],
                         Vector3(in.LMax[0], in.LMax[1], in.LMax[2])};
      turb3d(std::span<F3tensor>(fields.box.data(), n),
             {comps, model, grid, limNormK, Turb3dSlabStart::atSeed(seed),
              Turb3dWork{context.amplitudes, &context.progress, context.random,
                         context.constraints, context.constraintOutcome}});
      return;
    }
  }
}

}  // namespace wind
