#pragma once
// The simulator's main routine, one run from the command line to exit status 0:
//
//   1. choose the input file and read it up to the source's values; for land,
//      sea and terrain the parameter-source step runs right there;
//   2. read the seed;                3. form LimNormK;
//   4. read the output names; close the input; refuse names that would
//      destroy data (checkOutputNames, checkRecordName,
//      checkRecordReplaceable); create each file and the run record as
//      pending outputs (vorlan/output_files.hpp);
//   5. print the summary;            6. allocate one field per component;
//   7. synthesise;                   8. write the fields;
//   9. check that nothing of the run is non-finite (checkFiniteRun), release
//      the fields, write the record;
//  10. commit: the files appear under their names, the record last;
//  11. return 0.
//
// Every failure ends the run through fatalError (exit status 1) before step 6
// if it is an input error, so a bad file never costs a large allocation; so
// does a run that needs more memory than the machine has (checkRunMemory,
// vorlan/run_memory.hpp), checked before step 4 creates any file, and then a
// box whose cell integrals cannot converge (checkBoxIntegrals). A run that
// fails or is killed before step 10 leaves every file that was there as it
// was.
//
// Options (vorlan/command_line.hpp): --threads sets the thread count before
// anything runs. --seeds repeats steps 4 (creating the files) and 6 to 10 once
// per seed, with the seed in place of the file's and the seed's file names
// (seededFileName), so each seed's files appear when that seed is complete and
// stay when a later seed fails; the echo and the summary come once, as in a
// plain run (the parameter file's names and seed), and after each seed one line
// "Seed <s>: <file> ..." naming its files. Each seed writes its own run
// record. Environment: VORLAN_STAGE_TIMES set (non-empty) prints, after each
// seed or plain run, one line "Stage times (s): amplitudes A transforms T
// writing W" to the echo, for benchmarks.
//
// The two steps that live elsewhere are passed in: the parameter-source step
// (alphaeps, L and Gamma of the land, sea and terrain sources) and the engine
// dispatch. Callers that need shared state between them (the terrain tables
// that the tensor model reads during synthesis) capture it in both closures.

#include <concepts>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "numerics/arrays.hpp"
#include "numerics/small_types.hpp"
#include "synthesis/progress.hpp"
#include "synthesis/turb3d.hpp"
#include "tensor/upstream_lookup.hpp"
#include "vorlan/command_line.hpp"
#include "vorlan/constraints_file.hpp"
#include "vorlan/field_arrays.hpp"
#include "vorlan/hand_over.hpp"
#include "vorlan/simulation_input.hpp"

namespace wind {

class OutputFiles;

// Writes component c of the fields to file c, c = 0 .. nComp-1, in component
// order, straight from the arrays' storage (no copy); one progress step per
// component when progress is given.
void writeFields(const FieldArrays& fields, OutputFiles& files,
                 SynthesisProgress* progress = nullptr);

// The parameter-source step of this build (vorlan/source_steps.cpp); the hook
// type SourceStep is declared with the reader (vorlan/simulation_input.hpp).
void parameterSourceStep(SimulationInput& in, UpstreamTables& tables, std::ostream& echo);

// What one run shares with its engine beyond the input: the progress counters
// (always there) and, in a run of several seeds, the store of the
// three-dimensional engine's amplitudes (null when not kept: one seed, or
// more memory than kAmplitudeStoreShare of the machine's, keepAmplitudes of
// vorlan/run_memory.hpp).
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

// The engine dispatch of this build (vorlan/dispatch.cpp).
void synthesise(const SimulationInput& in, const Vector3& limNormK, const UpstreamTables& tables,
                FieldArrays& fields, SynthesisContext& context);

struct SimulatorSteps {
  SourceStep parameterSource = wind::parameterSourceStep;
  Synthesiser synthesise = wind::synthesise;
};

// The sample listing of a Kaimal1d run: for i = 1 .. min(N1, 60000) one line
// with the value of each synthesised component at i (%.6g, separated by one
// blank), so it never reads past the components or samples that exist.
void printKaimalListing(const FieldArrays& fields, std::ostream& out);

// The runs of one command line: the input itself, or with --seeds one copy
// per seed with the seed's file names (which the parameter file's names are
// read for but never created under).
std::vector<SimulationInput> plannedRuns(const SimulationInput& input,
                                         const std::vector<long>& seeds);

// The names of every run (the files its hand-over writes: the classic files
// or a wind file, a filled InflowWind input) are checked before any file is
// created: none may destroy another output, the parameter file, the terrain
// file, the InflowWind template, the constraint file, or a file under a
// record's name that is not a run record.
void checkRunNames(const std::vector<SimulationInput>& runs, const std::string& inputName,
                   const HandOver& handOver = HandOver(),
                   const std::string& constraintsFile = std::string());

// What every run of one command line shares, prepared before any file is
// created: the options, the input read and checked, the hand-over and the
// constraints planned, the runs (one per seed) with their names checked.
struct PreparedRuns {
  VorlanOptions options;
  UpstreamTables tables;  // filled by the terrain step, read during synthesis
  SimulationInput input;
  Vector3 lim;
  HandOver handOver;
  std::vector<SimulationInput> runs;
  std::optional<BoxConstraints> constraints;
};

// Steps 1 to 4 up to the names (the options parsed by the caller, the threads
// set first): the parameter file of p.options read and checked, LimNormK
// formed, the random stream checked against the field.
void readParameterFile(PreparedRuns& p, const SourceStep& source, std::ostream& echo);

// The hand-over planned, one run per seed, and every run's names checked.
void planRuns(PreparedRuns& p);

// VORLAN_STAGE_TIMES set and not empty; the line it asks for.
bool stageTimesWanted();
void printStageTimes(std::ostream& echo, double amplitudes, double transforms, double writing);

// One complete run; returns the exit status 0 (failures do not return). The
// echo and the summary go to echo; the Kaimal1d listing goes to listing.
int runVorlan(int argc, const char* const argv[], const SimulatorSteps& steps, std::ostream& echo,
              std::ostream& listing);

// The same with the listing on standard output.
int runVorlan(int argc, const char* const argv[], const SimulatorSteps& steps, std::ostream& echo);

}  // namespace wind
