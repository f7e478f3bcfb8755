#include "record/record_blocks.hpp"

#include "handover/placement.hpp"

namespace wind {

namespace {

using json = nlohmann::ordered_json;

json firstOf(const std::array<double, 3>& a, int n) {
  json r = json::array();
  for (int c = 0; c < n; ++c) r.push_back(a[c]);
  return r;
}

json firstOf(const std::array<int, 3>& a, int n) {
  json r = json::array();
  for (int c = 0; c < n; ++c) r.push_back(a[c]);
  return r;
}

json firstOf(const std::array<float, 3>& a, int n) {
  json r = json::array();
  for (int c = 0; c < n; ++c) r.push_back(double(a[c]));
  return r;
}

}  // namespace

json placementJson(const std::optional<GridPlacement>& p) {
  if (!p)
    return {{"wind_speed", nullptr}, {"hub_height", nullptr}, {"grid_bottom", nullptr},
            {"grid_top", nullptr},   {"reference_height", nullptr}, {"warning", nullptr}};
  return {{"wind_speed", p->windSpeed},
          {"hub_height", p->hubHeight},
          {"grid_bottom", p->gridBottom},
          {"grid_top", p->gridTop},
          {"reference_height", p->referenceHeight},
          {"warning", p->warning.empty() ? json() : json(p->warning)}};
}

json hubJson(const std::optional<HubFigures>& h) {
  if (!h)
    return {{"height", nullptr}, {"points", nullptr}, {"components", nullptr},
            {"std", nullptr},    {"TI", nullptr},     {"box_std", nullptr},
            {"box_TI", nullptr}, {"sigma_target", nullptr}, {"TI_target", nullptr}};
  const int n = h->nComp;
  return {{"height", h->height},
          {"points", h->points},
          {"components", firstOf(h->components, n)},
          {"std", firstOf(h->std, n)},
          {"TI", firstOf(h->TI, n)},
          {"box_std", firstOf(h->boxStd, n)},
          {"box_TI", firstOf(h->boxTI, n)},
          {"sigma_target", h->sigmaTarget ? firstOf(*h->sigmaTarget, n) : json()},
          {"TI_target", h->TITarget ? firstOf(*h->TITarget, n) : json()}};
}

json windFileJson(const std::string& name, const WindBox& box,
                  const std::optional<BtsQuantisation>& bts,
                  const std::optional<WndQuantisation>& wnd) {
  const double dt = timeStep(box.grid, box.placement.windSpeed);
  json j = {{"format", bts ? "bts" : "wnd"},
            {bts ? "file" : "root", name},
            {"periodic", true},
            {"time_step", dt},
            {"steps", box.grid.N1},
            {"profile", meanProfileText(box.profile)}};
  if (bts) {
    j["quantisation_error"] = firstOf(bts->worstError, 3);
    j["slope"] = firstOf(bts->slope, 3);
    j["offset"] = firstOf(bts->offset, 3);
  } else if (wnd) {
    j["quantisation_error"] = firstOf(wnd->worstError, 3);
    j["TI_percent"] = firstOf(wnd->tiPercent, 3);
  }
  return j;
}

json netcdfFileJson(const std::string& name, const BoxGrid& grid,
                    const std::optional<GridPlacement>& placement) {
  json time = nullptr, centre = nullptr, speed = nullptr;
  if (placement) {
    time = timeStep(grid, placement->windSpeed);
    centre = placement->gridBottom + double(grid.Lbox.z) / 2.0;
    speed = placement->windSpeed;
  }
  return {{"format", "netcdf"},
          {"file", name},
          {"periodic", true},
          {"time_step", time},
          {"steps", grid.N1},
          {"variables", "box_lengths(ndim), dx(ndim) in m; uvel, vvel, wvel(nx, ny, nz) float32 "
                        "in m/s, perturbations without the mean wind"},
          {"plane_order", "plane i holds the box's plane (nx - i) mod nx, the plane a fixed "
                          "point sees at t = i dx / U (later planes later in time)"},
          {"axes", "x (i) downwind, y (j) to the left looking downwind, z (k) up; node (j, k) "
                   "at (j dy - box_lengths[1]/2, k dz - box_lengths[2]/2) from the box's centre"},
          {"les", {{"turbulence_file", name},
                   {"centre_height", centre},
                   {"wind_speed", speed}}}};
}

json openfastJson(const InflowWindSettings& settings, const std::string& filledTemplate,
                  const std::string& warning) {
  static constexpr const char* kFormats[] = {
      "three raw float32 files (WindType 5)", "TurbSim full-field binary, .bts (WindType 3)",
      "Bladed-style .wnd with its .sum (WindType 4)"};
  const int type = inflowWindType(settings.format);
  json values = json::object();
  for (const InflowWindValue& v : inflowWindValues(settings)) {
    if (v.section != type) continue;
    if (v.value.empty())
      values[v.key] = nullptr;
    else if (v.kind == InflowWindValue::Kind::text)
      values[v.key] = v.value;
    else if (v.kind == InflowWindValue::Kind::flag)
      values[v.key] = v.value == "True";
    else
      values[v.key] = json::parse(v.value);
  }
  return {{"format", kFormats[int(settings.format)]},
          {"WindType", type},
          {"section", "the lines after the separator line (a line of '=') that names WindType = " +
                          std::to_string(type) + ", up to the next separator line"},
          {"values", values},
          {"key_match",
           "keys are InflowWind's names, matched whole without regard to case; RefHt_ stands "
           "for the section's key that begins with RefHt_"},
          {"template", filledTemplate.empty() ? json() : json(filledTemplate)},
          {"warning", warning.empty() ? json() : json(warning)}};
}

json iecScalingJson(const IecScaling& s) {
  json factors = json::array(), before = json::array();
  for (int c = 0; c < s.nComp; ++c) {
    factors.push_back(s.components[c].factor);
    before.push_back(s.components[c].std);
  }
  return {{"applied", true}, {"factors", factors}, {"std_before", before}};
}

}  // namespace wind
