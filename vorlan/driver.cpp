#include "vorlan/driver.hpp"

#include <algorithm>
#include <fstream>
#include <iostream>
#include <ostream>
#include <string>

#include "numerics/fatal_error.hpp"
#include "numerics/print_format.hpp"
#include "vorlan/command_line.hpp"
#include "vorlan/layout.hpp"
#include "vorlan/output_files.hpp"
#include "vorlan/run_record.hpp"

namespace wind {

FieldArrays allocateFields(const SimulationInput& in) {
  FieldArrays f;
  f.fieldDim = in.fieldDim;
  f.nComp = in.nComp;
  const int n1 = in.NPoint[0], n2 = in.NPoint[1], n3 = in.NPoint[2];
  for (int c = 0; c < in.nComp; ++c) {
    switch (in.fieldDim) {
      case 1: f.line[c] = vector(1, n1); break;
      case 2: f.plane[c] = matrix(1, n1, 1, n2); break;
      case 3: f.box[c] = f3tensor(1, n1, 1, n2, 1, n3); break;
    }
  }
  return f;
}

void writeFields(const FieldArrays& fields, OutputFiles& files) {
  // Each array is one contiguous block with the last index fastest, which is
  // exactly the file layout: one write per component, no copy.
  for (int c = 0; c < fields.nComp; ++c) {
    switch (fields.fieldDim) {
      case 1: files.write(c, fields.line[c].data(), fields.line[c].size()); break;
      case 2: files.write(c, fields.plane[c].data(), fields.plane[c].size()); break;
      case 3: files.write(c, fields.box[c].data(), fields.box[c].size()); break;
    }
  }
}

void releaseFields(FieldArrays& fields) {
  for (int c = 0; c < fields.nComp; ++c) {
    fields.line[c].reset();
    fields.plane[c].reset();
    fields.box[c].reset();
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

int runVorlan(int argc, const char* const argv[], const SimulatorSteps& steps, std::ostream& echo,
              std::ostream& listing) {
  const VorlanOptions options = parseVorlanCommandLine(argc, argv);
  if (options.help || options.version) {
    if (options.help) printVorlanHelp(listing);
    else printVorlanVersion(listing);
    listing.flush();
    return 0;
  }
  const std::string& inputName = options.inputFile;
  if (inputName.size() > kMaxFileName)
    fatalError("The input file name is longer than 255 characters");
  std::ifstream in(inputName);
  if (!in) fatalError("Could not open file (in vorlan)");

  // The run's upstream-memory tables: filled by the terrain step while reading,
  // read by the tensor model during synthesis.
  UpstreamTables tables;
  SimulationInput input;
  readSimulationInput(in, echo, input, tables, steps.parameterSource);  // up to the seed
  const Vector3 lim = limNormK(input);

  readOutputNames(in, echo, input);
  in.close();
  const std::string terrainFile =
      input.source == ParameterSource::terrain ? input.terrainFile : std::string();
  checkOutputNames(input.fname, input.nComp, inputName, terrainFile);
  if (writesRunRecord(input))
    checkRecordName(runRecordName(input), input.fname, input.nComp, inputName, terrainFile);
  removeStaleRunRecord(input);  // a run that fails from here on leaves none
  OutputFiles files;
  for (int c = 0; c < input.nComp; ++c) files.create(c, input.fname[c], echo);
  printSummary(echo, input, lim);

  FieldArrays fields = allocateFields(input);
  steps.synthesise(input, lim, tables, fields);
  if (options.layout == OutputLayout::inflowwind) toInflowWindLayout(input, fields);
  writeFields(fields, files);
  if (input.source == ParameterSource::Kaimal1d) printKaimalListing(fields, listing);
  files.closeAll();
  const RunDescription run{inputName, options.layout, lim, fieldStatistics(fields)};
  releaseFields(fields);
  writeRunRecord(input, run);  // only once every output file is written and closed
  return 0;
}

}  // namespace wind
