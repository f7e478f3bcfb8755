// Writes the land table of the ESDU site parameters as a C++ source file of the
// sources library, derived from the sea table by similarity in z/h (see
// tools/esdu_similarity.hpp and docs/land-table.md).
//
//   make_esdu_land_table <output.cpp>
//
// The table goes to the named file; a report of the derivation (the
// cross-validation on the sea table, the telling records against their
// derived values, the nodes clamped beyond the sea samples and the ranges of
// the table) goes to standard output. The output is the same, byte for byte,
// on every run.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/fatal_error.hpp"
#include "support/print_format.hpp"
#include "tools/esdu_similarity.hpp"

using namespace wind;
using namespace wind::similarity;

namespace {

// Components of a record, in storage order.
constexpr const char* kComponentNames[3] = {"alphaeps", "Gamma", "L"};

float speedOf(int u) { return esduSpeedGrid[static_cast<std::size_t>(u)]; }
float heightOf(int h) { return esduHeightGrid[static_cast<std::size_t>(h)]; }
float roughnessOf(int r) { return esduRoughnessGrid[static_cast<std::size_t>(r)]; }

std::string nodeName(const LandNode& n) {
  return "U = " + formatG6(speedOf(n.speed)) + " m/s, z = " + formatG6(heightOf(n.height)) +
         " m, z0 = " + formatG6(roughnessOf(n.roughness)) + " m";
}

constexpr const char* kHeader =
    R"(// Land sites: records (alphaeps, Gamma, L) over wind speed, height and
// roughness length.
//
// GENERATED FILE, do not edit: written by tools/make_esdu_land_table.cpp.
// To rerun from the repository root:
//   cmake --preset release && cmake --build --preset release --target make_esdu_land_table
//   build/release/tools/make_esdu_land_table sources/esdu_land_table.cpp
// The test esdu_land_table_reproducible checks that the generator still
// writes this file unchanged.
//
// Derivation (docs/land-table.md): with u* from the wind profile of the site
// and the boundary-layer height h = u*/(6 f), the sea records reduce to three
// functions of z/h, Gamma = G(z/h), L = Lambda(z/h) xLu and
// alphaeps = E(z/h) sigma_u^2 L^(-2/3), sigma_u and xLu from the neutral
// boundary layer of ESDU 85020. Each land record is formed from the land
// site's own u*, sigma_u and xLu with G, Lambda, E read off the sea samples by
// a local quadratic regression in z/h; nodes above the highest sea sample
// keep that sample's G, Lambda, E. The eight reference records are exact.
// Every value has six significant digits.
#include "sources/esdu_tables.hpp"

namespace wind {

// [speed][height][roughness] = {alphaeps, Gamma, L}
const EsduLandTable esduLandTable = {{
)";

constexpr const char* kFooter = R"(}};

bool esduLandTableAvailable() { return true; }

}  // namespace wind
)";

std::string tableSource(const EsduLandTable& t) {
  std::ostringstream os;
  os << kHeader;
  for (int u = 0; u < kEsduSpeeds; ++u) {
    os << "    // U = " << formatG6(speedOf(u)) << " m/s\n    {{\n";
    for (int h = 0; h < kEsduHeights; ++h) {
      os << "        // z = " << formatG6(heightOf(h)) << " m\n        {{\n";
      for (int r = 0; r < kEsduRoughnesses; ++r) {
        const EsduRecord& rec =
            t[static_cast<std::size_t>(u)][static_cast<std::size_t>(h)][static_cast<std::size_t>(r)];
        os << "            {" << formatG6(rec[0]) << ", " << formatG6(rec[1]) << ", "
           << formatG6(rec[2]) << "},  // z0 = " << formatG6(roughnessOf(r)) << " m\n";
      }
      os << "        }},\n";
    }
    os << "    }},\n";
  }
  os << kFooter;
  return os.str();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 == 1 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

double percent(double value, double reference) { return 100.0 * (value / reference - 1.0); }

void reportCrossValidation() {
  const std::vector<SeaSample> sea = seaSamples();
  const std::vector<EsduRecord> predicted = leaveOneOutSea();
  struct Band {
    double lo, hi;
    const char* name;
  };
  const Band bands[] = {{0.0, HUGE_VAL, "all"},
                        {0.0, 0.03, "z/h < 0.03"},
                        {0.03, 0.2, "0.03 - 0.2"},
                        {0.2, HUGE_VAL, "0.2 - top"}};
  std::printf("Leave-one-out on the %zu sea samples, |deviation| in %%, median / max:\n",
              sea.size());
  for (const Band& b : bands) {
    std::size_t count = 0;
    for (const SeaSample& s : sea) count += (s.sample.zh >= b.lo && s.sample.zh < b.hi) ? 1 : 0;
    std::printf("  %-11s (%2zu)", b.name, count);
    for (std::size_t c = 0; c < 3; ++c) {
      std::vector<double> d;
      for (std::size_t i = 0; i < sea.size(); ++i) {
        if (!(sea[i].sample.zh >= b.lo && sea[i].sample.zh < b.hi)) continue;
        const EsduRecord& rec = esduSeaTable[static_cast<std::size_t>(sea[i].speed)]
                                            [static_cast<std::size_t>(sea[i].height)];
        d.push_back(std::fabs(percent(predicted[i][c], rec[c])));
      }
      std::printf("  %s %5.2f / %5.2f", kComponentNames[c], median(d), *std::max_element(d.begin(), d.end()));
    }
    std::printf("\n");
  }
}

void reportDerivation(const LandDerivation& d) {
  std::printf("Telling records, derived value against the record (%%):\n");
  for (std::size_t k = 0; k < tellingRecords.size(); ++k) {
    const TellingRecord& t = tellingRecords[k];
    const BoundaryLayer bl = boundaryLayer(speedOf(t.node.speed), heightOf(t.node.height),
                                           roughnessOf(t.node.roughness), false);
    std::printf("  %-36s z/h %.4f: alphaeps %+7.2f, Gamma %+7.2f, L %+7.2f%s\n",
                nodeName(t.node).c_str(), bl.zh, percent(d.derivedTelling[k][0], t.record[0]),
                percent(d.derivedTelling[k][1], t.record[1]),
                percent(d.derivedTelling[k][2], t.record[2]), bl.zh > d.zhMax ? " (clamped)" : "");
  }
  std::printf("Clamped to the highest sea sample (z/h %.4f): %zu nodes\n", d.zhMax, d.clamped.size());
  for (const LandNode& n : d.clamped) {
    const BoundaryLayer bl =
        boundaryLayer(speedOf(n.speed), heightOf(n.height), roughnessOf(n.roughness), false);
    std::printf("  %-36s z/h %.4f\n", nodeName(n).c_str(), bl.zh);
  }
  std::printf("Ranges of the table:\n");
  for (std::size_t c = 0; c < 3; ++c) {
    double lo = HUGE_VAL, hi = -HUGE_VAL;
    for (const auto& speed : d.table)
      for (const auto& height : speed)
        for (const auto& rec : height) {
          lo = std::min(lo, rec[c]);
          hi = std::max(hi, rec[c]);
        }
    std::printf("  %-9s %s .. %s\n", kComponentNames[c], formatG6(lo).c_str(), formatG6(hi).c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) fatalError("Usage: make_esdu_land_table <output.cpp>");
  const LandDerivation d = deriveLandTable();
  const std::string source = tableSource(d.table);
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out << source;
  out.close();
  if (!out) fatalError(std::string("Cannot write the land table to ") + argv[1]);
  reportCrossValidation();
  reportDerivation(d);
  std::printf("Wrote %s\n", argv[1]);
  return 0;
}
