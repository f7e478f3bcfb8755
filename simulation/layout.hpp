#pragma once
// Output layouts: the order in which a field's grid points go to its files.
//
// The model's frame is right-handed: axis 1 along the mean wind (downwind),
// axis 2 across it, to the left looking downwind, axis 3 up. In the classic
// layout element (i, j, k), 1-based, is the value at
//   x_d = (i_d - 1) LMax_d / NPoint_d
// along the axes of the field, the last index fastest.
//
// Frozen turbulence convected downwind at U: a fixed point at x0 sees at time
// t the box's plane at x0 - U t, so the planes pass it in the order of
// decreasing x. A reader that takes plane i = (U t - x)/dx at time t and row
// j = (W/2 - y)/dy (j = 0 its most positive y), as InflowWind's full-field
// binary box (WindType 5) does, therefore sees the classic files mirrored along
// and across the wind. The inflowwind layout writes element (i, j, k) from
// (N1 + 1 - i, N2 + 1 - j, k): the plane order along axis 1 and the row order
// along axis 2 reversed, which is what such a reader needs to see the field
// with its geometry intact (up to a periodic shift). No component changes sign:
// a reflection of positions is undone, not a rotation of vectors.
//
// For one- and two-dimensional fields the reversal applies to those of the
// field's axes that are axis 1 or 2 (a line along axis 1 is reversed, so its
// index runs forward in time; a plane without axis 1 is reversed across the
// wind only; a plane without axis 2 along the wind only).
//
// The reversal is in place (row swaps) and allocates nothing.

#include <array>
#include <cstdint>

#include "simulation/field_arrays.hpp"
#include "simulation/simulation_input.hpp"

namespace wind {

enum class OutputLayout { classic, inflowwind };

// The model axes (1..3) along which the field's array indices run, in index
// order: (1, 2, 3) for a box, the two axes other than absentDim for a plane,
// (1) for a line; unused entries are 0.
std::array<int, 3> gridAxes(const SimulationInput& in);

// Reorders the fields in place from the classic into the inflowwind layout
// (and back: the reversal is its own inverse).
void toInflowWindLayout(const SimulationInput& in, FieldArrays& fields);

// Reverses, in a block of n1 x n2 rows of n3 floats (last index fastest), the
// row order along the first index (rev1) and/or the second (rev2): the step
// of toInflowWindLayout, also for a slab of a box's planes.
void reverseRows(float* data, std::int64_t n1, std::int64_t n2, std::int64_t n3, bool rev1,
                 bool rev2);

// "classic" or "inflowwind".
const char* layoutName(OutputLayout layout);

}  // namespace wind
