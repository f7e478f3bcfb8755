#include "simulation/simulation_input.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support.hpp"

using namespace wind;
using ::testing::ExitedWithCode;
using wind::testing::fatalReport;
using wind::testing::literal;

namespace {

// Reads text up to and including the seed; returns the echo.
std::string readText(const std::string& text, SimulationInput& input,
                     const SourceStep& step = noSourceStep) {
  std::istringstream in(text);
  std::ostringstream echo;
  UpstreamTables tables;
  readSimulationInput(in, echo, input, tables, step);
  return echo.str();
}

// The same, echoing on the console as the program does (for death tests).
void readToConsole(const std::string& text) {
  std::istringstream in(text);
  SimulationInput input;
  UpstreamTables tables;
  readSimulationInput(in, std::cerr, input, tables, noSourceStep);
}

// Expected stderr: the echo before the failure, then the fatal report.
std::string echoThenFatal(const std::string& echo, const std::string& message) {
  return literal(echo) + fatalReport(message);
}

}  // namespace

TEST(SimulationInput, ReadsThreeDimensionalBasicBox) {
  SimulationInput in;
  const std::string echo =
      readText("3\n3\n4096 32 32\n4096 93 93\nbasic\n0.1 33.6 3.9\n-1\n", in);
  EXPECT_EQ(echo, "strlen  5  line specifying ParameterSource: basic\nseed -1\n");
  EXPECT_EQ(in.fieldDim, 3);
  EXPECT_EQ(in.nComp, 3);
  EXPECT_EQ(in.NPoint[0], 4096);
  EXPECT_EQ(in.NPoint[2], 32);
  EXPECT_EQ(in.LMax[1], 93.0f);
  EXPECT_EQ(in.source, ParameterSource::basic);
  EXPECT_EQ(in.params.alphaeps, 0.1f);
  EXPECT_EQ(in.params.L, 33.6f);
  EXPECT_EQ(in.params.Gamma, 3.9f);
  EXPECT_EQ(in.seed, -1);
  EXPECT_FALSE(siteTensorModel(in, nullptr).Terrain);
}

TEST(SimulationInput, ExampleLoadBoxReads) {
  std::ifstream file(std::string(WIND_SOURCE_DIR) + "/examples/loadbox.inp");
  ASSERT_TRUE(file.is_open());
  SimulationInput in;
  std::ostringstream echo;
  UpstreamTables tables;
  readSimulationInput(file, echo, in, tables, noSourceStep);
  EXPECT_EQ(in.fieldDim, 3);
  EXPECT_EQ(in.NPoint[0], 4096);
  EXPECT_EQ(in.source, ParameterSource::basic);
  std::string next;
  file >> next;
  EXPECT_EQ(next, "loadbox_u.bin");
}

TEST(SimulationInput, IntegersReadInThePrefixBase) {
  // 0x2 hexadecimal, 02/01/03/010 octal, 0X4 hexadecimal; -0x10 is -16.
  SimulationInput in;
  readText("0x2 02 01 0x2 03\n010 0X4\n100 50\n2D\n1.5 20\n-0x10\n", in);
  EXPECT_EQ(in.fieldDim, 2);
  EXPECT_EQ(in.nComp, 2);
  EXPECT_EQ(in.components[0], 0);
  EXPECT_EQ(in.components[1], 1);
  EXPECT_EQ(in.absentDim, 2);
  EXPECT_EQ(in.NPoint[0], 8);
  EXPECT_EQ(in.NPoint[1], 4);
  EXPECT_EQ(in.source, ParameterSource::TwoD);
  EXPECT_EQ(in.sig2_2D, 1.5f);
  EXPECT_EQ(in.L_2D, 20.0f);
  EXPECT_EQ(in.seed, -16);

  // "08" is the octal 0 followed by a separate 8: SpecType 0, then seed 8.
  EXPECT_EXIT(readToConsole("1 1 1\n64\n100\nland\n10 20 0.1 08\n"), ExitedWithCode(1),
              echoThenFatal("seed 8\n8\n", "The random seed has to be a negative integer"));
}

TEST(SimulationInput, ComponentListOnlyForOneOrTwoComponents) {
  // nComp 3: the next value is absentDim; fieldDim 3, nComp 2 stores 1 and 3 as 0 and 2.
  SimulationInput a;
  readText("2 3 3 8 4 10 20\nbasic\n1 2 3 -5\n", a);
  EXPECT_EQ(a.absentDim, 2);
  EXPECT_EQ(a.NPoint[0], 8);
  EXPECT_EQ(a.NPoint[1], 4);
  EXPECT_EQ(a.seed, -5);

  SimulationInput b;
  readText("3 2 1 3 4 4 4 1 1 1\nbasic\n1 2 3 -5\n", b);
  EXPECT_EQ(b.components[0], 0);
  EXPECT_EQ(b.components[1], 2);
}

