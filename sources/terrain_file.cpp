#include "sources/terrain_file.hpp"

#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "numerics/constants.hpp"
#include "support/console.hpp"
#include "support/fatal_error.hpp"

namespace wind {

namespace {

// Reads one non-blank character and compares it with the expected separator;
// a different character puts the stream into its failed state.
void expectSeparator(std::istream& in, char want) {
  char c = 0;
  if (in >> c && c != want) in.setstate(std::ios_base::failbit);
}

// Reads one non-blank character: true if it opens the parenthesised form,
// otherwise it is put back for the plain form.
bool opensParenthesis(std::istream& in) {
  char c = 0;
  if (!(in >> c)) return false;
  if (c == '(') return true;
  in.putback(c);
  return false;
}

// The components of a small value, in the form its first non-blank character
// selects: "(" c0 "," c1 ... ")" or the plain components one after the other.
// True if every part was read; the stream is then in a good state.
template <class T, std::size_t N>
bool readComponents(std::istream& in, T (&parts)[N]) {
  if (opensParenthesis(in)) {
    for (std::size_t k = 0; k < N; ++k) {
      if (k > 0) expectSeparator(in, ',');
      in >> parts[k];
    }
    expectSeparator(in, ')');
  } else {
    for (T& part : parts) in >> part;
  }
  return !in.fail();
}

// A row item starts with what can start a number or a parenthesised value;
// anything else ends the row.
bool startsItem(int c) {
  return std::isdigit(c) != 0 || c == '+' || c == '-' || c == '.' || c == '(';
}

struct Item {
  Pair2 position;
  float a = 0.0f;
  float height = 0.0f;
  Vector3 wind;
  Mat3 first, second;
};

class KestavParser {
 public:
  KestavParser(std::istream& in, const std::string& filename) : in_(in), name_(filename) {}

  // Line 1 (title), line 2 (six numbers) and line 3 (heading).
  void readHeader(float header[6]) {
    std::string line;
    std::getline(in_, line);
    for (int k = 0; k < 6; ++k)
      if (!(in_ >> header[k])) fail("line 2 has to hold six numbers");
    std::getline(in_, line);
    for (char c : line)
      if (!std::isspace(static_cast<unsigned char>(c)))
        fail("line 2 has to hold exactly six numbers");
    std::getline(in_, line);  // the heading
  }

  // Every row, in order; rows[i] holds nP items.
  void readRows(std::vector<Item>& items, std::vector<float>& rowHeights, int& nP) {
    int inRow = 0;
    nP = -1;
    for (;;) {
      in_ >> std::ws;
      const int c = in_.peek();
      if (c == std::char_traits<char>::eof()) break;
      if (startsItem(c)) {
        items.push_back(readItem(static_cast<int>(rowHeights.size()) + 1, inRow + 1));
        ++inRow;
        continue;
      }
      // A terminator: the row is complete; the rest of its line is skipped.
      closeRow(items, rowHeights, inRow, nP);
      std::string rest;
      std::getline(in_, rest);
    }
    // The last row may end at the end of the file; a terminator after it
    // leaves nothing open here.
    if (inRow > 0) closeRow(items, rowHeights, inRow, nP);
  }

  [[noreturn]] void fail(const std::string& what) const {
    fatalError("Terrain file " + name_ + ": " + what);
  }

 private:
  Item readItem(int row, int point) {
    Item it;
    const auto check = [&](const char* field) {
      if (in_.fail())
        fail("malformed " + std::string(field) + " of point " + std::to_string(point) +
             " in row " + std::to_string(row));
    };
    in_ >> it.position;
    check("position");
    in_ >> it.a;
    check("a value");
    in_ >> it.height;
    check("height");
    in_ >> it.wind;
    check("wind vector");
    in_ >> it.first;
    check("first matrix");
    in_ >> it.second;
    check("second matrix");
    return it;
  }

  void closeRow(const std::vector<Item>& items, std::vector<float>& rowHeights, int& inRow,
                int& nP) {
    const int row = static_cast<int>(rowHeights.size()) + 1;
    if (inRow == 0) fail("row " + std::to_string(row) + " holds no points");
    if (nP < 0) nP = inRow;
    if (inRow != nP)
      fail("row " + std::to_string(row) + " holds a different number of points (" +
           std::to_string(inRow) + ") from the first row (" + std::to_string(nP) + ")");
    rowHeights.push_back(items.back().height);
    inRow = 0;
  }

