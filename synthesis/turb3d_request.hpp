#pragma once
// What one three-dimensional synthesis asks for (synthesis/turb3d.hpp): the
// components, the model, the grid, the cell-mean limits LimNormK, where the
// deviates start and what the call may share beyond its fields. turb3d and
// turb3dSlab take it whole; the engine's steps read it.
#include <cstdint>
#include <span>
#include <vector>

#include "numerics/random.hpp"
#include "numerics/small_types.hpp"
#include "synthesis/constraints.hpp"
#include "synthesis/grid.hpp"
#include "synthesis/progress.hpp"
#include "tensor/model.hpp"
#include "tensor/spectral_tensor.hpp"

namespace wind {

// The amplitudes of every generated wave vector of one grid, model and
// component list, in the visiting order; ncomp^2 floats each (the leading
// block of M, row by row).
struct Turb3dAmplitudes {
  std::vector<float> values;
  bool filled = false;
};

// The random stream of a synthesis (see above).
enum class RandomStreamKind { classic, counter };

// "classic" or "counter", as the run record names them.
const char* randomStreamName(RandomStreamKind kind);

// The arithmetic of a stream's point amplitudes: the classic stream keeps
// the C library's functions (its bits since its beginning); the counter
// stream, a field of its own, takes the lanes of tensor/spectral_tensor.hpp,
// as its deviates take those of numerics/vector_math.hpp.
TensorArithmetic tensorArithmetic(RandomStreamKind kind);

// The arithmetic that made a box of the stream, as the run record names it:
// "classic" (the C library's functions, one wave vector at a time) or "lanes"
// (numerics/vector_math.hpp's, four at a time).
const char* arithmeticName(RandomStreamKind kind);

// What a call may share beyond its fields: all optional.
struct Turb3dWork {
  Turb3dAmplitudes* amplitudes = nullptr;
  SynthesisProgress* progress = nullptr;
  RandomStreamKind random = RandomStreamKind::classic;
  const Turb3dConstraints* constraints = nullptr;
  Turb3dConstraintOutcome* outcome = nullptr;
};

// Where a synthesis's deviates start: the seed (counter stream) and the
// classic stream's state at the first deviate of its planes (for a slab
// gaussStreamAt(seed, planeStart(first) * 2 ncomp), or a recorded copy of it;
// for a whole box the seed's fresh stream, atSeed).
struct Turb3dSlabStart {
  std::int32_t seed = -1;
  RandomStream classic;
  static Turb3dSlabStart atSeed(std::int32_t seed) {
    return {seed, RandomStream{.gen = {}, .state = seed}};
  }
};

// One synthesis: comps lists the components of the fields
// (synthesis/grid.hpp), the model goes unchanged to every tensor routine.
struct Turb3dRequest {
  std::span<const int> comps;
  const TensorModel& model;
  BoxGrid grid;
  Vector3 LimNormK;
  Turb3dSlabStart start;
  Turb3dWork work = {};
};

}  // namespace wind