TEST(SimulationInput, ShapeChecksInReadingOrder) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"4", "The dimension of the field should be 1, 2 or 3"},
      {"0", "The dimension of the field should be 1, 2 or 3"},
      {"1 0", "The number of components in the field should be 1, 2 or 3"},
      {"1 2 1 4", "The components of the field should be 1, 2 or 3"},
      {"2 3 0", "The absent space dimensions of the field should be 1, 2 or 3"},
      {"1 3 0", "Number of points in each spatial dimension has to be a power of 2: NPoint = 0 "
                "on line 1 (value 1 of 1) is not one (2, 4, 8, ...); the file gives NPoint on "
                "the line before LMax, the box lengths"},
      {"1 3 -4", "Number of points in each spatial dimension has to be a power of 2: NPoint = "
                 "-4 on line 1 (value 1 of 1) is not one (2, 4, 8, ...); the file gives NPoint "
                 "on the line before LMax, the box lengths"},
      {"2 3 1 8 6", "Number of points in each spatial dimension has to be a power of 2: NPoint "
                    "= 6 on line 1 (value 2 of 2) is not one (4 and 8 lie nearest); the file "
                    "gives NPoint on the line before LMax, the box lengths"},
      {"1 3 1", "Number of points in each spatial dimension has to be at least 2: NPoint = 1 on "
                "line 1 (value 1 of 1) gives no field: give 2, 4, 8, ..."},
      {"1 3 8 0", "The field size LMax has to be positive: LMax = 0 m on line 1 (value 1 of 1) "
                  "is not"},
      {"1 3 8 -10", "The field size LMax has to be positive: LMax = -10 m on line 1 (value 1 of "
                    "1) is not"},
  };
  for (const auto& [text, message] : cases)
    EXPECT_EXIT(readToConsole(text), ExitedWithCode(1), fatalReport(message)) << text;
}

// The messages name the value and its line: NPoint 4096 32 30, and the NPoint
// and LMax lines swapped; a box shorter than a millimetre, whose wave numbers
// leave single precision (a box of NaN before), is no box.
TEST(SimulationInput, BoxValuesAreNamedWithTheirLine) {
  const auto message = [](const std::string& text) {
    return wind::testing::fatalMessage([&] { readToConsole(text); });
  };
  EXPECT_EQ(message("3\n3\n4096 32 30\n6840 124 124\n"),
            "Number of points in each spatial dimension has to be a power of 2: NPoint = 30 on "
            "line 3 (value 3 of 3) is not one (16 and 32 lie nearest); the file gives NPoint on "
            "the line before LMax, the box lengths");
  EXPECT_EQ(message("3\n3\n6840 124 124\n4096 32 32\n"),
            "Number of points in each spatial dimension has to be a power of 2: NPoint = 6840 "
            "on line 3 (value 1 of 3) is not one (4096 and 8192 lie nearest); the file gives "
            "NPoint on the line before LMax, the box lengths");
  EXPECT_EQ(message("3\n3\n4 4 4\n4\n4\n1e-20\nbasic\n"),
            "The field size LMax = 1e-20 m on line 6 (value 3 of 3) is below 0.001 m, the "
            "smallest box the model describes (LMax is in metres)");
  EXPECT_EQ(message("1 1 1 8 0.001\nbasic\n1 1 1\n-1\n"), "");
}

