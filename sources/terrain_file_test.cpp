#include "sources/terrain_file.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "tests/support.hpp"

using namespace wind;
using ::testing::ExitedWithCode;
using wind::testing::fatalReport;
using wind::testing::literal;
namespace fs = std::filesystem;

namespace {

std::string writeFile(const std::string& name, const std::string& text) {
  const fs::path p = fs::path(::testing::TempDir()) / ("terrain_" + name);
  wind::testing::writeText(p, text);
  return p.string();
}

const std::string kHeader = "Test line\n0 0 270 10 0.5 0.03\n position a height wind B A\n";

// One item in plain form at (x, 0) and height h; wind (u, 0, 0); B = u I; A[0][2] = h.
std::string plainItem(int x, float h, float u) {
  std::ostringstream s;
  s << x << " 0 0 " << h << " " << u << " 0 0  " << u << " 0 0 0 " << u << " 0 0 0 " << u
    << "  0 0 " << h << " 0 0 0 0 0 0";
  return s.str();
}

KestavLine readQuietly(const std::string& path, int heightIndex) {
  std::ostringstream echo;
  return ReadKestavLine(path, heightIndex, echo);
}

void readToConsole(const std::string& path, int heightIndex) {
  ReadKestavLine(path, heightIndex, std::cerr);
}

std::string terrainFatal(const std::string& path, const std::string& what) {
  return fatalReport("Terrain file " + path + ": " + what);
}

}  // namespace

TEST(TerrainFile, BothWrittenFormsOfTheSmallTypes) {
  Pair2 p1, p2;
  std::istringstream("( 1.5 ,-2 )  1.5 -2") >> p1 >> p2;
  EXPECT_EQ(p1, Pair2(1.5f, -2.0f));
  EXPECT_EQ(p2, p1);

  Vector3 v1, v2;
  std::istringstream("(1,2,3) 1 2 3") >> v1 >> v2;
  EXPECT_EQ(v1, Vector3(1, 2, 3));
  EXPECT_EQ(v2, v1);

  const Mat3 expected(1, 2, 3, 4, 5, 6, 7, 8, 9);
  Mat3 m1, m2, m3, m4;
  std::istringstream("((1,2,3),(4,5,6),(7,8,9)) 1 2 3 4 5 6 7 8 9 (1 2 3, (4,5,6), 7 8 9) "
                     "1 2 3 (4,5,6) 7 8 9")
      >> m1 >> m2 >> m3 >> m4;
  EXPECT_EQ(m1, expected);
  EXPECT_EQ(m2, expected);
  EXPECT_EQ(m3, expected);
  EXPECT_EQ(m4, expected);
  EXPECT_EQ(m1[0], Vector3(1, 2, 3));  // first row as read

  // A wrong separator fails the extraction and leaves the value as it was.
  Pair2 bad(7.0f);
  std::istringstream in("(1;2)");
  in >> bad;
  EXPECT_TRUE(in.fail());
  EXPECT_EQ(bad, Pair2(7.0f));

  // A value that ends at the end of the input is still a complete value.
  Vector3 last;
  std::istringstream("4 5 6") >> last;
  EXPECT_EQ(last, Vector3(4, 5, 6));
}

