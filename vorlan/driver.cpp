#include "vorlan/driver.hpp"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "numerics/fatal_error.hpp"
#include "numerics/input_file.hpp"
#include "numerics/print_format.hpp"
#include "numerics/threads.hpp"
#include "vorlan/command_line.hpp"
#include "vorlan/constraints_file.hpp"
#include "vorlan/hand_over.hpp"
#include "vorlan/layout.hpp"
#include "vorlan/output_files.hpp"
#include "vorlan/progress_line.hpp"
#include "vorlan/run_memory.hpp"
#include "vorlan/run_record.hpp"

namespace wind {

void writeFields(const FieldArrays& fields, OutputFiles& files, SynthesisProgress* progress) {
  // Each array is one contiguous block with the last index fastest, which is
  // exactly the file layout: one write per component, no copy.
  if (progress != nullptr) progress->begin(SynthesisProgress::writing, fields.nComp);
  for (int c = 0; c < fields.nComp; ++c) {
    const std::span<const float> v = fields.values(c);
    files.write(c, v.data(), std::int64_t(v.size()));
    if (progress != nullptr) progress->advance();
  }
}

void printKaimalListing(const FieldArrays& fields, std::ostream& out) {
  constexpr int kListingLines = 60000;
  if (fields.fieldDim != 1 || fields.nComp < 1) return;
  const int n = std::min(fields.line[0].hi(), kListingLines);
  for (int i = 1; i <= n; ++i) {
    for (int c = 0; c < fields.nComp; ++c) {
      if (c > 0) out << ' ';
      out << formatG6(fields.line[c][i]);
    }
    out << '\n';
  }
  out.flush();
}

int runVorlan(int argc, const char* const argv[], const SimulatorSteps& steps, std::ostream& echo) {
  return runVorlan(argc, argv, steps, echo, std::cout);
}

// The runs of one command line: the input itself, or with --seeds one copy
// per seed with the seed's file names (which the parameter file's names are
// read for but never created under).
std::vector<SimulationInput> plannedRuns(const SimulationInput& input,
                                         const std::vector<long>& seeds) {
  std::vector<SimulationInput> runs;
  if (seeds.empty()) runs.push_back(input);
  for (const long seed : seeds) {
    SimulationInput run = input;
    run.seed = seed;
    for (int c = 0; c < run.nComp; ++c) {
      run.fname[c] = seededFileName(input.fname[c], seed);
      if (run.fname[c].size() > kMaxFileName)
        fatalError("The output file name is longer than 255 characters");
    }
    runs.push_back(run);
  }
  return runs;
}

// The names of every run are checked before any file is created: none may
// destroy another output, a file the run reads (the parameter file, the
// terrain file, the InflowWind template, the constraint file), or a file
// under a record's name that is not a run record.
void checkRunNames(const std::vector<SimulationInput>& runs, const std::string& inputName,
                   const HandOver& handOver, const std::string& constraintsFile) {
  struct ReadFile {
    const std::string& name;
    const char* what;
  };
  const ReadFile reads[] = {{handOver.templateFile, "the InflowWind template"},
                            {constraintsFile, "the constraint file"}};
  for (const SimulationInput& run : runs) {
    const std::string terrainFile =
        run.source == ParameterSource::terrain ? run.terrainFile : std::string();
    const std::vector<std::string> names = runOutputNames(run, handOver);
    const int n = static_cast<int>(names.size());
    // The filled InflowWind input (the last name) is named after the first
    // output and the template: say so when another output takes its name.
    const std::string filled = filledTemplateOf(run, handOver);
    for (int c = 0; !filled.empty() && c + 1 < n; ++c)
      if (sameFile(names[std::size_t(c)], filled))
        fatalError("The output file " + names[std::size_t(c)] +
                   " is also the filled InflowWind input " + filled +
                   ", named after the first output and the template " + handOver.templateFile +
                   ": rename that output or the template");
    checkOutputNames(names.data(), n, inputName, terrainFile);
    for (const ReadFile& read : reads) {
      if (read.name.empty()) continue;
      for (const std::string& name : names)
        if (sameFile(name, read.name))
          fatalError("The output file " + name + " is " + read.what + " " + read.name);
      if (writesRunRecord(run) && sameFile(runRecordName(run), read.name))
        fatalError("The run record " + runRecordName(run) + " would overwrite " + read.what +
                   " " + read.name);
    }
    if (writesRunRecord(run)) {
      checkRecordName(runRecordName(run), names.data(), n, inputName, terrainFile);
      checkRecordReplaceable(runRecordName(run));
    }
  }
}

bool stageTimesWanted() {
  const char* v = std::getenv("VORLAN_STAGE_TIMES");
  return v != nullptr && *v != '\0';
}

void printStageTimes(std::ostream& echo, double amplitudes, double transforms, double writing) {
  echo << "Stage times (s): amplitudes " << formatG6(amplitudes) << " transforms "
       << formatG6(transforms) << " writing " << formatG6(writing) << "\n";
  echo.flush();
}

void readParameterFile(PreparedRuns& p, const SourceStep& source, std::ostream& echo) {
  if (p.options.threads > 0) setThreads(p.options.threads);
  const std::string& inputName = p.options.inputFile;
  if (inputName.size() > kMaxFileName)
    fatalError("The input file name is longer than 255 characters");
  std::ifstream in =
      openInputFile(inputName, "Could not open file (in vorlan)", defaultFileHint(p.options));
  readSimulationInput(in, echo, p.input, p.tables, source);  // up to the seed
  p.lim = limNormK(p.input);
  checkRandomStream(p.input, p.options.random);
  readOutputNames(in, echo, p.input);
}

void planRuns(PreparedRuns& p) {
  p.handOver = planHandOver(p.input, p.options);
  p.runs = plannedRuns(p.input, p.options.seeds);
  checkRunNames(p.runs, p.options.inputFile, p.handOver, p.options.constraintsFile);
}

namespace {

// Steps 1 to 4 of the driver up to the names check (the options parsed by
// the caller), the memory checked before any file is created.
void prepareRuns(PreparedRuns& p, const SimulatorSteps& steps, std::ostream& echo) {
  readParameterFile(p, steps.parameterSource, echo);
  checkRunMemory(p.input);
  checkBoxIntegrals(p.input, p.tables, p.lim);
  planRuns(p);
  p.constraints = runConstraints(p.options, p.input, p.handOver);
}

// One synthesis with the run's seed and names into its pending files, which
// it commits: steps 6 to 10.
struct RunStep {
  const PreparedRuns& prepared;
  const SimulatorSteps& steps;
  SynthesisContext& context;
  ProgressLine& line;
  std::ostream& echo;
  std::ostream& listing;

