#pragma once
// The terrain source of the spectrum calculator.
//
// The site lies at the first point of a line of points read from a terrain
// flow-model file (sources/terrain_file.hpp). The step
//   1. reads the file (ReadKestavLine, which echoes the file name and the site
//      values on echo);
//   2. forms the horizontal distance of every point from the site;
//   3. derives alphaeps, L and Gamma from the site values with the land
//      variant of the site parameters (checkedLandParams, SpecType of the
//      input), writing them into the input record;
//   4. takes, in the terrain file's own horizontal axes (the spectrum
//      calculator does not turn them into wind axes), the along-wind speed U,
//      the diagonal strain rates Su and Sv of the first matrices and the
//      (along-wind, vertical) shear element of the second matrices;
//   5. builds the stretch tables if Terrain is set and the roughness table if
//      Roughness is set (sources/upstream_tables.hpp), with the logarithmic
//      shear ustar / (0.4 z) at the site height;
//   6. prints U at the first height and the first point, %.6g, and a newline
//      on out, and flushes it.
// Failures are those of the called routines (an unreadable terrain file, a
// height row outside the file, a site outside the model's range).

#include <iosfwd>

#include "corvel/spectrum_input.hpp"
#include "tensor/upstream_tables.hpp"

namespace wind {

void corvelTerrainStep(SpectrumInput& input, UpstreamTables& tables, std::ostream& out,
                       std::ostream& echo);

}  // namespace wind
