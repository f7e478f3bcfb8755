#pragma once
// The grid of a synthesised field: the number of points and the period along
// each resolved direction. Every field is periodic with its period, and
// element (i, j, l) sits at ((i-1) L1/N1, (j-1) L2/N2, (l-1) L3/N3); the wave
// numbers of the grid are multiples of 2pi/L_d (synthesis/fourier_grid.hpp).
//
// The directions are those of the field's arrays, not of the wind: a plane's
// second direction is axis 2 or axis 3 depending on the axis it leaves out.
// Sizes are powers of two, at least 2; each engine checks its own (with the
// third direction of a box needing at least 2 points) and ends the run through
// fatalError otherwise. Plain values, passed by value.
#include <array>

#include "numerics/small_types.hpp"

namespace wind {

// A line of N1 points over the period L1 (m).
struct LineGrid {
  int N1 = 0;
  float L1 = 0.0f;
};

// A plane of N1 x N2 points over the periods lengths = (L1, L2) (m).
struct PlaneGrid {
  int N1 = 0;
  int N2 = 0;
  Pair2 lengths;
};

// The component list of every engine: zero-based component numbers (0 along
// the wind, 1 across, 2 vertical), one per field, its size the number of
// components. A three-component field holds the components 0, 1, 2 in this
// order, the list kAllComponents (the engines do not read a list of three).
inline constexpr std::array<int, 3> kAllComponents{0, 1, 2};

// A box of N1 x N2 x N3 points over the periods Lbox = (L1, L2, L3) (m).
struct BoxGrid {
  int N1 = 0;
  int N2 = 0;
  int N3 = 0;
  Vector3 Lbox;
};

}  // namespace wind
