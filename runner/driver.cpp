#include "runner/driver.hpp"

#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "handover/constraints_file.hpp"
#include "handover/hand_over.hpp"
#include "record/run_record.hpp"
#include "record/run_summary.hpp"
#include "runner/progress_line.hpp"
#include "simulation/layout.hpp"
#include "simulation/output_files.hpp"
#include "simulation/run_memory.hpp"
#include "support/fatal_error.hpp"
#include "support/input_file.hpp"
#include "support/print_format.hpp"
#include "support/threads.hpp"

namespace wind {

std::string seededFileName(const std::string& name, long seed) {
  // The suffix goes before the extension of the last path component, if any.
  const std::size_t slash = name.find_last_of('/');
  const std::size_t dot = name.find_last_of('.');
  const bool hasExtension =
      dot != std::string::npos && dot > 0 && (slash == std::string::npos || dot > slash + 1);
  const std::string suffix = "_seed" + std::to_string(-seed);
  return hasExtension ? name.substr(0, dot) + suffix + name.substr(dot) : name + suffix;
}

std::vector<SimulationInput> plannedRuns(const SimulationInput& input,
                                         const std::vector<long>& seeds) {
  std::vector<SimulationInput> runs;
  if (seeds.empty()) runs.push_back(input);
  for (const long seed : seeds) {
    SimulationInput run = input;
    run.seed = seed;
    for (int c = 0; c < run.nComp; ++c) {
      run.fname[c] = seededFileName(input.fname[c], seed);
      if (isDeviceOrPipe(input.fname[c]))
        refuseDerivedName(input.fname[c], "each seed's file (" + run.fname[c] + " for seed " +
                                              std::to_string(seed) + ")");
      if (run.fname[c].size() > kMaxFileName)
        fatalError("The output file name is longer than 255 characters");
    }
    runs.push_back(run);
  }
  return runs;
}

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
    if (writesRunSummary(run)) {
      checkRecordName(runSummaryName(run), names.data(), n, inputName, terrainFile);
      checkSummaryReplaceable(runSummaryName(run));
    }
  }
}

void createRunFiles(const SimulationInput& run, const HandOver& h, OutputFiles& files,
                    std::ostream& echo) {
  if (h.format == WindFileFormat::raw) {
    for (int c = 0; c < run.nComp; ++c) files.create(c, run.fname[c], echo);
  } else {
    for (const std::string& name : windFileNames(run, h.format))
      files.add(name, "wind file", PendingOutput::Role::data, echo);
  }
  if (h.hubSeries)
    files.add(hubSeriesName(boxName(run)), "hub series", PendingOutput::Role::data, echo);
  if (writesRunRecord(run)) files.createRecord(runRecordName(run));
  if (writesRunSummary(run))
    files.add(runSummaryName(run), "run summary", PendingOutput::Role::description, echo);
  if (h.fillsTemplate()) {
    // Its values are all known before synthesis.
    const std::string name = filledTemplateOf(run, h);
    PendingOutput& filled =
        files.add(name, "filled InflowWind input", PendingOutput::Role::description, echo);
    filled.stream() << fillInflowWindTemplate(h.templateText, inflowWindSettings(run, h, name),
                                              templateLabel(h));
  }
}

void writeRunTexts(const RunTexts& texts, OutputFiles& files) {
  if (std::ostream* stream = files.record()) *stream << texts.record;
  for (const auto& [name, text] : texts.files)
    if (PendingOutput* o = files.extra(name)) o->stream() << text;
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
  const std::string& inputName = p.options.inputFile;
  if (inputName.size() > kMaxFileName)
    fatalError("The input file name is longer than 255 characters");
  std::ifstream in = openInputFile(inputName, "Could not open file (in vorlan)");
  readParameters(p, in, source, echo);
}

void readParameters(PreparedRuns& p, std::istream& in, const SourceStep& source,
                    std::ostream& echo) {
  readSimulationInput(in, echo, p.input, p.tables, source);  // up to the seed
  // Before the names are echoed, as it always was.
  checkRandomStream(p.input, p.options.random);
  readOutputNames(in, echo, p.input);
}

void prepareRuns(PreparedRuns& p, const PrepareChecks& checks) {
  if (p.options.threads > 0) setThreads(p.options.threads);
  p.lim = limNormK(p.input);
  checkRandomStream(p.input, p.options.random);  // an input that did not come from a file
  if (checks.memory) checkRunMemory(p.input);
  checkBoxIntegrals(p.input, p.tables, p.lim);
  p.handOver = planHandOver(p.input, p.options);
  p.runs = plannedRuns(p.input, p.options.seeds);
  if (checks.names)
    checkRunNames(p.runs, p.options.inputFile, p.handOver, p.options.constraintsFile);
  p.constraints = runConstraints(p.options, p.options.random, p.input, p.handOver);
}

namespace {

// The one place that says what the record tells of a run.
RunDescription describeRun(const PreparedRuns& p, const BoxOutcome& box, const BoxMaker& maker) {
  RunDescription d;
  d.parameterFile = p.options.inputFile;
  d.layout = p.options.layout;
  d.limNormK = p.lim;
  d.statistics = box.statistics;
  d.random = p.options.random;
  d.program = maker.program();
  d.processes = maker.processes();
  d.handOver = &p.handOver;
  d.handed = box.handed;
  if (p.constraints) {
    d.constraints = &*p.constraints;
    d.constraintOutcome = box.constraintOutcome;
  }
  return d;
}

}  // namespace

