// Land sites: records (alphaeps, Gamma, L) over wind speed, height and
// roughness length.
//
// Only the reference records below are known here; every other entry is a
// quiet NaN and esduLandTableAvailable() returns false, so the land path of the
// site parameters stops with a message instead of interpolating. A source file
// with the complete table (2,430 values in storage order) replaces this file
// and returns true.
#include <limits>

#include "sources/esdu_tables.hpp"

namespace wind {

namespace {

constexpr EsduLandTable referenceRecordsOnly() {
  constexpr double nan = std::numeric_limits<double>::quiet_NaN();
  EsduLandTable t{};
  for (auto& speed : t)
    for (auto& height : speed)
      for (auto& record : height) record = {nan, nan, nan};
  // t[speed index][height index][roughness index]
  t[0][0][0] = {0.0812222, 4.55775, 13.1324};  // U = 10 m/s, z = 5 m, z0 = 0.0001 m
  t[0][0][8] = {4.6744, 4.53179, 3.07123};  // U = 10 m/s, z = 5 m, z0 = 1 m
  t[0][1][4] = {0.151712, 4.55159, 16.8962};  // U = 10 m/s, z = 10 m, z0 = 0.01 m
  t[0][8][2] = {0.00206674, 0.561167, 33.2091};  // U = 10 m/s, z = 300 m, z0 = 0.001 m
  t[0][8][8] = {0.0278345, 2.09195, 185.494};  // U = 10 m/s, z = 300 m, z0 = 1 m
  t[5][4][0] = {0.376761, 4.54215, 44.0608};  // U = 40 m/s, z = 40 m, z0 = 0.0001 m
  t[5][4][4] = {0.69628, 4.53369, 67.4848};  // U = 40 m/s, z = 40 m, z0 = 0.01 m
  t[5][4][8] = {3.55772, 4.52675, 45.5123};  // U = 40 m/s, z = 40 m, z0 = 1 m
  return t;
}

}  // namespace

const EsduLandTable esduLandTable = referenceRecordsOnly();

bool esduLandTableAvailable() { return false; }

}  // namespace wind
