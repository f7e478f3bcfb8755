#pragma once
// Run-record blocks of the full-field wind files, the grid's placement and
// the turbulence at the hub, as JSON values for the run record
// (docs/run-record.md), keys in the order written:
//
//   "placement"  wind_speed (m/s), hub_height, grid_bottom (the lowest row,
//                k = 1), grid_top, reference_height (the middle row), all in
//                m, and warning (text or null); every value null when the run
//                knows no wind speed and hub height
//   "hub"        height, points ("mean of the four grid points around it"),
//                components, std and TI at the hub, box_std and box_TI over
//                the box, sigma_target and TI_target (iec, else null); every
//                value null when unknown
//   "wind_file"  format ("bts" or "wnd"), file (.bts) or root (.wnd with its
//                .wnd and .sum), periodic, time_step, steps, profile (the
//                --profile text), quantisation_error (worst per component,
//                m/s) and slope and offset (.bts) or TI_percent (.wnd)
//                or, for the NetCDF file of LES inflows, format "netcdf",
//                file, periodic, time_step and steps, variables, plane_order,
//                axes and les (what an LES input of the synthetic-turbulence
//                inflow needs: turbulence_file, centre_height, wind_speed)
//   "openfast"   WindType, the key/value pairs InflowWind needs (as the
//                template filler sets them) and the filled copy's name
//   scaling      the entries that --scale iec adds to the record's "scaling"
//                block: applied, factors, std_before
//
// Numbers are doubles written with their shortest digits; nothing here
// touches a file.

#include <optional>
#include <string>
#include <nlohmann/json.hpp>

#include "handover/bts_file.hpp"
#include "handover/hub_figures.hpp"
#include "handover/iec_scaling.hpp"
#include "handover/inflowwind_template.hpp"
#include "handover/mean_profile.hpp"
#include "handover/placement.hpp"
#include "handover/wnd_file.hpp"

namespace wind {

nlohmann::ordered_json placementJson(const std::optional<GridPlacement>& p);

nlohmann::ordered_json hubJson(const std::optional<HubFigures>& h);

// The wind file of a bts run (bts set) or a wnd run (wnd set); name is the
// .bts file or the .wnd root as the record gives it.
nlohmann::ordered_json windFileJson(const std::string& name, const WindBox& box,
                                    const std::optional<BtsQuantisation>& bts,
                                    const std::optional<WndQuantisation>& wnd);

// The NetCDF file of a netcdf run (time_step, centre_height and wind_speed
// null where the run knows no placement).
nlohmann::ordered_json netcdfFileJson(const std::string& name, const BoxGrid& grid,
                                      const std::optional<GridPlacement>& placement);

// The openfast block: "format", "WindType", "section" (how the section is
// found), "values" (key -> value: strings for file names, numbers, booleans;
// a value the run does not know, such as the reference height of a basic
// source without --hub-height, is null), "key_match" (how a key is found:
// RefHt_ stands for the key that begins with it), "template" (the filled
// copy; empty: null) and "warning" (the template's scaling warning; empty:
// null).
nlohmann::ordered_json openfastJson(const InflowWindSettings& settings,
                                    const std::string& filledTemplate,
                                    const std::string& warning = std::string());

// The entries that --scale iec adds to the "scaling" block.
nlohmann::ordered_json iecScalingJson(const IecScaling& s);

}  // namespace wind