void runSequence(const PreparedRuns& p, BoxMaker& maker, std::ostream& echo) {
  // A run's files are created as pending outputs at once (an unwritable name
  // ends the run before any work) and committed when the run has succeeded;
  // with seeds each seed's files when that seed has.
  const bool seeded = !p.options.seeds.empty();
  const bool reports = maker.reports();
  // The model's coherence, the same for every seed, before any file or box.
  std::optional<ModelCoherence> coherence;
  if (reports) coherence = modelCoherence(p.input, p.tables, p.handOver);
  if (!seeded) maker.createFiles(p.input, echo);  // before the summary
  if (reports) {
    printSummary(echo, p.input, p.lim);
    printHandOver(echo, p.input, p.handOver);
    if (p.constraints) printConstraintSummary(echo, *p.constraints);
  }
  for (const SimulationInput& run : p.runs) {
    if (seeded) maker.createFiles(run, echo);
    const BoxOutcome box =
        maker.makeBox(run, seeded ? "seed " + std::to_string(run.seed) + ":" : std::string());
    RunTexts texts;
    std::string summary;
    maker.agree([&] {
      if (!reports) return;
      const RunDescription d = describeRun(p, box, maker);
      checkFiniteRun(run, d);  // nothing non-finite is ever committed
      if (box.constraintOutcome != nullptr) printConstraintOutcome(echo, *box.constraintOutcome);
      if (writesRunRecord(run)) texts.record = runRecordText(run, d);
      if (run.fieldDim == 3) summary = runSummaryText(run, d, coherence);
      if (writesRunSummary(run)) texts.files.emplace_back(runSummaryName(run), summary);
      if (box.handed.hubSeries)
        texts.files.emplace_back(hubSeriesName(boxName(run)),
                                 hubSeriesTextOf(run, p.handOver, box.handed));
    });
    maker.commit(texts);
    if (!reports) continue;
    if (stageTimesWanted()) printStageTimes(echo, box.amplitudes, box.transforms, box.writing);
    if (seeded) {
      echo << "Seed " << run.seed << ":";
      for (const std::string& name : runOutputNames(run, p.handOver)) echo << " " << name;
      echo << "\n";
    }
    echo << summary;
    echo.flush();
  }
}

void setUpContext(SynthesisContext& context, const PreparedRuns& p, Turb3dAmplitudes* store,
                  Turb3dConstraintOutcome* outcome) {
  context.random = p.options.random;
  if (store != nullptr && keepAmplitudes(p.input, p.options.seeds.size()))
    context.amplitudes = store;
  if (p.constraints) {
    context.constraints = &p.constraints->lines;
    context.constraintOutcome = outcome;
  }
}

FieldArrays synthesiseRun(const PreparedRuns& p, const SimulationInput& run,
                          const SimulatorSteps& steps, SynthesisContext& context,
                          HandOverRecord& handed, FieldBlocks blocks) {
  FieldArrays fields = allocateFields(run, blocks);
  steps.synthesise(run, p.lim, p.tables, fields, context);
  handed = handOverBox(run, p.handOver, fields);
  return fields;
}

// The engine's context for every run, the progress line and the files of the
// run being made.
struct LocalBoxMaker::State {
  SynthesisContext context;
  Turb3dAmplitudes store;
  Turb3dConstraintOutcome outcome;
  ProgressLine line{context.progress};
  std::unique_ptr<OutputFiles> files;  // the run's, from createFiles to commit
};

LocalBoxMaker::LocalBoxMaker(const PreparedRuns& p, const SimulatorSteps& steps,
                             std::ostream& listing)
    : p_(p), steps_(steps), listing_(listing), state_(std::make_unique<State>()) {
  setUpContext(state_->context, p, &state_->store, &state_->outcome);
}

LocalBoxMaker::~LocalBoxMaker() = default;

void LocalBoxMaker::createFiles(const SimulationInput& run, std::ostream& echo) {
  state_->files = std::make_unique<OutputFiles>();
  createRunFiles(run, p_.handOver, *state_->files, echo);
}

BoxOutcome LocalBoxMaker::makeBox(const SimulationInput& run, const std::string& label) {
  SynthesisContext& context = state_->context;
  OutputFiles& out = *state_->files;
  context.progress.reset();
  state_->line.show(label);
  BoxOutcome box;
  FieldArrays fields = synthesiseRun(p_, run, steps_, context, box.handed);
  writeWindFile(run, p_.handOver, fields, out, p_.options.inputFile, p_.options.random,
                box.handed);
  if (p_.options.layout == OutputLayout::inflowwind) toInflowWindLayout(run, fields);
  if (p_.handOver.format == WindFileFormat::raw) writeFields(fields, out, &context.progress);
  context.progress.end();
  state_->line.hide();
  if (run.source == ParameterSource::Kaimal1d) printKaimalListing(fields, listing_);
  box.statistics = fieldStatistics(fields);
  box.constraintOutcome = context.constraintOutcome;
  box.amplitudes = context.progress.seconds(SynthesisProgress::amplitudes);
  box.transforms = context.progress.seconds(SynthesisProgress::transforms);
  box.writing = context.progress.seconds(SynthesisProgress::writing);
  return box;
}

void LocalBoxMaker::commit(const RunTexts& texts) {
  OutputFiles& files = *state_->files;
  writeRunTexts(texts, files);
  files.commit();
}

int runSimulation(PreparedRuns& p, const SimulatorSteps& steps, std::ostream& echo,
                  std::ostream& listing) {
  prepareRuns(p);
  LocalBoxMaker maker(p, steps, listing);
  runSequence(p, maker, echo);
  return 0;
}

}  // namespace wind