TEST(SimulationInput, MissingOrUnreadableValuesAreNamed) {
  EXPECT_EXIT(readToConsole("three"), ExitedWithCode(1),
              fatalReport("Could not read fieldDim from the input file: line 1 holds 'three' "
                          "where an integer is expected"));
  EXPECT_EXIT(readToConsole("1 1 1 8\n"), ExitedWithCode(1),
              fatalReport("Could not read LMax from the input file: the file ends after line 1"));
  EXPECT_EXIT(readToConsole("1 1 1 8 10"), ExitedWithCode(1),
              fatalReport("Could not read ParameterSource from the input file: the file ends "
                          "after line 1"));
  EXPECT_EXIT(readToConsole("1 1 1 8 10\nbasic\n0.1 x 3"), ExitedWithCode(1),
              fatalReport("Could not read L from the input file: line 3 holds 'x' where a "
                          "number is expected"));
  EXPECT_EXIT(readToConsole("1 1 1 8 10\nbasic\n0.1 30 3\n"), ExitedWithCode(1),
              fatalReport("Could not read seed from the input file: the file ends after line 3"));
  // An int that does not fit is unreadable, not a wrapped value.
  EXPECT_EXIT(readToConsole("1 1 1 8 10\nland\n10 20 0.1 99999999999"), ExitedWithCode(1),
              fatalReport("Could not read SpecType from the input file: line 3 holds "
                          "'99999999999', beyond the integers the file takes (at most "
                          "2147483647 in magnitude)"));
  // The output names: which one is missing.
  EXPECT_EQ(wind::testing::fatalMessage([] {
              std::istringstream in("u.bin v.bin\n");
              std::ostringstream echo;
              SimulationInput input;
              input.nComp = 3;
              readOutputNames(in, echo, input);
            }),
            "Could not read fname (output name 3 of 3) from the input file: the file ends after "
            "line 1");
}

// A box whose cell integrals stop the engine is refused with its lengths,
// before the driver creates any file.
TEST(SimulationInput, ABoxTooThinForItsLengthIsRefusedBeforeAnyFile) {
  SimulationInput in;
  readText("3\n3\n64 16 16\n6840 2 2\nbasic\n0.1 33.6 3.9\n-1\n", in);
  const UpstreamTables tables;
  EXPECT_EQ(wind::testing::fatalMessage([&] { checkBoxIntegrals(in, tables, limNormK(in)); }),
            "The box's cell integrals do not converge at k = (0.000918594, 0, 0) rad/m: the box "
            "(LMax 6840 2 2 m, L = 33.6 m) is 3420 times longer along the wind than across it, "
            "and its cells across the wind are too wide for its longest waves along it: make "
            "LMax2 and LMax3 larger or LMax1 shorter");
  in.LMax[1] = in.LMax[2] = 124.0f;
  EXPECT_EQ(wind::testing::fatalMessage([&] { checkBoxIntegrals(in, tables, limNormK(in)); }), "");
}

// A byte-order mark, as some editors write UTF-8, before the first value.
TEST(SimulationInput, AByteOrderMarkBeforeTheFirstValueIsSkipped) {
  SimulationInput in;
  readText("\xEF\xBB\xBF" "1\n1 1\n8\n10\nbasic\n1 2 3\n-1\n", in);
  EXPECT_EQ(in.fieldDim, 1);
  EXPECT_EQ(in.source, ParameterSource::basic);
}

TEST(SimulationInput, ParameterSourceLineIsMatchedWhole) {
  // A blank after the last LMax is the line read, and it matches nothing.
  const std::string sources =
      "ParameterSource has to be either basic, land, sea, terrain, or Kaimal1d (or 2D, or iec): ";
  const std::string where = "' where the keyword stands, alone on its line and spelt as here";
  EXPECT_EXIT(readToConsole("1 1 1 8 10 \nbasic\n"), ExitedWithCode(1),
              echoThenFatal("strlen  1  line specifying ParameterSource:  \nParameterSource is  \n",
                            sources + "line 1 holds ' " + where));
  EXPECT_EXIT(readToConsole("1 1 1 8 10\nBasic\n"), ExitedWithCode(1),
              echoThenFatal("strlen  5  line specifying ParameterSource: Basic\n"
                            "ParameterSource is Basic\n",
                            sources + "line 2 holds 'Basic" + where));
  EXPECT_EXIT(readToConsole("1 1 1 8 10\nbasic \n"), ExitedWithCode(1),
              echoThenFatal("strlen  6  line specifying ParameterSource: basic \n"
                            "ParameterSource is basic \n",
                            sources + "line 2 holds 'basic " + where));
  // Only one further line is tried: a blank line between LMax and the keyword fails.
  EXPECT_EXIT(readToConsole("1 1 1 8 10\n\nbasic\n"), ExitedWithCode(1),
              echoThenFatal("strlen  0  line specifying ParameterSource: \nParameterSource is \n",
                            sources + "line 2 holds '" + where));
  // A file with CR LF line ends reads as with LF.
  SimulationInput in;
  readText("1\r\n1 1\r\n8\r\n10\r\nbasic\r\n1 2 3\r\n-1\r\n", in);
  EXPECT_EQ(in.source, ParameterSource::basic);
}

