#pragma once
// A box synthesised into memory: the simulator's run without a command line
// or files, for callers that take the fields themselves.
//
//   PreparedRuns p;                      runner/driver.hpp
//   p.options = ...;                     RunOptions: random stream, layout,
//                                        threads, --scale iec, placement,
//                                        constraints (no seeds: one box a call)
//   readParameters(p, text, ...)         the parameter file's values (output
//                                        names unused), or p.input set whole
//   Box box = synthesiseBox(p);
//
// The fields are those vorlan writes for the same input and options, bit for
// bit: synthesised by the same engine (the same stream, seed and threads give
// the same bits for every thread count), scaled to IEC's targets when asked,
// in the output layout of the options. The box owns them; a caller may take a
// component's block out of it (FieldArrays, BlockArray::takeBlock) and keep it
// with no copy, or, with FieldBlocks::one, every component in one block
// (FieldArrays::takeAll: component-major, the same values). statistics and handed are what the run record would say of
// them (the statistics in the output layout), outcome what became of the
// constraints.
//
// prepareRuns runs first with the memory check and without the output names'
// checks: nothing is written, and a file of any name is left alone. Failures:
// those of prepareRuns and of the engines, through fatalError
// (windfield/errors.hpp for a caller that wants exceptions), and "A box in
// memory is one seed at a time: leave the seeds out" for options with seeds.
#include <array>

#include "handover/hand_over.hpp"
#include "runner/driver.hpp"
#include "simulation/field_arrays.hpp"
#include "simulation/plane_statistics.hpp"
#include "synthesis/turb3d.hpp"

namespace wind {

struct Box {
  FieldArrays fields;
  std::array<ComponentStatistics, 3> statistics{};
  HandOverRecord handed;
  Turb3dConstraintOutcome outcome;
};

// context is the engine's (set up here from p.options): its progress sees the
// stages as vorlan's progress line does, and may be read from another thread
// while the call runs.
Box synthesiseBox(PreparedRuns& p, SynthesisContext& context, const SimulatorSteps& steps = {},
                  FieldBlocks blocks = FieldBlocks::perComponent);
Box synthesiseBox(PreparedRuns& p, const SimulatorSteps& steps = {});

}  // namespace wind