  void operator()(const SimulationInput& run, OutputFiles& out, const std::string& label) const {
    const VorlanOptions& options = prepared.options;
    const HandOver& handOver = prepared.handOver;
    FieldArrays fields = allocateFields(run);
    context.progress.reset();
    line.show(label);
    steps.synthesise(run, prepared.lim, prepared.tables, fields, context);
    RunDescription description;
    description.parameterFile = options.inputFile;
    description.layout = options.layout;
    description.limNormK = prepared.lim;
    description.random = options.random;
    description.handOver = &handOver;
    description.handed = handOverFields(run, handOver, fields, out, options.inputFile);
    if (options.layout == OutputLayout::inflowwind) toInflowWindLayout(run, fields);
    if (handOver.format == WindFileFormat::raw) writeFields(fields, out, &context.progress);
    context.progress.end();
    line.hide();
    if (run.source == ParameterSource::Kaimal1d) printKaimalListing(fields, listing);
    description.statistics = fieldStatistics(fields);
    if (prepared.constraints) {
      description.constraints = &*prepared.constraints;
      description.constraintOutcome = context.constraintOutcome;
    }
    checkFiniteRun(run, description);  // nothing non-finite is ever committed
    if (prepared.constraints) printConstraintOutcome(echo, *context.constraintOutcome);
    releaseFields(fields);
    if (std::ostream* record = out.record()) *record << runRecordText(run, description);
    out.commit();
    if (stageTimesWanted()) {
      const SynthesisProgress& p = context.progress;
      printStageTimes(echo, p.seconds(SynthesisProgress::amplitudes),
                      p.seconds(SynthesisProgress::transforms),
                      p.seconds(SynthesisProgress::writing));
    }
  }
};

}  // namespace

int runVorlan(int argc, const char* const argv[], const SimulatorSteps& steps, std::ostream& echo,
              std::ostream& listing) {
  PreparedRuns prepared;
  prepared.options = parseVorlanCommandLine(argc, argv);
  const VorlanOptions& options = prepared.options;
  if (options.help || options.version) {
    if (options.help) printVorlanHelp(listing);
    else printVorlanVersion(listing);
    listing.flush();
    return 0;
  }
  prepareRuns(prepared, steps, echo);
  const SimulationInput& input = prepared.input;

  // A run's files are created as pending outputs at once (an unwritable name
  // ends the run before any work) and committed when the run has succeeded;
  // with --seeds each seed's files when that seed has.
  const bool seeded = !options.seeds.empty();
  OutputFiles files;
  if (!seeded) createRunFiles(input, prepared.handOver, files, echo);  // before the summary
  printSummary(echo, input, prepared.lim);
  printHandOver(echo, input, prepared.handOver);
  if (prepared.constraints) printConstraintSummary(echo, *prepared.constraints);

  SynthesisContext context;
  context.random = options.random;
  Turb3dAmplitudes store;
  if (keepAmplitudes(input, options.seeds.size())) context.amplitudes = &store;
  Turb3dConstraintOutcome outcome;
  if (prepared.constraints) {
    context.constraints = &prepared.constraints->lines;
    context.constraintOutcome = &outcome;
  }
  ProgressLine line(context.progress);
  const RunStep runOne{prepared, steps, context, line, echo, listing};

  if (!seeded) {
    runOne(input, files, "");
    return 0;
  }
  for (const SimulationInput& run : prepared.runs) {
    const long seed = run.seed;
    OutputFiles seedFiles;
    createRunFiles(run, prepared.handOver, seedFiles, echo);
    runOne(run, seedFiles, "seed " + std::to_string(seed) + ":");
    echo << "Seed " << seed << ":";
    for (const std::string& name : runOutputNames(run, prepared.handOver)) echo << " " << name;
    echo << "\n";
    echo.flush();
  }
  return 0;
}

}  // namespace wind