TEST(SimulationInput, SourceDimensionChecks) {
  SimulationInput ok;
  readText("2 2 1 2 3 8 8 10 10\n2D\n1 5 -3\n", ok);
  EXPECT_EQ(ok.source, ParameterSource::TwoD);

  EXPECT_EXIT(readToConsole("2 2 1 3 3 8 8 10 10\n2D\n1 5 -3\n"), ExitedWithCode(1),
              fatalReport("The components of the field should be 1 or 2 when using 2D"));
  EXPECT_EXIT(readToConsole("2 3 3 8 8 10 10\n2D\n1 5 -3\n"), ExitedWithCode(1),
              fatalReport("The number of components in the field should be 1 or 2 when using 2D"));
  EXPECT_EXIT(readToConsole("1 1 1 8 10\n2D\n1 5 -3\n"), ExitedWithCode(1),
              fatalReport("fieldDim MUST be two when using 2D"));
  EXPECT_EXIT(readToConsole("2 3 3 8 8 10 10\nKaimal1d\n1 5 10 -3\n"), ExitedWithCode(1),
              fatalReport("fieldDim MUST be one when using Kaimal1d"));

  SimulationInput k;
  readText("1 3 4096 1000\nKaimal1d\n0.5 30 12\n-9\n", k);
  EXPECT_EQ(k.ustar, 0.5f);
  EXPECT_EQ(k.z, 30.0f);
  EXPECT_EQ(k.U0, 12.0f);
}

TEST(SimulationInput, SourceValueChecks) {
  const std::string head = "1 1 1 8 10\n";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"land\n10 20 0.1 3", "The Spectrum type should be 0, 1, or 2"},
      {"sea\n10 20 -1", "The Spectrum type should be 0, 1, or 2"},
      {"land\n10 0.05 0.1 0", "The height z has to be above the roughness length z0"},
      {"land\n0 20 0.1 0", "The mean wind speed U0 has to be positive"},
      {"basic\n0 30 3", "The spectral level alphaeps has to be positive"},
      {"Kaimal1d\n-0.5 30 12", "The friction velocity ustar cannot be negative"},
      {"basic\n0.1 -30 3", "The length scale L has to be positive"},
      {"basic\n0.1 0.0005 3",
       "The length scale L = 0.0005 m is below 0.001 m, the smallest the model takes"},
      {"basic\n0.1 30 -12", "The shear parameter Gamma = -12 is outside -10 to 10, the range "
                            "the model's integrals converge in"},
  };
  for (const auto& [text, message] : cases)
    EXPECT_EXIT(readToConsole(head + text), ExitedWithCode(1), fatalReport(message)) << text;
  // A plane of zeros is no field: the 2D source's values are positive, and its
  // length scale has the floor of L.
  const std::string plane = "2 1 1 3 8 8 10 10\n";
  const std::vector<std::pair<std::string, std::string>> planeCases = {
      {"2D\n0 25", "The variance sig2_2D has to be positive"},
      {"2D\n1.5 0", "The length scale L_2D has to be positive"},
      {"2D\n1.5 1e-30", "The length scale L_2D = 1e-30 m is below 0.001 m, the smallest the "
                        "model takes"},
  };
  for (const auto& [text, message] : planeCases)
    EXPECT_EQ(wind::testing::fatalMessage([&] { readToConsole(plane + text); }), message) << text;
}

TEST(SimulationInput, WhatFollowsTheOutputNamesIsSaidOnce) {
  const auto echoOf = [](const std::string& names) {
    std::istringstream in(names);
    std::ostringstream echo;
    SimulationInput input;
    input.nComp = 2;
    readOutputNames(in, echo, input);
    return echo.str();
  };
  const std::string read = "fname[i] u.bin\nfname[i] v.bin\n";
  EXPECT_EQ(echoOf("u.bin v.bin\n \n\t\n"), read);  // white space only: nothing
  const std::string note =
      "  (notes may follow the names; if these are values, the file holds one too many before "
      "the names, which shifts the seed and the names)\n";
  EXPECT_EQ(echoOf("u.bin v.bin notes on this run\n"),
            read + "Ignored after the last output name: notes on this run\n" + note);
  EXPECT_EQ(echoOf("u.bin v.bin " + std::string(50, 'x') + " y"),
            read + "Ignored after the last output name: " + std::string(40, 'x') + "... y\n" +
                note);
  EXPECT_EQ(echoOf("u.bin v.bin 1 2 3 4 5 6 7 8 9 10"),
            read + "Ignored after the last output name: 1 2 3 4 5 6 7 8 ...\n" + note);
}

