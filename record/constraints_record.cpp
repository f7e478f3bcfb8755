#include "record/constraints_record.hpp"

#include <algorithm>

#include "record/record_blocks.hpp"
#include "support/print_format.hpp"

namespace wind {

namespace {

using json = nlohmann::ordered_json;

// The grid point of a series in the written files' layout (1-based), or the
// text that says it has none.
json gridPoint(const PlacedColumn& p, const BoxConstraints& c) {
  if (!p.across.node || !p.up.node) return "off the grid points";
  const int j = p.across.index + 1, k = p.up.index + 1;
  return json::array({c.layout == OutputLayout::inflowwind ? c.N2 + 1 - j : j, k});
}

}  // namespace

json constraintsJson(const BoxConstraints* c, const Turb3dConstraintOutcome* outcome) {
  if (c == nullptr || outcome == nullptr) return nullptr;
  json series = json::array();
  bool offGrid = false;
  double largest = 0.0;
  for (std::size_t q = 0; q < c->columns.size(); ++q) {
    const PlacedColumn& p = c->columns[q];
    const double d = q < outcome->largestDifference.size() ? outcome->largestDifference[q] : 0.0;
    largest = std::max(largest, d);
    offGrid = offGrid || !p.across.node || !p.up.node;
    series.push_back({{"name", p.name},
                      {"component", p.comp + 1},
                      {"y", p.y},
                      {"z", p.z},
                      {"grid_point", gridPoint(p, *c)},
                      {"mean_removed", p.mean},
                      {"largest_difference", d}});
  }
  const bool iw = c->layout == OutputLayout::inflowwind;
  // The run's own placement (without its warning, which the run's block
  // gives) and the lateral span the series may take.
  json placement = placementJson(c->placement);
  placement.erase("warning");
  placement["lateral_extent"] = json::array({-c->halfWidth, c->halfWidth});
  return {
      {"file", c->file},
      {"series", series},
      {"placement", placement},
      {"time_step", c->dt},
      {"samples", c->N1},
      {"series_step", c->seriesStep},
      {"rows", c->rows},
      {"rows_used", c->rowsUsed},
      {"resampling", samplingName(c->sampling)},
      {"time_origin",
       iw ? "the series' first time is t = 0: sample n (t = n time_step) is in plane n + 1 of "
            "the files (classic plane (N1 - 1 - n) mod N1 + 1), which InflowWind reads at t = n "
            "time_step at x = 0"
          : "the series' first time is t = 0: sample n (t = n time_step) is in plane "
            "(N1 - n) mod N1 + 1, which a point at x = 0 sees at t = n time_step"},
      {"interpolation",
       offGrid ? json("off the grid points the box holds the series in its trigonometric "
                      "interpolant across the wind (the highest wave number of each axis taken "
                      "as a cosine)")
               : json()},
      {"largest_difference", largest},
      {"nugget",
       {{"largest", outcome->largestNugget},
        {"wave_numbers", outcome->nuggetWaveNumbers},
        {"rule", "added to M(k1) (relative to its mean diagonal, from " + formatG6(kFirstNugget) +
                     " up by tens) where its factorisation fails or its condition estimate "
                     "exceeds " + formatG6(kMaxCondition) +
                     ", and where the data's energy under the model exceeds " +
                     formatG6(kMaxEnergy) + " per series while the solve amplifies it more than " +
                     formatG6(kMaxAmplification) +
                     " times (nearly coincident points whose series disagree)"}}}};
}

}  // namespace wind
