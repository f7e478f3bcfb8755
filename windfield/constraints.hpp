#pragma once
// Boxes that hold measured series: the series, where they go in the box, and
// the synthesis that holds them.
//
//   parseConstraints / readConstraintFile   a table of series, time then
//                 u(y,z), v(y,z), w(y,z) columns (handover/constraints_file.hpp;
//                 docs/constraints.md), checked as vorlan checks its file
//   placeConstraints   the series resampled to the box's time step, their
//                 means removed, placed in the grid for the layout
//   RunOptions::constraintsFile   the same for a whole run or a box in memory
//                 (runner/driver.hpp, windfield/box.hpp), the box then a
//                 sample of the model conditioned on the series
//                 (synthesis/turb3d.hpp: Constraints)
#include "handover/constraints_file.hpp"
#include "synthesis/constraints.hpp"
#include "windfield/box.hpp"