// A value too many on the iec line (A 11.4 90 -3): -3 is taken for the seed,
// the file's seed and first two names for the names, and the warning names
// exactly the name left over.
TEST(SimulationInput, AValueTooManyLeavesTheLastNameOverAndSaysSo) {
  SimulationInput in;
  std::istringstream file("3\n3\n4 4 4\n8 8 8\niec\nA 11.4 90 -3\n-1\na.bin\nb.bin\nc.bin\n");
  std::ostringstream echo;
  UpstreamTables tables;
  readSimulationInput(file, echo, in, tables, noSourceStep);
  readOutputNames(file, echo, in);
  EXPECT_EQ(in.seed, -3);
  EXPECT_EQ(in.fname[0], "-1");
  EXPECT_NE(echo.str().find("Ignored after the last output name: c.bin\n"), std::string::npos)
      << echo.str();
}

TEST(SimulationInput, SourceStepRunsAfterSpecTypeBeforeSeed) {
  int calls = 0;
  const SourceStep step = [&calls](SimulationInput& in, UpstreamTables&, std::ostream& echo) {
    ++calls;
    EXPECT_EQ(in.seed, 0);  // not read yet
    echo << "step " << in.SpecType << "\n";
    in.params.alphaeps = 0.25f;
  };

  SimulationInput land;
  const std::string landEcho = readText("1 1 1 8 10\nland\n10 20 0.1 2\n-4\n", land, step);
  EXPECT_EQ(landEcho,
            "strlen  4  line specifying ParameterSource: land\nstep 2\nseed -4\n");
  EXPECT_EQ(land.z0, 0.1f);
  EXPECT_EQ(land.params.alphaeps, 0.25f);

  SimulationInput terrain;
  const std::string terrainEcho = readText(
      "3 3 8 8 8 10 10 10\nterrain\n  hills/line A.dat \n3 true  stretch tables wanted\n"
      "False 1 -7\n",
      terrain, step);
  EXPECT_EQ(terrainEcho,
            "strlen  7  line specifying ParameterSource: terrain\nKESTAVHeightNo 3\n"
            "Terrain true\nRoughness False\nSpecType 1\nstep 1\nseed -7\n");
  EXPECT_EQ(terrain.terrainFile, "  hills/line A.dat ");  // blanks kept
  EXPECT_EQ(terrain.KESTAVHeightNo, 2);
  EXPECT_TRUE(terrain.Terrain);
  EXPECT_FALSE(terrain.Roughness);
  EXPECT_TRUE(siteTensorModel(terrain, nullptr).Terrain);

  SimulationInput basic;
  readText("1 1 1 8 10\nbasic\n1 2 3 -1\n", basic, step);
  EXPECT_EQ(calls, 2);
}

TEST(SimulationInput, TerrainWordsAndSpecType) {
  const std::string head = "1 1 1 8 10\nterrain\nline.dat\n";
  EXPECT_EXIT(readToConsole(head + "1 TRUE\nfalse 0 -1\n"), ExitedWithCode(1),
              echoThenFatal("KESTAVHeightNo 1\nTerrain TRUE\nTRUE\n",
                            "Input should be either 'true' or 'false' (1)."));
  EXPECT_EXIT(readToConsole(head + "1 True\nyes 0 -1\n"), ExitedWithCode(1),
              echoThenFatal("Terrain True\nRoughness yes\nyes\n",
                            "Input should be either 'true' or 'false' (2)."));
  EXPECT_EXIT(readToConsole(head + "1 false\nFalse 0 -1\n"), ExitedWithCode(1),
              fatalReport("Error in input file: At least one of Terrain and Roughness has to be "
                          "true"));
  EXPECT_EXIT(readToConsole(head + "1 false\ntrue 3 -1\n"), ExitedWithCode(1),
              echoThenFatal("SpecType 3\n", "The Spectrum type should be 0, 1, or 2 "
                                            "corresponding to Kaimal, Simiu or ESDU"));
  EXPECT_EXIT(readToConsole(head + "0 false\ntrue 0 -1\n"), ExitedWithCode(1),
              echoThenFatal("KESTAVHeightNo 0\n", "KESTAVHeightNo has to be at least 1"));
  EXPECT_EXIT(readToConsole("1 1 1 8 10\nterrain\n" + std::string(256, 'x') + "\n1 true\n"),
              ExitedWithCode(1),
              fatalReport("The terrain file name is longer than 255 characters"));
}

