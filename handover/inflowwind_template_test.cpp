// The InflowWind template filler on a template written here from how
// InflowWind reads its input (lines by position, value then key, sections
// after separator lines of '=' that name their WindType): only the value
// fields of the run's keys change, every other byte stays, and a template
// without a needed key or section is refused by name.
#include "handover/inflowwind_template.hpp"

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support.hpp"

namespace wind {
namespace {

using testing::fatalMessage;

const std::string kTemplate = R"(------- InflowWind input for the test turbine ----------------------------------
Site wind for the 5 MW test rotor, written for the filler's tests
--------------------------------------------------------------------------------
False         Echo           - Echo input data to <RootName>.ech (flag)
          1   WindType       - 1 steady, 2 uniform, 3 .bts, 4 .wnd, 5 raw grid files
          0   PropagationDir - Direction of wind propagation (degrees)
          1   NWindVel       - Number of points to output the wind velocity
          0   WindVxiList    - List of x coordinates (m)
          0   WindVyiList    - List of y coordinates (m)
         90   WindVziList    - List of z coordinates (m)
================== Steady wind [used only for WindType = 1] ====================
        8.0   HWindSpeed     - Horizontal wind speed (m/s)
         90   RefHt          - Reference height for the horizontal wind speed (m)
        0.2   PLExp          - Power-law exponent (-)
================== Uniform wind file [used only for WindType = 2] ==============
"unused"      FileName_Uni   - Uniform wind time series
         90   RefHt_Uni      - Reference height for the horizontal wind speed (m)
      125.9   RefLength      - Reference length for linear shear (m)
================== Full-field .bts file [used only for WindType = 3] ===========
"old.bts"     FileName_BTS   - Full-field binary file (.bts)
================== Full-field .wnd file [used only for WindType = 4 or WindType = 7] ==
"unused"      FileNameRoot   - Root name of the .wnd and .sum files
True          TowerFile      - Have a tower file (.twr) (flag)
================== Raw grid files [used only for WindType = 5] =================
"u.bin"       FileName_u     - File of the u component
"v.bin"       FileName_v     - File of the v component
"w.bin"       FileName_w     - File of the w component
         64   nx             - Points along x (-)
         32   ny             - Points along y (-)
         32   nz             - Points along z (-)
         16   dx             - Spacing along x (m)
          3   dy             - Spacing along y (m)
          3   dz             - Spacing along z (m)
         90   RefHt_Grid     - Height of the grid's middle (m)
  -------------   Scaling of the turbulence   ----------------------------------
          1   ScaleMethod    - 0 none, 1 direct, 2 to a standard deviation
          1   SFx            - Factor for u (-)
          1   SFy            - Factor for v (-)
          1   SFz            - Factor for w (-)
         12   SigmaFx        - Standard deviation of u (m/s)
          8   SigmaFy        - Standard deviation of v (m/s)
          2   SigmaFz        - Standard deviation of w (m/s)
  -------------   Mean wind profile   ------------------------------------------
         12   URef           - Mean u at the reference height (m/s)
          2   WindProfile    - Profile type (constant, logarithmic, power law)
        0.2   PLExp_Grid     - Power-law exponent (-)
       0.03   Z0             - Roughness length (m)
          0   XOffset        - Offset of the box along +x (m)
====================== OUTPUT ==================================================
False         SumPrint       - Print a summary file (flag)
              OutList        - Output channels
"Wind1VelX"                  - Wind velocity at point 1
END of input file (the word "END" must appear in the first 3 columns of this last OutList line)
---------------------------------------------------------------------------------------
)";

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

// The lines that differ between two texts of the same line count: line
// number -> (old, new).
std::map<std::size_t, std::pair<std::string, std::string>> changedLines(const std::string& a,
                                                                      const std::string& b) {
  const std::vector<std::string> la = linesOf(a), lb = linesOf(b);
  EXPECT_EQ(la.size(), lb.size()) << "a line was added or removed";
  std::map<std::size_t, std::pair<std::string, std::string>> d;
  for (std::size_t l = 0; l < std::min(la.size(), lb.size()); ++l)
    if (la[l] != lb[l]) d[l] = {la[l], lb[l]};
  return d;
}

// Checks that a changed line kept everything from its key on, and returns
// its new value field, trimmed.
std::string newValue(const std::pair<std::string, std::string>& change, const std::string& key) {
  const std::size_t oldKey = change.first.find(" " + key + " ") + 1;
  const std::size_t newKey = change.second.find(" " + key + " ") + 1;
  EXPECT_EQ(change.first.substr(oldKey), change.second.substr(newKey)) << key;
  const std::string field = change.second.substr(0, newKey);
  return field.substr(field.find_first_not_of(' '),
                      field.find_last_not_of(' ') - field.find_first_not_of(' ') + 1);
}

// The template's line (0-based) whose key is key.
std::size_t lineOf(const std::string& key) {
  const std::vector<std::string> lines = linesOf(kTemplate);
  for (std::size_t l = 0; l < lines.size(); ++l) {
    std::istringstream in(lines[l]);
    std::string value, k;
    if (in >> value >> k && k == key) return l;
  }
  ADD_FAILURE() << "the test template has no " << key;
  return 0;
}

InflowWindSettings rawSettings() {
  InflowWindSettings s;
  s.format = WindFileFormat::raw;
  s.rawFiles = {"/runs/a b/iec_u.bin", "/runs/a b/iec_v.bin", "/runs/a b/iec_w.bin"};
  s.grid = BoxGrid{4096, 32, 16, Vector3(6840.0f, 124.0f, 62.0f)};
  s.referenceHeight = 87.5;
  s.uRef = 11.4;
  s.scaled = true;
  return s;
}

TEST(InflowWindTemplate, RawFilesSetTheirSectionAndNothingElse) {
  const std::string filled = fillInflowWindTemplate(kTemplate, rawSettings(), "t.dat");
  const auto d = changedLines(kTemplate, filled);
  // Every key of the run whose value differs from the template's changes.
  const std::map<std::string, std::string> expected = {
      {"WindType", "5"},
      {"FileName_u", "\"/runs/a b/iec_u.bin\""},
      {"FileName_v", "\"/runs/a b/iec_v.bin\""},
      {"FileName_w", "\"/runs/a b/iec_w.bin\""},
      {"nx", "4096"},
      {"nz", "16"},
      {"dx", "1.669921875"},  // 6840 / 4096
      {"dy", "3.875"},
      {"dz", "3.875"},
      {"RefHt_Grid", "87.5"},
      {"ScaleMethod", "0"},
      {"URef", "11.4"},
  };
  ASSERT_EQ(d.size(), expected.size());
  for (const auto& [key, value] : expected) {
    ASSERT_TRUE(d.count(lineOf(key))) << key << " unchanged";
    EXPECT_EQ(newValue(d.at(lineOf(key)), key), value);
  }
  // ny stays 32: its line is untouched. Without --scale iec ScaleMethod stays.
  InflowWindSettings unscaled = rawSettings();
  unscaled.scaled = false;
  EXPECT_EQ(changedLines(kTemplate, fillInflowWindTemplate(kTemplate, unscaled, "t.dat"))
                .count(lineOf("ScaleMethod")),
            0u);
}

TEST(InflowWindTemplate, BtsAndWndSetTheirFileNameAndWindType) {
  InflowWindSettings bts;
  bts.format = WindFileFormat::bts;
  bts.windFile = "/runs/iec_u.bts";
  const auto db = changedLines(kTemplate, fillInflowWindTemplate(kTemplate, bts, "t.dat"));
  ASSERT_EQ(db.size(), 2u);
  EXPECT_EQ(newValue(db.at(lineOf("WindType")), "WindType"), "3");
  EXPECT_EQ(newValue(db.at(lineOf("FileName_BTS")), "FileName_BTS"), "\"/runs/iec_u.bts\"");

  InflowWindSettings wnd;
  wnd.format = WindFileFormat::wnd;
  wnd.windFile = "/runs/it's";  // a single quote: the name goes in double quotes
  const auto dw = changedLines(kTemplate, fillInflowWindTemplate(kTemplate, wnd, "t.dat"));
  ASSERT_EQ(dw.size(), 3u);
  EXPECT_EQ(newValue(dw.at(lineOf("WindType")), "WindType"), "4");
  EXPECT_EQ(newValue(dw.at(lineOf("FileNameRoot")), "FileNameRoot"), "\"/runs/it's\"");
  EXPECT_EQ(newValue(dw.at(lineOf("TowerFile")), "TowerFile"), "False");
  wnd.windFile = "a\"b";
  EXPECT_EQ(newValue(changedLines(kTemplate, fillInflowWindTemplate(kTemplate, wnd, "t.dat"))
                         .at(lineOf("FileNameRoot")),
                     "FileNameRoot"),
            "'a\"b'");
}

TEST(InflowWindTemplate, KeepsColumnsLineEndsAndTheFinalNewline) {
  // Right-aligned numbers keep their right edge; a left-aligned file name
  // that does not fit pushes its key one blank to the right.
  const std::string filled = fillInflowWindTemplate(kTemplate, rawSettings(), "t.dat");
  const std::vector<std::string> lines = linesOf(filled);
  EXPECT_EQ(lines[lineOf("nx")], "       4096   nx             - Points along x (-)");
  EXPECT_EQ(lines[lineOf("ScaleMethod")],
            "          0   ScaleMethod    - 0 none, 1 direct, 2 to a standard deviation");
  EXPECT_EQ(lines[lineOf("FileName_u")],
            "\"/runs/a b/iec_u.bin\" FileName_u     - File of the u component");

  // CRLF line ends and no final newline survive; only value fields change.
  std::string crlf;
  for (const std::string& l : linesOf(kTemplate)) crlf += l + "\r\n";
  crlf.resize(crlf.size() - 2);
  const std::string filledCrlf = fillInflowWindTemplate(crlf, rawSettings(), "t.dat");
  std::string expected;
  for (const std::string& l : lines) expected += l + "\r\n";
  expected.resize(expected.size() - 2);
  EXPECT_EQ(filledCrlf, expected);
}

TEST(InflowWindTemplate, RefusesATemplateWithoutTheKeysItNeeds) {
  const auto without = [](const std::string& line) {
    std::string t = kTemplate;
    const std::size_t at = t.find(line);
    EXPECT_NE(at, std::string::npos) << line;
    return t.erase(at, t.find('\n', at) + 1 - at);
  };
  const auto message = [](const std::string& text, WindFileFormat f) {
    InflowWindSettings s = rawSettings();
    s.format = f;
    s.windFile.assign(1, 'x');
    return fatalMessage([&] { fillInflowWindTemplate(text, s, "my.dat"); });
  };
  EXPECT_EQ(message(without("         90   RefHt_Grid"), WindFileFormat::raw),
            "The InflowWind template my.dat has no line whose key begins with RefHt_ in its "
            "section for WindType 5");
  EXPECT_EQ(message(without("         12   URef"), WindFileFormat::raw),
            "The InflowWind template my.dat has no line with the key URef in its section for "
            "WindType 5");
  EXPECT_EQ(message(without("================== Full-field .bts"), WindFileFormat::bts),
            "The InflowWind template my.dat has no section for WindType 3 (a separator line of "
            "'=' that names WindType = 3)");
  EXPECT_EQ(message(without("          1   WindType"), WindFileFormat::wnd),
            "The InflowWind template my.dat has no WindType line");
  std::string twice = kTemplate;
  twice.insert(twice.find("         32   ny"), "         64   nx\n");
  EXPECT_EQ(message(twice, WindFileFormat::raw),
            "The InflowWind template my.dat has more than one line with the key nx in its "
            "section for WindType 5");
  // The tower-file line is optional; plain RefHt of WindType 1 is never taken.
  EXPECT_EQ(message(without("True          TowerFile"), WindFileFormat::wnd), "");
  InflowWindSettings unknown = rawSettings();
  unknown.referenceHeight.reset();
  EXPECT_EQ(fatalMessage([&] { fillInflowWindTemplate(kTemplate, unknown, "my.dat"); }),
            "--openfast-template: the raw files need the reference height and URef: give "
            "--wind-speed and --hub-height");
}

// InflowWind stops at a key it does not know by its name ("The variable
// FileName_BTS was not found on line #22" for a .bts key spelt Filename): the
// filler takes the names InflowWind reads, and names the line that stands for
// one under another spelling.
TEST(InflowWindTemplate, KeysAreInflowWindsNamesAndANearMissIsNamedByItsLine) {
  const auto respelt = [](const std::string& from, const std::string& to) {
    std::string t = kTemplate;
    const std::size_t at = t.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return t.replace(at, from.size(), to);
  };
  InflowWindSettings bts;
  bts.format = WindFileFormat::bts;
  bts.windFile = "/runs/iec_u.bts";
  EXPECT_EQ(fatalMessage([&] {
              fillInflowWindTemplate(respelt("FileName_BTS", "Filename    "), bts, "my.dat");
            }),
            "The InflowWind template my.dat, line 20: the key Filename is not FileName_BTS, the "
            "name InflowWind reads there in its section for WindType 3: write FileName_BTS in "
            "its place");
  InflowWindSettings wnd = bts;
  wnd.format = WindFileFormat::wnd;
  EXPECT_EQ(fatalMessage([&] {
              fillInflowWindTemplate(respelt("FileNameRoot", "FileName_BTS"), wnd, "my.dat");
            }),
            "The InflowWind template my.dat, line 22: the key FileName_BTS is not FilenameRoot, "
            "the name InflowWind reads there in its section for WindType 4: write FilenameRoot "
            "in its place");
  // Case does not matter (FileNameRoot is FilenameRoot); another key does.
  EXPECT_EQ(fatalMessage([&] { fillInflowWindTemplate(kTemplate, wnd, "my.dat"); }), "");
  EXPECT_EQ(fatalMessage([&] {
              fillInflowWindTemplate(respelt("URef ", "Uref0"), rawSettings(), "my.dat");
            }),
            "The InflowWind template my.dat, line 44: the key Uref0 is not URef, the name "
            "InflowWind reads there in its section for WindType 5: write URef in its place");
}

// Raw files under a template that keeps a ScaleMethod other than 0: the
// factors or standard deviations InflowWind would scale the box by are named.
TEST(InflowWindTemplate, AScalingThatChangesTheRawBoxIsNamed) {
  InflowWindSettings raw = rawSettings();
  raw.scaled = false;
  EXPECT_EQ(inflowWindScalingWarning(kTemplate, raw, "t.dat"),
            "The InflowWind template t.dat keeps ScaleMethod 1 (line 36, with SFx 1, SFy 1, SFz "
            "1): InflowWind will multiply u, v and w by these factors and remove each grid "
            "point's time mean of u, so the box it reads is not the box written; set "
            "ScaleMethod to 0 in the template to read the box as written");
  std::string method2 = kTemplate;
  method2.replace(method2.find("          1   ScaleMethod"), 25, "          2   ScaleMethod");
  EXPECT_NE(inflowWindScalingWarning(method2, raw, "t.dat")
                .find("keeps ScaleMethod 2 (line 36, with SigmaFx 12, SigmaFy 8, SigmaFz 2): "
                      "InflowWind will scale u, v and w to these standard deviations at the "
                      "grid's centre point"),
            std::string::npos);
  std::string method0 = kTemplate;
  method0.replace(method0.find("          1   ScaleMethod"), 25, "          0   ScaleMethod");
  EXPECT_EQ(inflowWindScalingWarning(method0, raw, "t.dat"), "");
  EXPECT_EQ(inflowWindScalingWarning(kTemplate, rawSettings(), "t.dat"), "");  // --scale iec
  InflowWindSettings bts = raw;
  bts.format = WindFileFormat::bts;
  EXPECT_EQ(inflowWindScalingWarning(kTemplate, bts, "t.dat"), "");
}

TEST(InflowWindTemplate, CopyIsNamedAfterTheFirstOutputAndTheTemplate) {
  EXPECT_EQ(filledTemplateName("out/iec_u.bin", "cases/IfW.dat"), "out/iec_u_IfW.dat");
  EXPECT_EQ(filledTemplateName("u", "/t/inflow.inp"), "u_inflow.inp");
}

// The keys of each part of an InflowWind input (main part, then the section
// of each WindType named by its separator line) in the order InflowWind reads
// them: "main" before the first separator line, "" for sections that name no
// WindType (lidar, output). The first three lines are free text. A line's key
// is the first word after its value that begins with a letter (a list value
// has several numbers); the lines that head a subsection ("----- ...") and
// the output channels carry none.
std::vector<std::pair<std::string, std::vector<std::string>>> keysBySection(const std::string& t) {
  std::vector<std::pair<std::string, std::vector<std::string>>> parts{{"main", {}}};
  bool inOutput = false;
  const std::vector<std::string> lines = linesOf(t);
  for (std::size_t l = 3; l < lines.size(); ++l) {
    const std::string& line = lines[l];
    std::istringstream in(line);
    std::string value, key;
    in >> value;
    if (value.empty() || value.rfind("---", 0) == 0) continue;
    if (value[0] == '=') {
      std::string name;
      for (std::size_t at = line.find("WindType = "); at != std::string::npos;
           at = line.find("WindType = ", at + 1))
        name += (name.empty() ? "" : "/") + line.substr(at + 11, 1);
      parts.emplace_back(name, std::vector<std::string>{});
      inOutput = line.find("OUTPUT") != std::string::npos;
      continue;
    }
    if (inOutput && (value[0] == '"' || value == "END")) continue;  // channels
    while (in >> key && !std::isalpha(static_cast<unsigned char>(key[0]))) continue;
    if (value == "OutList") key = value;
    if (!key.empty()) parts.back().second.push_back(key);
  }
  return parts;
}

TEST(ShippedInput, IsTheExampleFileWithInflowWindsKeysInEverySection) {
  EXPECT_EQ(std::string(shippedInflowWindInput()),
            testing::readText(std::string(WIND_SOURCE_DIR) + "/examples/InflowWind.dat"))
      << "the compiled-in text is the example file";
  using Keys = std::vector<std::string>;
  const std::vector<std::pair<std::string, Keys>> expected = {
      {"main", {"Echo", "WindType", "PropagationDir", "VFlowAng", "VelInterpCubic", "NWindVel",
                "WindVxiList", "WindVyiList", "WindVziList"}},
      {"1", {"HWindSpeed", "RefHt", "PLExp"}},
      {"2", {"FileName_Uni", "RefHt_Uni", "RefLength"}},
      {"3", {"FileName_BTS"}},
      {"4/7", {"FileNameRoot", "TowerFile"}},
      {"5", {"FileName_u", "FileName_v", "FileName_w", "nx", "ny", "nz", "dx", "dy", "dz",
             "RefHt_Hawc", "ScaleMethod", "SFx", "SFy", "SFz", "SigmaFx", "SigmaFy", "SigmaFz",
             "URef", "WindProfile", "PLExp_Hawc", "Z0", "XOffset"}},
      {"", {"SensorType", "NumPulseGate", "PulseSpacing", "NumBeam", "FocalDistanceX",
            "FocalDistanceY", "FocalDistanceZ", "RotorApexOffsetPos", "URefLid",
            "MeasurementInterval", "LidRadialVel", "ConsiderHubMotion"}},
      {"", {"SumPrint", "OutList"}},
  };
  EXPECT_EQ(keysBySection(std::string(shippedInflowWindInput())), expected);
}

TEST(ShippedInput, FilledForEachFormatWithTheHubAndTheProfile) {
  const std::string shipped(shippedInflowWindInput());
  const std::vector<std::string> lines = linesOf(shipped);
  const auto line = [&](const std::string& key) {
    for (std::size_t l = 0; l < lines.size(); ++l)
      if (lines[l].find(" " + key + " ") != std::string::npos) return l;
    ADD_FAILURE() << key;
    return std::size_t(0);
  };
  const auto filled = [&](InflowWindSettings s) {
    s.shipped = true;
    s.hubHeight = 87.5;
    s.hubSeries = "iec.hh";
    std::map<std::string, std::string> values;
    for (const auto& [l, change] : changedLines(shipped, fillInflowWindTemplate(shipped, s, "")))
      for (const char* key :
           {"WindType", "WindVziList", "FileName_Uni", "RefHt_Uni", "FileName_BTS", "FileNameRoot",
            "FileName_u", "nx", "nz", "dx", "dy", "dz", "RefHt_Hawc", "URef", "ScaleMethod",
            "WindProfile", "PLExp_Hawc", "Z0", "TowerFile"})
        if (l == line(key)) values[key] = newValue(change, key);
    return values;
  };
  using Values = std::map<std::string, std::string>;
  const Values hub = {{"WindVziList", "87.5"}, {"FileName_Uni", "\"iec.hh\""}, {"RefHt_Uni", "87.5"}};
  InflowWindSettings bts;
  bts.format = WindFileFormat::bts;
  bts.windFile = "iec.bts";
  Values expected = hub;
  expected["FileName_BTS"] = "\"iec.bts\"";
  EXPECT_EQ(filled(bts), expected) << "WindType 3 stands already";
  InflowWindSettings wnd = bts;
  wnd.format = WindFileFormat::wnd;
  wnd.windFile = "iec";
  expected = hub;
  expected.insert({{"WindType", "4"}, {"FileNameRoot", "\"iec\""}});
  EXPECT_EQ(filled(wnd), expected);
  // Raw files: the grid, and the run's profile in place of the example's.
  InflowWindSettings raw = rawSettings();
  raw.profile = parseMeanProfile("log:0.05");
  expected = hub;
  expected.insert({{"WindType", "5"}, {"FileName_u", "\"/runs/a b/iec_u.bin\""}, {"nx", "4096"},
                   {"nz", "16"}, {"dx", "1.669921875"}, {"dy", "3.875"}, {"dz", "3.875"},
                   {"RefHt_Hawc", "87.5"}, {"WindProfile", "1"}, {"Z0", "0.05"}});
  EXPECT_EQ(filled(raw), expected) << "URef 11.4 and ScaleMethod 0 stand already";
  raw.profile = parseMeanProfile("power:0.14");
  EXPECT_EQ(filled(raw).at("PLExp_Hawc"), "0.14");
  EXPECT_EQ(filled(raw).count("WindProfile"), 0u) << "2 stands already";
  raw.referenceHeight.reset();
  raw.shipped = true;
  EXPECT_EQ(fatalMessage([&] { fillInflowWindTemplate(shipped, raw, ""); }),
            "--openfast-input: the raw files need the reference height and URef: give "
            "--wind-speed and --hub-height");
}

TEST(InflowWindTemplate, TheUniformWindIsSetWhereYourTemplateHasIt) {
  InflowWindSettings s;
  s.format = WindFileFormat::bts;
  s.windFile = "b.bts";
  s.hubSeries = "b.hh";
  s.hubHeight = 90.5;
  const auto d = changedLines(kTemplate, fillInflowWindTemplate(kTemplate, s, "t.dat"));
  EXPECT_EQ(newValue(d.at(lineOf("FileName_Uni")), "FileName_Uni"), "\"b.hh\"");
  EXPECT_EQ(newValue(d.at(lineOf("RefHt_Uni")), "RefHt_Uni"), "90.5");
  EXPECT_EQ(d.count(lineOf("WindVziList")), 0u) << "your output points stay yours";
  // A template without the uniform section is filled all the same.
  std::string t = kTemplate;
  const std::size_t from = t.find("================== Uniform");
  t.erase(from, t.find("==================", from + 1) - from);
  EXPECT_EQ(fatalMessage([&] { fillInflowWindTemplate(t, s, "t.dat"); }), "");
}

}  // namespace
}  // namespace wind