  std::istream& in_;
  const std::string& name_;
};

}  // namespace

std::istream& operator>>(std::istream& in, Pair2& p) {
  float c[2];
  if (readComponents(in, c)) p = Pair2(c[0], c[1]);
  return in;
}

std::istream& operator>>(std::istream& in, Vector3& v) {
  float c[3];
  if (readComponents(in, c)) v = Vector3(c[0], c[1], c[2]);
  return in;
}

std::istream& operator>>(std::istream& in, Mat3& m) {
  Vector3 rows[3];
  if (readComponents(in, rows)) m = Mat3(rows[0], rows[1], rows[2]);
  return in;
}

int readTerrainFileChoice(ValueReader& r, std::ostream& echo, std::string& terrainFile) {
  if (!r.readLine(terrainFile)) r.missingHere("terrainFile");
  if (terrainFile.size() > kMaxTerrainFileName)
    fatalError("The terrain file name is longer than 255 characters");

  const int heightNo = r.readInt("KESTAVHeightNo");
  echo << "KESTAVHeightNo " << heightNo << "\n";
  echo.flush();
  // Rows of the file are numbered from 1; the upper end of the range is
  // checked against the file when it is read.
  if (heightNo < 1) fatalError("KESTAVHeightNo has to be at least 1");
  return heightNo - 1;
}

float distanceFromFirstPoint(const V2Vector& positions, int j) {
  return (positions[0] - positions[j]).length();
}

KestavLine ReadKestavLine(const std::string& filename, int heightIndex, std::ostream& echo) {
  // A device or a pipe (/dev/zero, say) could feed the reader without end.
  std::error_code ec;
  const std::filesystem::file_status st = std::filesystem::status(filename, ec);
  if (std::filesystem::exists(st) && !std::filesystem::is_regular_file(st))
    fatalError("Terrain file " + filename + " is not a regular file");
  std::ifstream file(filename);
  if (!file) fatalError("Could not open file (in ReadKestavLine)");
  KestavParser parser(file, filename);

  float header[6];
  parser.readHeader(header);
  std::vector<Item> items;
  std::vector<float> rowHeights;
  int nP = 0;
  parser.readRows(items, rowHeights, nP);
  file.close();

  KestavLine k;
  k.nH = static_cast<int>(rowHeights.size());
  if (k.nH == 0) parser.fail("holds no rows of points");
  k.nP = nP;
  if (k.nP < 2)
    parser.fail("a row holds " + std::to_string(k.nP) + " point; at least 2 are needed");
  if (heightIndex < 0 || heightIndex >= k.nH)
    parser.fail("KESTAVHeightNo " + std::to_string(std::int64_t(heightIndex) + 1) +
                " is outside the rows 1.." + std::to_string(k.nH));

  k.positions = v2vector(0, k.nP - 1);
  k.aValues = vector(0, k.nP - 1);
  k.heights = vector(0, k.nH - 1);
  k.wind = vmatrix(0, k.nH - 1, 0, k.nP - 1);
  k.firstMatrices = mmatrix(0, k.nH - 1, 0, k.nP - 1);
  k.secondMatrices = mmatrix(0, k.nH - 1, 0, k.nP - 1);
  for (int i = 0; i < k.nH; ++i) {
    k.heights[i] = rowHeights[static_cast<std::size_t>(i)];
    for (int j = 0; j < k.nP; ++j) {
      const Item& it = items[static_cast<std::size_t>(i) * static_cast<std::size_t>(k.nP) +
                             static_cast<std::size_t>(j)];
      k.positions[j] = it.position;
      k.aValues[j] = it.a;
      k.wind[i][j] = it.wind;
      k.firstMatrices[i][j] = it.first;
      k.secondMatrices[i][j] = it.second;
    }
  }

  // The memory tables integrate along the line over these distances.
  float previous = 0.0f;
  for (int j = 1; j < k.nP; ++j) {
    const float d = distanceFromFirstPoint(k.positions, j);
    if (!(d > previous))
      parser.fail("the distance of point " + std::to_string(j + 1) +
                  " from the first point does not rise along the line");
    previous = d;
  }

  // Rows are the heights from the ground up: the stretch tables and the shear
  // pick rows by their order and interpolate between neighbouring heights.
  for (int i = 1; i < k.nH; ++i)
    if (!(k.heights[i] > k.heights[i - 1]))
      parser.fail("the height of row " + std::to_string(i + 1) +
                  " is not above that of row " + std::to_string(i) +
                  "; rows have to be listed from the lowest height up");

  KestavSite& s = k.site;
  s.direction = header[2];
  s.ustar = header[4];
  s.z0 = header[5];
  s.z = k.heights[k.nH - 1];
  if (!(s.ustar > 0.0f)) parser.fail("the friction velocity ustar on line 2 has to be positive");
  if (!(s.z0 > 0.0f)) parser.fail("the roughness length z0 on line 2 has to be positive");
  if (!(s.z > s.z0))
    parser.fail("the height of the last row has to be above the roughness length z0");
  s.U0 = static_cast<float>((double(s.ustar) / double(kVonKarman)) *
                            std::log(double(s.z) / double(s.z0)));

  echo << "filename " << filename << "\n"
       << s.ustar << "\n" << s.z0 << "\n" << s.direction << "\n" << s.z << "\n" << s.U0 << "\n";
  return k;
}

}  // namespace wind