TEST(TerrainFile, ReadsRowsOfMixedFormsAndDerivesTheSite) {
  const std::string path = writeFile(
      "mixed.dat",
      kHeader +
          // Row 1, height 10: parenthesised, plain, mixed; a terminator with a comment.
          "(0,0) 1.5 10 (7,0.5,0.1) ((7,0,0),(0,7,0),(0,0,7)) ((0,0,10),(0,0,0),(0,0,0))\n" +
          plainItem(100, 10, 8) + "\n" +
          "200 0 2.5 10 9 0 0 9 0 0 (0,9,0) (0,0,9) ((0,0,10),0 0 0,(0,0,0)) end of row 1\n" +
          // Row 2, height 40, no terminator, blank lines after it.
          plainItem(0, 40, 10) + " " + plainItem(100, 40, 11) + "\n" + plainItem(200, 40, 12) +
          "\n\n  \n");
  std::ostringstream echo;
  const KestavLine k = ReadKestavLine(path, 1, echo);
  ASSERT_EQ(k.nH, 2);
  ASSERT_EQ(k.nP, 3);
  EXPECT_EQ(k.heights[0], 10.0f);
  EXPECT_EQ(k.heights[1], 40.0f);
  EXPECT_EQ(k.positions[2], Pair2(200, 0));
  EXPECT_EQ(k.aValues[0], 0.0f);  // the last row's value, not row 1's 1.5
  EXPECT_EQ(k.wind[0][0], Vector3(7, 0.5f, 0.1f));
  EXPECT_EQ(k.wind[1][2], Vector3(12, 0, 0));
  EXPECT_EQ(k.firstMatrices[0][2], Mat3(9, 0, 0, 0, 9, 0, 0, 0, 9));
  EXPECT_EQ(k.secondMatrices[0][2], Mat3(0, 0, 10, 0, 0, 0, 0, 0, 0));
  EXPECT_EQ(k.secondMatrices[1][1], Mat3(0, 0, 40, 0, 0, 0, 0, 0, 0));

  // Site: z is the last row's height; U0 = (ustar / 0.4f) ln(z / z0).
  EXPECT_EQ(k.site.z, 40.0f);
  EXPECT_EQ(k.site.direction, 270.0f);
  EXPECT_EQ(k.site.z0, 0.03f);
  EXPECT_EQ(k.site.ustar, 0.5f);
  const long double u0 = (0.5L / static_cast<long double>(0.4f)) *
                         std::log(40.0L / static_cast<long double>(0.03f));
  EXPECT_EQ(k.site.U0, static_cast<float>(u0));
  EXPECT_EQ(echo.str(), "filename " + path + "\n0.5\n0.03\n270\n40\n8.9943\n");
}

TEST(TerrainFile, RowEndsAtTheEndOfTheFileOrAtATrailingTerminator) {
  const std::string one = writeFile("one.dat", kHeader + plainItem(0, 20, 5) + "\n" +
                                                   plainItem(50, 20, 6));  // no final newline
  const KestavLine a = readQuietly(one, 0);
  EXPECT_EQ(a.nH, 1);
  EXPECT_EQ(a.nP, 2);
  EXPECT_EQ(a.secondMatrices[0][1], Mat3(0, 0, 20, 0, 0, 0, 0, 0, 0));

  const std::string trailing =
      writeFile("trailing.dat", kHeader + plainItem(0, 20, 5) + " " + plainItem(50, 20, 6) +
                                    " end\n" + plainItem(0, 30, 5) + " " + plainItem(50, 30, 6) +
                                    " end\n\n");
  const KestavLine b = readQuietly(trailing, 1);
  EXPECT_EQ(b.nH, 2);
  EXPECT_EQ(b.site.z, 30.0f);
}

TEST(TerrainFile, ExampleHillLine) {
  const KestavLine k = readQuietly(std::string(WIND_SOURCE_DIR) + "/examples/terrain_hill.dat", 0);
  EXPECT_EQ(k.nH, 3);
  EXPECT_EQ(k.nP, 6);
  EXPECT_EQ(k.heights[0], 10.0f);
  EXPECT_EQ(k.heights[2], 80.0f);
  EXPECT_EQ(k.site.direction, 270.0f);
  EXPECT_EQ(distanceFromFirstPoint(k.positions, 5), 500.0f);
}

