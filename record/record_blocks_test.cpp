// The record blocks that other tools read: their keys, in order, and null
// where the run does not know a value.
#include "record/constraints_record.hpp"
#include "record/record_blocks.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace wind {
namespace {

std::vector<std::string> keys(const nlohmann::ordered_json& j) {
  std::vector<std::string> k;
  for (const auto& [key, value] : j.items()) k.push_back(key);
  return k;
}

TEST(RecordBlocks, PlacementAndHubKeysAreFixedAndNullWhenUnknown) {
  const nlohmann::ordered_json p = placementJson(std::nullopt);
  EXPECT_EQ(keys(p), (std::vector<std::string>{"wind_speed", "hub_height", "grid_bottom",
                                               "grid_top", "reference_height", "warning"}));
  for (const auto& [k, v] : p.items()) EXPECT_TRUE(v.is_null()) << k;
  const nlohmann::ordered_json none = hubJson(std::nullopt);
  EXPECT_EQ(keys(none), (std::vector<std::string>{"height", "points", "components", "std", "TI",
                                                  "box_std", "box_TI", "sigma_target",
                                                  "TI_target"}));
  for (const auto& [k, v] : none.items()) EXPECT_TRUE(v.is_null()) << k;

  HubFigures h;
  h.height = 90.0;
  h.nComp = 2;
  h.components = {2, 3, 0};
  h.std = {1.5, 0.9, 0.0};
  const nlohmann::ordered_json j = hubJson(h);
  EXPECT_EQ(keys(j), keys(none));
  EXPECT_EQ(j["points"],
            "bilinear interpolation of the four grid points around it, as InflowWind reads the "
            "hub");
  EXPECT_EQ(j["std"], nlohmann::json::parse("[1.5, 0.9]"));
  EXPECT_TRUE(j["sigma_target"].is_null());

  GridPlacement g;
  g.warning = "lifted";
  EXPECT_EQ(placementJson(g)["warning"], "lifted");
  g.warning.clear();
  EXPECT_TRUE(placementJson(g)["warning"].is_null());
}

TEST(RecordBlocks, OpenFastValuesAreTheTemplateFillersAsJson) {
  InflowWindSettings s;
  s.rawFiles = {"/a/u.bin", "/a/v.bin", "/a/w.bin"};
  s.grid = BoxGrid{64, 16, 8, Vector3(128.0f, 30.0f, 7.0f)};
  s.uRef = 9.5;
  const nlohmann::ordered_json j = openfastJson(s, "");
  EXPECT_EQ(j["WindType"], 5);
  const nlohmann::ordered_json& v = j["values"];
  EXPECT_EQ(v["FileName_v"], "/a/v.bin");
  EXPECT_EQ(v["dy"], 1.875);
  EXPECT_EQ(v["nz"], 8);
  EXPECT_TRUE(v["RefHt_"].is_null());  // the run knows no reference height
  EXPECT_EQ(v["URef"], 9.5);
  EXPECT_FALSE(v.contains("ScaleMethod"));
  EXPECT_TRUE(j["template"].is_null());
  s.format = WindFileFormat::wnd;
  s.windFile = "/a/root";
  const nlohmann::ordered_json w = openfastJson(s, "/a/t.dat");
  EXPECT_EQ(w["WindType"], 4);
  EXPECT_EQ(w["values"]["FilenameRoot"], "/a/root");
  EXPECT_EQ(w["values"]["TowerFile"], false);
  EXPECT_EQ(w["template"], "/a/t.dat");
}

TEST(RecordBlocks, ConstraintsBlockIsNullWithoutConstraints) {
  EXPECT_TRUE(constraintsJson(nullptr, nullptr).is_null());
}

}  // namespace
}  // namespace wind
