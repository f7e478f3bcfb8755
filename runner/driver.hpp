#pragma once
// The run sequence every simulator shares: vorlan, vorlan-mpi and library
// callers (tests, a Python module) run one parsed run through the same steps.
//
//   1. read the parameter file (readParameterFile) up to the source's values;
//      for land, sea and terrain the parameter-source step runs right there;
//      then the seed and the output names; or take an input a caller built;
//   2. prepare (prepareRuns): form LimNormK, check the random stream and the
//      memory the run needs (checkRunMemory, simulation/run_memory.hpp), then
//      that the box's cell integrals converge (checkBoxIntegrals), plan
//      the hand-over (the placement, the profile, the IEC model, a template:
//      handover/hand_over.hpp), one run per seed, refuse names that would
//      destroy data (checkRunNames), read and place the constraints;
//   3. run the sequence (runSequence): create each run's files and record as
//      pending outputs (simulation/output_files.hpp), print the summary, then
//      for each run: make the box (the BoxMaker: synthesise, hand over, write
//      the fields), describe it (the one place that builds the record's
//      RunDescription), check that nothing of it is non-finite (checkFiniteRun:
//      no box, wind-file header or record holding NaN or infinity is ever
//      committed), write the record, commit: the files appear under their
//      names, the record last. After each run of a box the run summary
//      (record/run_summary.hpp) goes to the echo and beside the record.
//
// Every failure ends the run through fatalError (exit status 1, or whatever
// the installed fatal handler does) before step 3 if it is an input error, so
// a bad file never costs a large allocation or an output file; a run that
// fails or is killed before its commit leaves every file that was there as it
// was.
//
// Seeds: with RunOptions::seeds step 3 repeats the files, the box, the record
// and the commit once per seed, with the seed in place of the file's and the
// seed's file names (seededFileName), so each seed's files appear when that
// seed is complete and stay when a later seed fails; the echo and the summary
// come once, as in a plain run (the parameter file's names and seed), and
// after each seed one line "Seed <s>: <file> ..." naming its files. Each seed
// writes its own run record. Environment: VORLAN_STAGE_TIMES set (non-empty)
// prints, after each seed or plain run, one line "Stage times (s): amplitudes
// A transforms T writing W" to the echo, for benchmarks.
//
// What differs between the simulators is only who makes the box and how its
// files are written (BoxMaker): the whole box in this process (LocalBoxMaker,
// below), or slabs of planes across the processes of an MPI job
// (distributed/slab_maker.hpp).
//
// The parameter-source step and the engine dispatch are passed in
// (SimulatorSteps); callers that need shared state between them (the terrain
// tables that the tensor model reads during synthesis) capture it in both
// closures.

#include <array>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "handover/constraints_file.hpp"
#include "handover/hand_over.hpp"
#include "numerics/small_types.hpp"
#include "simulation/engines.hpp"
#include "simulation/field_arrays.hpp"
#include "simulation/plane_statistics.hpp"
#include "simulation/simulation_input.hpp"
#include "synthesis/turb3d.hpp"
#include "tensor/upstream_lookup.hpp"

namespace wind {

class OutputFiles;

// What one run of the simulator asks for beyond its parameter file: the
// seeds, the threads, the random stream, and the hand-over's options (the
// layout, a wind file, the placement, the profile, the scaling, an InflowWind
// template, constraints). vorlan's command line gives them; a library caller
// sets them.
struct RunOptions : HandOverOptions {
  std::string inputFile;    // the parameter file, as given (names it in the record)
  std::vector<long> seeds;  // empty: the parameter file's seed
  int threads = 0;          // 0: the OpenMP default
  RandomStreamKind random = RandomStreamKind::classic;
};

struct SimulatorSteps {
  SourceStep parameterSource = wind::parameterSourceStep;
  Synthesiser synthesise = wind::synthesise;
};

// The runs of one command line: the input itself, or with --seeds one copy
// per seed with the seed's file names (which the parameter file's names are
// read for but never created under).
// The output name of a file for one seed: "_seed<|seed|>" inserted before the
// extension of the last path component ("out/u.bin", -3 -> "out/u_seed3.bin"),
// or appended when it has none ("u" -> "u_seed3"; a leading dot, as in ".u",
// is not an extension).
std::string seededFileName(const std::string& name, long seed);

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
  RunOptions options;
  UpstreamTables tables;  // filled by the terrain step, read during synthesis
  SimulationInput input;
  Vector3 lim;
  HandOver handOver;
  std::vector<SimulationInput> runs;
  std::optional<BoxConstraints> constraints;
};

// Step 1: the parameter file of p.options read and checked, up to and
// including the output names, into p.input and p.tables; the random stream is
// checked against the field before the names are read. readParameters reads
// the same from any stream (a parameter file's text held in memory, say).
void readParameterFile(PreparedRuns& p, const SourceStep& source, std::ostream& echo);
void readParameters(PreparedRuns& p, std::istream& in, const SourceStep& source,
                    std::ostream& echo);

// What step 2 checks besides the input: the memory the run needs (a caller
// that checks its own, as vorlan-mpi does per process, leaves it out) and the
// output names (a run that writes no files leaves them out).
struct PrepareChecks {
  bool memory = true;
  bool names = true;
};

