#pragma once
// Terrain flow-model files: the mean flow along a line of points across
// complex terrain, as written by a linearised terrain flow model.
//
// Layout (plain text, numbers separated by white space):
//   line 1   a title, skipped
//   line 2   six numbers: two unused values, the wind direction (degrees), an
//            unused value, ustar (friction velocity, m/s), z0 (roughness length, m)
//   line 3   a column heading, skipped
//   line 4-  rows, one per height. A row is a sequence of items, one per point
//            along the line, ended by a terminator token (a word that starts with
//            neither a digit, a sign, a decimal point nor "("); the rest of the
//            terminator's line is skipped. The last row may end at the end of the
//            file instead. Every row holds the same number of items.
//   item     position (Pair2, m), a (float), height (float, m),
//            wind (Vector3, m/s), first matrix (Mat3), second matrix (Mat3)
//
// Written forms of the small types (white space allowed around every number
// and separator), chosen by the first non-blank character:
//   Pair2    (x,y)                or  x y
//   Vector3  (x,y,z)              or  x y z
//   Mat3     (r0,r1,r2)           or  r0 r1 r2      (rows r as Vector3, either form)
// A wrong separator puts the stream into its failed state; the value is stored
// only if every part of it was read.
//
// Site values: direction, ustar and z0 from line 2; z the height of the last
// row; U0 = (ustar / 0.4) ln(z / z0), the logarithmic wind profile at z with the
// single-precision von Karman constant.

#include <cstddef>
#include <iosfwd>
#include <string>

#include "numerics/arrays.hpp"
#include "numerics/small_types.hpp"

namespace wind {

class ValueReader;

// Longest accepted terrain file name, in characters.
inline constexpr std::size_t kMaxTerrainFileName = 255;

// The choice of terrain file in a parameter file, the same in both programs:
// the file name is the whole next line (blanks kept, at most 255 characters)
// and KESTAVHeightNo the next int, 1-based, echoed as "KESTAVHeightNo <n>" and
// returned 0-based. Fails through fatalError on a missing value, a longer name
// or a KESTAVHeightNo below 1 (the upper end is checked by ReadKestavLine).
int readTerrainFileChoice(ValueReader& r, std::ostream& echo, std::string& terrainFile);

std::istream& operator>>(std::istream& in, Pair2& p);
std::istream& operator>>(std::istream& in, Vector3& v);
std::istream& operator>>(std::istream& in, Mat3& m);

// The five site values, in the order the parameter sources take them.
struct KestavSite {
  float U0 = 0.0f;
  float z = 0.0f;
  float direction = 0.0f;  // degrees
  float z0 = 0.0f;
  float ustar = 0.0f;
};

// Everything read from one file. All arrays are 0-based: heights over rows
// i = 0 .. nH-1, points j = 0 .. nP-1. positions and aValues hold the values of
// the last row; heights[i] is the height of row i's last item.
struct KestavLine {
  int nH = 0;
  int nP = 0;
  KestavSite site;
  V2Vector positions;       // v2vector(0, nP-1)
  Vector heights;           // vector(0, nH-1)
  Vector aValues;           // vector(0, nP-1)
  VMatrix wind;             // vmatrix(0, nH-1, 0, nP-1)
  MMatrix firstMatrices;    // mmatrix(0, nH-1, 0, nP-1)
  MMatrix secondMatrices;   // mmatrix(0, nH-1, 0, nP-1)
};

// Reads the file in one pass. heightIndex is the 0-based KESTAVHeightNo of the
// parameter file, the row whose height the memory tables use. Echoes on echo
// "filename <name>", then ustar, z0, direction, z and U0, one per line.
//
// Fails through fatalError when the file cannot be opened ("Could not open file
// (in ReadKestavLine)"), when line 2 does not hold six numbers, when an item
// holds a malformed value, when rows differ in their number of items, when a
// row is empty, when there are fewer than two points, when the distances of the
// points from the first point do not rise strictly along the line (the memory
// tables integrate over them), when the row heights do not rise strictly from
// the first row to the last, when KESTAVHeightNo is outside 1..nH, or when the
// site values give no logarithmic profile (ustar and z0 positive, z above z0).
KestavLine ReadKestavLine(const std::string& filename, int heightIndex, std::ostream& echo);

// Horizontal distance of point j from point 0: the length of positions[0] -
// positions[j], each difference rounded to float.
float distanceFromFirstPoint(const V2Vector& positions, int j);

}  // namespace wind