TEST(SimulationInput, SeedMustBeNegative) {
  EXPECT_EXIT(readToConsole("1 1 1 8 10\nbasic\n1 2 3 0\n"), ExitedWithCode(1),
              echoThenFatal("seed 0\n0\n", "The random seed has to be a negative integer"));
  SimulationInput in;
  readText("1 1 1 8 10\nbasic\n1 2 3 -1\n", in);
  EXPECT_EQ(in.seed, -1);
  // The seed is a 32-bit integer: the most negative one reads, one below it
  // does not (it would reach the engines truncated).
  readText("1 1 1 8 10\nbasic\n1 2 3 -2147483648\n", in);
  EXPECT_EQ(in.seed, -2147483648L);
  for (const char* seed : {"-2147483649", "-4294967297", "2147483648"})
    EXPECT_EXIT(readToConsole(std::string("1 1 1 8 10\nbasic\n1 2 3 ") + seed + "\n"),
                ExitedWithCode(1),
                fatalReport("The random seed has to be a 32-bit integer (at least -2147483648)"))
        << seed;
}

TEST(SimulationInput, LimNormKFromBoxSizes) {
  SimulationInput in;
  readText("3 3 8 8 8 100 100 200\nbasic\n0.1 30 3.9 -1\n", in);
  const Vector3 lim = limNormK(in);
  // 4 pi L / LMax_d with the single-precision 2 pi, recomputed in long double.
  const long double twoPi = 6.2831854820251465L;
  EXPECT_EQ(lim.x, 3.0f);
  EXPECT_EQ(lim.y, static_cast<float>(2.0L * twoPi * 30.0L / 100.0L));
  EXPECT_EQ(lim.z, static_cast<float>(2.0L * twoPi * 30.0L / 200.0L));

  SimulationInput cube;
  readText("3 3 8 8 8 64 64 64\nbasic\n0.1 30 3.9 -1\n", cube);
  EXPECT_EQ(limNormK(cube), Vector3(0.0f));

  // A two-dimensional field compares its two sizes only; 2D has no L.
  SimulationInput square;
  readText("2 1 1 3 8 8 50 50\nbasic\n0.1 30 3.9 -1\n", square);
  EXPECT_EQ(limNormK(square), Vector3(0.0f));
  SimulationInput flat;
  readText("2 1 1 3 8 8 50 100\n2D\n1 5 -1\n", flat);
  EXPECT_EQ(limNormK(flat), Vector3(3.0f, 0.0f, 0.0f));
}

TEST(SimulationInput, SummaryText) {
  SimulationInput in;
  readText("3 2 1 3 8 4 2\n100 100 200\nbasic\n0.1 30 3.9\n-1\n", in);
  in.fname[0] = "u.bin";
  in.fname[1] = "w.bin";
  std::ostringstream out;
  printSummary(out, in, limNormK(in));
  EXPECT_EQ(out.str(),
            "Field dim and number of components: 3 2\n"
            "Components: 0  2  \n"
            "Field size\n"
            "NPoint  8 4 2 \n"
            "LMax    100 100 200 \n"
            "Gamma  3.9  L 30  alphaeps 0.1\n"
            " Seed: -1\n"
            " LimNormK (3,3.76991,1.88496)\n"
            "u.bin\nw.bin\n");

  SimulationInput sea;
  readText("2 3 1 8 8\n1000 0.1234567\nsea\n12 30 1\n-2\n", sea);
  std::ostringstream seaOut;
  printSummary(seaOut, sea, limNormK(sea));
  EXPECT_EQ(seaOut.str(),
            "Field dim and number of components: 2 3\n"
            "Absent Dimension  0\n"
            "Field size\n"
            "NPoint  8 8 \n"
            "LMax    1000 0.123457 \n"
            "SpecType 1\n"
            "Gamma  0  L 0  alphaeps 0\n"
            " Seed: -2\n"
            " LimNormK (3,0)\n"
            "\n\n\n");

  SimulationInput k;
  readText("1 3 8 1000\nKaimal1d\n0.5 30 12\n-9\n", k);
  std::ostringstream kOut;
  printSummary(kOut, k, limNormK(k));
  EXPECT_EQ(kOut.str(),
            "Field dim and number of components: 1 3\nField size\nNPoint  8 \nLMax    1000 \n"
            "ustar  0.5  z 30  U0 12\n Seed: -9\n\n\n\n");
}