// Step 2 on what step 1 (or a caller) put into p: the threads set, LimNormK,
// the random stream against the field, the memory, the hand-over, one run per
// seed with every run's names checked, the constraints.
void prepareRuns(PreparedRuns& p, const PrepareChecks& checks = {});

// The texts a run writes once its box is made, by the reporting process: the
// record (empty: none) and the other text outputs created for the run, by name
// (the run summary, the hub series).
struct RunTexts {
  std::string record;
  std::vector<std::pair<std::string, std::string>> files;  // name, text
};

// Creates the run's pending outputs (simulation/output_files.hpp): the classic
// files or the wind file(s), the hub series (--hub-series), the run record and
// the run summary (where the run writes them, record/run_summary.hpp) and the
// filled template, which is written at once (its values are all known before
// synthesis). The texts known only after the box are written at the commit
// (RunTexts).
void createRunFiles(const SimulationInput& run, const HandOver& h, OutputFiles& files,
                    std::ostream& echo);

// Writes the texts into the pending outputs created for them (the record, and
// each other text into the output of its name, where files holds one).
void writeRunTexts(const RunTexts& texts, OutputFiles& files);

// What a box maker reports of one run's box: what the record and the echo
// say of it, and the seconds of its stages.
struct BoxOutcome {
  std::array<ComponentStatistics, 3> statistics{};
  HandOverRecord handed;  // scaling, hub figures, wind file
  const Turb3dConstraintOutcome* constraintOutcome = nullptr;  // with constraints
  double amplitudes = 0.0, transforms = 0.0, writing = 0.0;    // seconds
};

// Sets the engine's context up for the runs of p: the random stream, the
// amplitude store for the later seeds where the memory allows
// (keepAmplitudes; store may be null: none), the constraints and where their
// outcome goes.
void setUpContext(SynthesisContext& context, const PreparedRuns& p, Turb3dAmplitudes* store,
                  Turb3dConstraintOutcome* outcome);

// One run's fields, allocated and synthesised by steps.synthesise with
// context, then handed over in memory (--scale iec, the hub figures: handed);
// in the classic layout, nothing written; blocks as allocateFields takes them.
FieldArrays synthesiseRun(const PreparedRuns& p, const SimulationInput& run,
                          const SimulatorSteps& steps, SynthesisContext& context,
                          HandOverRecord& handed,
                          FieldBlocks blocks = FieldBlocks::perComponent);

// Who makes the box of a run and writes its files.
class BoxMaker {
 public:
  virtual ~BoxMaker() = default;
  // Creates the run's pending outputs (createRunFiles, or their like).
  virtual void createFiles(const SimulationInput& run, std::ostream& echo) = 0;
  // Synthesises the run's box and writes it into the files created for it;
  // label names the run on a progress line ("seed -3:", or empty).
  virtual BoxOutcome makeBox(const SimulationInput& run, const std::string& label) = 0;
  // Writes the texts (none on a process that does not report) into the files
  // created for them and puts the files under their names.
  virtual void commit(const RunTexts& texts) = 0;
  // Whether this process prints the echo and describes the runs (rank 0).
  virtual bool reports() const { return true; }
  // Runs a step that may fail on the process that reports, so that every
  // process reaches the same verdict (vorlan-mpi: MpiRun::agree).
  virtual void agree(const std::function<void()>& step) { step(); }
  // The program and the process count the record names.
  virtual std::string program() const { return "vorlan"; }
  virtual int processes() const { return 0; }
};

// Step 3 (see above): every run of p through the maker; the echo and the
// summary on echo.
void runSequence(const PreparedRuns& p, BoxMaker& maker, std::ostream& echo);

// The box of each run made whole in this process: the fields allocated,
// synthesised by steps.synthesise, handed over (--scale iec, the hub figures,
// the wind file), put in the output layout and written; the Kaimal1d listing
// on listing. A progress line on a terminal shows the stages. In a run of
// several seeds the three-dimensional engine's amplitudes are kept for the
// later seeds where the memory allows (keepAmplitudes).
class LocalBoxMaker : public BoxMaker {
 public:
  LocalBoxMaker(const PreparedRuns& p, const SimulatorSteps& steps, std::ostream& listing);
  ~LocalBoxMaker() override;
  void createFiles(const SimulationInput& run, std::ostream& echo) override;
  BoxOutcome makeBox(const SimulationInput& run, const std::string& label) override;
  void commit(const RunTexts& texts) override;

 private:
  struct State;
  const PreparedRuns& p_;
  const SimulatorSteps& steps_;
  std::ostream& listing_;
  std::unique_ptr<State> state_;
};

// Steps 2 and 3 with the whole box in this process, after step 1 or a
// caller's input; returns 0 (failures do not return).
int runSimulation(PreparedRuns& p, const SimulatorSteps& steps, std::ostream& echo,
                  std::ostream& listing);

// VORLAN_STAGE_TIMES set and not empty; the line it asks for.
bool stageTimesWanted();
void printStageTimes(std::ostream& echo, double amplitudes, double transforms, double writing);

}  // namespace wind
