#pragma once
// The engine side of a run: the parameter-source step that derives the model
// while the parameter file is read, the engine dispatch that fills the fields,
// and the writers of the classic files and the Kaimal1d listing.
//
//   parameterSourceStep  (source_steps.cpp) land, sea and terrain: alphaeps, L
//                        and Gamma from site data, right after SpecType; for
//                        terrain also the upstream-memory tables the engines
//                        read during synthesis. basic, Kaimal1d, 2D and iec:
//                        nothing (iec derives its model from the category).
//   synthesise           (dispatch.cpp) one engine per kind of field:
//                          fieldDim 1: turbKaimal1d (Kaimal1d) or turb1d
//                          fieldDim 2: IncompIso (2D) or turb2d
//                          fieldDim 3: turb3d
//   writeFields          each component's array to its file, in file order.
//
// A caller that needs other steps (tests, a caller with tables of its own)
// passes its own Synthesiser or SourceStep; the engines run through them.
#include <concepts>
#include <functional>
#include <iosfwd>

#include "numerics/small_types.hpp"
#include "simulation/field_arrays.hpp"
#include "simulation/simulation_input.hpp"
#include "synthesis/progress.hpp"
#include "synthesis/turb3d.hpp"
#include "tensor/upstream_lookup.hpp"

namespace wind {

class OutputFiles;

// Writes component c of the fields to file c, c = 0 .. nComp-1, in component
// order, straight from the arrays' storage (no copy); one progress step per
// component when progress is given.
void writeFields(const FieldArrays& fields, OutputFiles& files,
                 SynthesisProgress* progress = nullptr);

// The parameter-source step of this build; the hook type SourceStep is
// declared with the reader (simulation/simulation_input.hpp).
void parameterSourceStep(SimulationInput& in, UpstreamTables& tables, std::ostream& echo);

// What one run shares with its engine beyond the input: the progress counters
// (always there) and, in a run of several seeds, the store of the
// three-dimensional engine's amplitudes (null when not kept: one seed, or
// more memory than kAmplitudeStoreShare of the machine's, keepAmplitudes of
// simulation/run_memory.hpp).
struct SynthesisContext {
  SynthesisProgress progress;
  Turb3dAmplitudes* amplitudes = nullptr;
  RandomStreamKind random = RandomStreamKind::classic;
  // --constraints: the lines the box must hold, and what became of them.
  const Turb3dConstraints* constraints = nullptr;
  Turb3dConstraintOutcome* constraintOutcome = nullptr;
};

// Refuses a random stream that the run's engine does not draw from: the
// counter stream is the three-dimensional engine's ("--random counter: only
// three-dimensional fields draw from the counter stream; a line or a plane
// uses the classic stream").
void checkRandomStream(const SimulationInput& in, RandomStreamKind random);

// The engine step: fills every element of every allocated field array. tables
// holds the run's upstream-memory tables (empty unless the source is terrain).
// Made from any callable taking (input, limNormK, tables, fields, context), or
// (input, limNormK, tables, fields) for an engine that needs no context.
class Synthesiser {
 public:
  using Engine = std::function<void(const SimulationInput&, const Vector3& limNormK,
                                    const UpstreamTables& tables, FieldArrays&,
                                    SynthesisContext&)>;

  template <class F>
    requires std::invocable<F&, const SimulationInput&, const Vector3&, const UpstreamTables&,
                            FieldArrays&, SynthesisContext&>
  Synthesiser(F engine) : engine_(std::move(engine)) {}

  template <class F>
    requires std::invocable<F&, const SimulationInput&, const Vector3&, const UpstreamTables&,
                            FieldArrays&>
  Synthesiser(F engine)
      : engine_([engine = std::move(engine)](const SimulationInput& in, const Vector3& lim,
                                             const UpstreamTables& tables, FieldArrays& fields,
                                             SynthesisContext&) mutable {
          engine(in, lim, tables, fields);
        }) {}

  void operator()(const SimulationInput& in, const Vector3& limNormK, const UpstreamTables& tables,
                  FieldArrays& fields, SynthesisContext& context) const {
    engine_(in, limNormK, tables, fields, context);
  }

 private:
  Engine engine_;
};

// The engine dispatch of this build.
void synthesise(const SimulationInput& in, const Vector3& limNormK, const UpstreamTables& tables,
                FieldArrays& fields, SynthesisContext& context);

// The sample listing of a Kaimal1d run: for i = 1 .. min(N1, 60000) one line
// with the value of each synthesised component at i (%.6g, separated by one
// blank), so it never reads past the components or samples that exist.
void printKaimalListing(const FieldArrays& fields, std::ostream& out);

}  // namespace wind
