#include "simulation/simulation_input.hpp"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <iomanip>
#include <istream>
#include <limits>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "numerics/constants.hpp"
#include "numerics/fft.hpp"
#include "sources/site_params.hpp"
#include "sources/site_steps.hpp"
#include "sources/terrain_file.hpp"
#include "support/console.hpp"
#include "support/fatal_error.hpp"
#include "support/print_format.hpp"
#include "synthesis/turb3d.hpp"

namespace wind {

namespace {

// Limit of |k_1 L| along the first dimension of a non-cubic box.
constexpr float kLimNormK1 = 3.0f;

// Characters shown of each word after the output names, and words shown.
constexpr int kShownWord = 40;
constexpr int kShownWords = 8;
constexpr int kSkippedChars = 4096;

// "value 2 of 3" (d 0-based), for the messages about one of a line's values.
std::string valueOf(int d, int n) {
  return "value " + std::to_string(d + 1) + " of " + std::to_string(n);
}

// "; 16 and 32 lie nearest" for a positive n that is no power of two.
std::string nearestPowers(int n) {
  if (n < 2) return " (2, 4, 8, ...)";
  long long below = 1;
  while (below * 2 <= n) below *= 2;
  return " (" + std::to_string(below) + " and " + std::to_string(below * 2) + " lie nearest)";
}

// A float that has to be positive (a size, a length, a speed, a height).
float readPositive(ValueReader& r, const char* label, const char* message) {
  const float v = r.readFloat(label);
  if (!(v > 0.0f)) fatalError(message);
  return v;
}

// A float that may be zero (a still field) but not negative.
float readNonNegative(ValueReader& r, const char* label, const char* message) {
  const float v = r.readFloat(label);
  if (!(v >= 0.0f)) fatalError(message);
  return v;
}

bool matchSource(const std::string& line, ParameterSource& s) {
  // Compared in this order, whole line, case-sensitive.
  static constexpr ParameterSource order[] = {ParameterSource::basic,   ParameterSource::land,
                                              ParameterSource::sea,     ParameterSource::terrain,
                                              ParameterSource::Kaimal1d, ParameterSource::TwoD,
                                              ParameterSource::iec};
  for (ParameterSource candidate : order)
    if (line == sourceKeyword(candidate)) {
      s = candidate;
      return true;
    }
  return false;
}

// The simulator's terrain words: echoed with their labels as they are read, a
// comment allowed after the Terrain word.
constexpr TerrainWording kTerrainWording{"Input should be either 'true' or 'false' (1).",
                                         "Input should be either 'true' or 'false' (2).", true,
                                         true};

}  // namespace

const char* sourceKeyword(ParameterSource s) {
  switch (s) {
    case ParameterSource::basic: return "basic";
    case ParameterSource::land: return "land";
    case ParameterSource::sea: return "sea";
    case ParameterSource::terrain: return "terrain";
    case ParameterSource::Kaimal1d: return "Kaimal1d";
    case ParameterSource::TwoD: return "2D";
    case ParameterSource::iec: return "iec";
  }
  return "";
}

void noSourceStep(SimulationInput&, UpstreamTables&, std::ostream&) {}

std::string inputFileName(int argc, const char* const argv[]) {
  return argc == 2 ? std::string(argv[1]) : std::string(kDefaultInputFile);
}

namespace {

// fieldDim, nComp, the component list, absentDim, NPoint and LMax.
void readFieldShape(ValueReader& r, SimulationInput& input) {
  input.fieldDim = r.readInt("fieldDim");
  if (input.fieldDim < 1 || input.fieldDim > 3)
    fatalError("The dimension of the field should be 1, 2 or 3");

  input.nComp = r.readInt("nComp");
  if (input.nComp < 1 || input.nComp > 3)
    fatalError("The number of components in the field should be 1, 2 or 3");

  if (input.nComp < 3)
    for (int c = 0; c < input.nComp; ++c) {
      const int comp = r.readInt("components");
      if (comp < 1 || comp > 3) fatalError("The components of the field should be 1, 2 or 3");
      input.components[c] = comp - 1;
    }

  if (input.fieldDim == 2) {
    const int absent = r.readInt("absentDim");
    if (absent < 1 || absent > 3)
      fatalError("The absent space dimensions of the field should be 1, 2 or 3");
    input.absentDim = absent - 1;
  }

  for (int d = 0; d < input.fieldDim; ++d) {
    const int n = r.readInt("NPoint");
    input.NPoint[d] = n;
    const std::string which = ": NPoint = " + std::to_string(n) + r.onLine() + " (" +
                              valueOf(d, input.fieldDim) + ")";
    if (!isPowerOfTwo(n))
      fatalError("Number of points in each spatial dimension has to be a power of 2" + which +
                 " is not one" + nearestPowers(n) +
                 "; the file gives NPoint on the line before LMax, the box lengths");
    // A single point has no wave numbers to synthesise and no transform size.
    if (n < 2)
      fatalError("Number of points in each spatial dimension has to be at least 2" + which +
                 " gives no field: give 2, 4, 8, ...");
  }

  for (int d = 0; d < input.fieldDim; ++d) {
    const float l = r.readFloat("LMax");
    input.LMax[d] = l;
    const std::string which = "LMax = " + formatG6(l) + " m" + r.onLine() + " (" +
                              valueOf(d, input.fieldDim) + ")";
    if (!(l > 0.0f)) fatalError("The field size LMax has to be positive: " + which + " is not");
    // A box shorter than the smallest length scale the model takes resolves
    // nothing it describes, and its wave numbers leave single precision.
    if (l < kMinLengthScale)
      fatalError("The field size " + which + " is below " + formatG6(kMinLengthScale) +
                 " m, the smallest box the model describes (LMax is in metres)");
  }
}

// The ParameterSource line, echoed, and the field shapes the source allows.
void readParameterSource(ValueReader& r, std::ostream& echo, SimulationInput& input) {
  // The first line read is what is left of the LMax line; only if that is
  // empty is the next line taken, whatever it holds.
  std::string line;
  int lineNo = r.lineHere();
  if (!r.readLine(line) || line.empty()) {
    if (lineNo > 0) ++lineNo;
    if (!r.readLine(line)) r.missingHere("ParameterSource");
  }
  echo << "strlen  " << line.size() << "  line specifying ParameterSource: " << line << "\n";
  if (!matchSource(line, input.source)) {
    echo << "ParameterSource is " << line << "\n";
    fatalError("ParameterSource has to be either basic, land, sea, terrain, or Kaimal1d (or 2D, "
               "or iec): " +
               (lineNo > 0 ? "line " + std::to_string(lineNo) : std::string("the line")) +
               " holds '" + line + "' where the keyword stands, alone on its line and spelt as "
               "here");
  }
  if (input.source == ParameterSource::Kaimal1d && input.fieldDim != 1)
    fatalError("fieldDim MUST be one when using Kaimal1d");
  if (input.source == ParameterSource::TwoD) {
    if (input.fieldDim != 2) fatalError("fieldDim MUST be two when using 2D");
    if (input.nComp != 1 && input.nComp != 2)
      fatalError("The number of components in the field should be 1 or 2 when using 2D");
    for (int c = 0; c < input.nComp; ++c)
      if (input.components[c] > 1)
        fatalError("The components of the field should be 1 or 2 when using 2D");
  }
}

}  // namespace

void readSourceValues(ValueReader& r, std::ostream& echo, SimulationInput& input) {
  switch (input.source) {
    case ParameterSource::basic:
      input.params.alphaeps =
          readPositive(r, "alphaeps", "The spectral level alphaeps has to be positive");
      input.params.L = readPositive(r, "L", "The length scale L has to be positive");
      // A negative Gamma is the mirror image of the positive one (shear with the
      // opposite sign): the same spectra with the uw cross-spectrum reversed.
      input.params.Gamma = r.readFloat("Gamma");
      checkModelParameters(input.params);
      break;

    case ParameterSource::land:
    case ParameterSource::sea:
      input.U0 = readPositive(r, "U0", "The mean wind speed U0 has to be positive");
      input.z = readPositive(r, "z", "The height z has to be positive");
      if (input.source == ParameterSource::land) {
        input.z0 = readPositive(r, "z0", "The roughness length z0 has to be positive");
        if (!(input.z > input.z0))
          fatalError("The height z has to be above the roughness length z0");
      }
      input.SpecType = r.readInt("SpecType");
      checkSpecType(input.SpecType, "The Spectrum type should be 0, 1, or 2");
      break;

    case ParameterSource::terrain:
      readTerrainSource(r, echo, kTerrainWording, input);
      break;

    case ParameterSource::Kaimal1d:
      input.ustar = readNonNegative(r, "ustar", "The friction velocity ustar cannot be negative");
      input.z = readPositive(r, "z", "The height z has to be positive");
      input.U0 = r.readFloat("U0");  // passed on to the Kaimal spectra, which do not use it
      break;

    case ParameterSource::TwoD:
      // Either one zero would give a plane of zeros, not a field.
      input.sig2_2D = readPositive(r, "sig2_2D", "The variance sig2_2D has to be positive");
      input.L_2D = readPositive(r, "L_2D", "The length scale L_2D has to be positive");
      // The floor of the three-dimensional model's L (tensor/model.hpp): far
      // below it the plane underflows to zeros as well.
      if (input.L_2D < kMinLengthScale)
        fatalError("The length scale L_2D = " + formatG6(input.L_2D) + " m is below " +
                   formatG6(kMinLengthScale) + " m, the smallest the model takes");
      break;

    case ParameterSource::iec:
      input.iec = readIecSource(r);
      input.params = iecParams(input.iec);
      break;
  }
}

namespace {

// The seed: a negative 32-bit integer, read as a long.
void readSeed(ValueReader& r, std::ostream& echo, SimulationInput& input) {
  input.seed = r.readLong("seed");
  // The engines' random state is a 32-bit integer: a seed beyond that range
  // would reach them truncated.
  if (input.seed < std::numeric_limits<std::int32_t>::min() ||
      input.seed > std::numeric_limits<std::int32_t>::max())
    fatalError("The random seed has to be a 32-bit integer (at least -2147483648)");
  echo << "seed " << input.seed << "\n";
  if (input.seed >= 0) {
    echo << input.seed << "\n";
    fatalError("The random seed has to be a negative integer");
  }
}

}  // namespace

void readSimulationInput(std::istream& in, std::ostream& echo, SimulationInput& input,
                         UpstreamTables& tables, const SourceStep& sourceStep) {
  ValueReader r(in);  // integers in the base their prefix selects
  readFieldShape(r, input);
  readParameterSource(r, echo, input);
  readSourceValues(r, echo, input);
  if (input.source == ParameterSource::land || input.source == ParameterSource::sea ||
      input.source == ParameterSource::terrain)
    sourceStep(input, tables, echo);
  readSeed(r, echo, input);
}

void readOutputNames(std::istream& in, std::ostream& echo, SimulationInput& input) {
  ValueReader r(in);
  for (int c = 0; c < input.nComp; ++c) {
    // "fname (output name 3 of 3)": which one the file lacks.
    const std::string label = "fname (output name " + std::to_string(c + 1) + " of " +
                              std::to_string(input.nComp) + ")";
    const std::string name = r.readWord(label.c_str());
    echo << "fname[i] " << name << "\n";
    if (name.size() > kMaxFileName) fatalError("The output file name is longer than 255 characters");
    input.fname[c] = name;
  }
  // What follows the names is ignored, as it always was (files may keep notes
  // there), but named, so that a name too many, or a component too few, does
  // not pass unseen: a value too many before the names shifts the seed and
  // the names onto the following values, and the last names are left over.
  std::vector<std::string> left;
  std::string word;
  bool more = false;
  while (in >> std::setw(kShownWord + 1) >> word) {
    if (left.size() == std::size_t(kShownWords)) {
      more = true;
      break;
    }
    if (word.size() > std::size_t(kShownWord)) {
      // Shown cut; the rest of a long word is skipped (a little of it).
      word.resize(std::size_t(kShownWord));
      word += "...";
      int skipped = 0;
      while (skipped++ < kSkippedChars && in.peek() != std::char_traits<char>::eof() &&
             !std::isspace(in.peek()))
        in.get();
    }
    left.push_back(word);
  }
  if (left.empty()) return;
  echo << "Ignored after the last output name:";
  for (const std::string& w : left) echo << " " << w;
  if (more) echo << " ...";
  echo << "\n";
  echo << "  (notes may follow the names; if these are values, the file holds one too many "
          "before the names, which shifts the seed and the names)\n";
  echo.flush();
}

Vector3 limNormK(const SimulationInput& in) {
  float lim[3] = {0.0f, 0.0f, 0.0f};
  if (in.fieldDim > 1) {
    // A two-dimensional field has no third size; only its two sizes are compared.
    const bool equal = in.fieldDim == 3
                           ? (in.LMax[0] == in.LMax[1] && in.LMax[1] == in.LMax[2])
                           : in.LMax[0] == in.LMax[1];
    if (!equal) {
      const double L = in.source == ParameterSource::TwoD ? 0.0 : double(in.params.L);
      lim[0] = kLimNormK1;
      for (int d = 1; d < in.fieldDim; ++d)
        lim[d] = static_cast<float>((2.0 * (double(kTwoPiF) * L)) / double(in.LMax[d]));
    }
  }
  return {lim[0], lim[1], lim[2]};
}

void checkBoxIntegrals(const SimulationInput& in, const UpstreamTables& tables,
                       const Vector3& lim) {
  if (in.fieldDim != 3) return;
  const BoxGrid grid{in.NPoint[0], in.NPoint[1], in.NPoint[2],
                     Vector3(in.LMax[0], in.LMax[1], in.LMax[2])};
  const std::optional<Vector3> k = turb3dCellFailure(
      std::span<const int>(in.components, std::size_t(in.nComp)), siteTensorModel(in, &tables),
      grid, lim);
  if (!k) return;
  fatalError("The box's cell integrals do not converge at k = (" + formatG6(k->x) +
             ", 0, 0) rad/m: the box (LMax " + formatG6(in.LMax[0]) + " " +
             formatG6(in.LMax[1]) + " " + formatG6(in.LMax[2]) + " m, L = " +
             formatG6(in.params.L) + " m) is " +
             formatG6(double(in.LMax[0]) / std::min(in.LMax[1], in.LMax[2])) +
             " times longer along the wind than across it, and its cells across the wind are "
             "too wide for its longest waves along it: make LMax2 and LMax3 larger or LMax1 "
             "shorter");
}

void printSummary(std::ostream& echo, const SimulationInput& in, const Vector3& lim) {
  echo << "Field dim and number of components: " << in.fieldDim << " " << in.nComp << "\n";
  if (in.nComp < 3) {
    echo << "Components: ";
    for (int c = 0; c < in.nComp; ++c) echo << in.components[c] << "  ";
    echo << "\n";
  }
  if (in.fieldDim == 2) echo << "Absent Dimension  " << in.absentDim << "\n";
  echo << "Field size\n" << "NPoint  ";
  for (int d = 0; d < in.fieldDim; ++d) echo << in.NPoint[d] << " ";
  echo << "\n" << "LMax    ";
  for (int d = 0; d < in.fieldDim; ++d) echo << formatG6(in.LMax[d]) << " ";
  echo << "\n";
  if (in.source == ParameterSource::land || in.source == ParameterSource::sea)
    echo << "SpecType " << in.SpecType << "\n";
  switch (in.source) {
    case ParameterSource::Kaimal1d:
      echo << "ustar  " << formatG6(in.ustar) << "  z " << formatG6(in.z) << "  U0 "
           << formatG6(in.U0);
      break;
    case ParameterSource::TwoD:
      echo << "sig2_2D  " << formatG6(in.sig2_2D) << "  L_2D " << formatG6(in.L_2D);
      break;
    default:
      echo << "Gamma  " << formatG6(in.params.Gamma) << "  L " << formatG6(in.params.L)
           << "  alphaeps " << formatG6(in.params.alphaeps);
      // The Roughness option sets the tensor model's level (siteTensorModel).
      if (in.Roughness) echo << "\nalphaeps of the tensor model: from the roughness table";
      break;
  }
  echo << "\n" << " Seed: " << in.seed << "\n";
  if (in.fieldDim == 2)
    echo << " LimNormK (" << formatG6(lim.x) << "," << formatG6(lim.y) << ")\n";
  else if (in.fieldDim == 3)
    echo << " LimNormK (" << formatG6(lim.x) << "," << formatG6(lim.y) << "," << formatG6(lim.z)
         << ")\n";
  for (int c = 0; c < in.nComp; ++c) echo << in.fname[c] << "\n";
  echo.flush();
}

}  // namespace wind
