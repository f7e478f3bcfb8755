#include "windfield/box.hpp"

#include "simulation/layout.hpp"
#include "support/fatal_error.hpp"

namespace wind {

Box synthesiseBox(PreparedRuns& p, SynthesisContext& context, const SimulatorSteps& steps,
                  FieldBlocks blocks) {
  if (!p.options.seeds.empty())
    fatalError("A box in memory is one seed at a time: leave the seeds out");
  prepareRuns(p, {.memory = true, .names = false});
  Box box;
  setUpContext(context, p, nullptr, &box.outcome);
  context.progress.reset();
  box.fields = synthesiseRun(p, p.input, steps, context, box.handed, blocks);
  if (p.options.layout == OutputLayout::inflowwind) toInflowWindLayout(p.input, box.fields);
  context.progress.end();
  box.statistics = fieldStatistics(box.fields);
  return box;
}

Box synthesiseBox(PreparedRuns& p, const SimulatorSteps& steps) {
  SynthesisContext context;
  return synthesiseBox(p, context, steps);
}

}  // namespace wind