TEST(TerrainFile, Rejections) {
  EXPECT_EXIT(readToConsole("/nonexistent/terrain.dat", 0), ExitedWithCode(1),
              fatalReport("Could not open file (in ReadKestavLine)"));
  // A device would feed the reader without end.
  EXPECT_EQ(wind::testing::fatalMessage([] { readToConsole("/dev/zero", 0); }),
            "Terrain file /dev/zero is not a regular file");

  const std::string row2 = plainItem(0, 20, 5) + " " + plainItem(50, 20, 6) + " end\n";
  const std::string uneven = writeFile("uneven.dat", kHeader + row2 + plainItem(0, 30, 5));
  EXPECT_EXIT(readToConsole(uneven, 0), ExitedWithCode(1),
              terrainFatal(uneven, "row 2 holds a different number of points (1) from the first row (2)"));

  const std::string good = writeFile("good.dat", kHeader + row2 + row2);
  EXPECT_EXIT(readToConsole(good, 2), ExitedWithCode(1),
              terrainFatal(good, "KESTAVHeightNo 3 is outside the rows 1..2"));
  EXPECT_EXIT(readToConsole(good, -1), ExitedWithCode(1),
              terrainFatal(good, "KESTAVHeightNo 0 is outside the rows 1..2"));

  const std::string single = writeFile("single.dat", kHeader + plainItem(0, 20, 5));
  EXPECT_EXIT(readToConsole(single, 0), ExitedWithCode(1),
              terrainFatal(single, "a row holds 1 point; at least 2 are needed"));

  const std::string back = writeFile(
      "back.dat", kHeader + plainItem(0, 20, 5) + " " + plainItem(100, 20, 5) + " " +
                      plainItem(50, 20, 5));
  EXPECT_EXIT(readToConsole(back, 0), ExitedWithCode(1),
              terrainFatal(back, "the distance of point 3 from the first point does not rise "
                                 "along the line"));
  const std::string same = writeFile(
      "same.dat", kHeader + plainItem(0, 20, 5) + " " + plainItem(0, 20, 5));
  EXPECT_EXIT(readToConsole(same, 0), ExitedWithCode(1),
              terrainFatal(same, "the distance of point 2 from the first point does not rise "
                                 "along the line"));

  const std::string number = writeFile(
      "number.dat", kHeader + plainItem(0, 20, 5) + "\n(50,0) 0 20 (6,0,x) 6 0 0 0 6 0 0 0 6 "
                                                    "0 0 20 0 0 0 0 0 0\n");
  EXPECT_EXIT(readToConsole(number, 0), ExitedWithCode(1),
              terrainFatal(number, "malformed wind vector of point 2 in row 1"));
  const std::string separator = writeFile("separator.dat", kHeader + "(0;0) 0 20\n");
  EXPECT_EXIT(readToConsole(separator, 0), ExitedWithCode(1),
              terrainFatal(separator, "malformed position of point 1 in row 1"));

  const std::string empty = writeFile("empty.dat", kHeader + row2 + "end\n" + row2);
  EXPECT_EXIT(readToConsole(empty, 0), ExitedWithCode(1),
              terrainFatal(empty, "row 2 holds no points"));
  const std::string none = writeFile("none.dat", kHeader);
  EXPECT_EXIT(readToConsole(none, 0), ExitedWithCode(1),
              terrainFatal(none, "holds no rows of points"));

  const std::string shortHead = writeFile("short.dat", "Title\n0 0 270 10 0.5\nheading\n");
  EXPECT_EXIT(readToConsole(shortHead, 0), ExitedWithCode(1),
              terrainFatal(shortHead, "line 2 has to hold six numbers"));
  const std::string noZ0 = writeFile(
      "noz0.dat", "Title\n0 0 270 10 0.5 0\nheading\n" + row2);
  EXPECT_EXIT(readToConsole(noZ0, 0), ExitedWithCode(1),
              terrainFatal(noZ0, "the roughness length z0 on line 2 has to be positive"));
}

TEST(TerrainFile, RowHeightsHaveToRiseFromTheGroundUp) {
  const auto row = [](float h) {
    return plainItem(0, h, 5) + " " + plainItem(100, h, 5) + " end\n";
  };
  // Listed from the top down: the tables would take the 40 m row for the lowest.
  const std::string down = writeFile("down.dat", kHeader + row(40) + row(20) + row(10));
  EXPECT_EQ(wind::testing::fatalMessage([&] { readQuietly(down, 0); }),
            "Terrain file " + down +
                ": the height of row 2 is not above that of row 1; rows have to be listed "
                "from the lowest height up");
  // Two rows at one height leave no interval to interpolate over.
  const std::string flat = writeFile("flat.dat", kHeader + row(10) + row(20) + row(20));
  EXPECT_EQ(wind::testing::fatalMessage([&] { readQuietly(flat, 0); }),
            "Terrain file " + flat +
                ": the height of row 3 is not above that of row 2; rows have to be listed "
                "from the lowest height up");

  const KestavLine up = readQuietly(writeFile("up.dat", kHeader + row(10) + row(20) + row(40)), 2);
  ASSERT_EQ(up.nH, 3);
  EXPECT_EQ(up.heights[0], 10.0f);
  EXPECT_EQ(up.heights[2], 40.0f);
}
