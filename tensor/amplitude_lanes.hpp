#pragma once
// Internal to tensor/spectral_tensor.cpp: the amplitudes of a row in the
// lanes arithmetic (TensorArithmetic::lanes of tensor/spectral_tensor.hpp).
//
// laneAmplitudes(model, k1, k2, k3, out) evaluates tensorAmplitude's
// formulas, operation for operation and with every rounding to float where
// tensorAmplitude rounds, on four wave vectors of the row at once (eight with
// AVX-512); pow and
// atan2 are those of numerics/vector_math.hpp instead of the C library's. The
// terrain tables are read wave vector by wave vector, as tensorAmplitude reads
// them. Each lane's result depends on its own wave vector alone: the same bits
// for any grouping of the row and any instruction set. Against
// tensorAmplitude the doubles under each rounding differ by a few units in
// their last place, so nearly every element is the same float and the rest
// differ by a unit or two in the last place of a float where a rounding went
// the other way (tensor/amplitude_lanes_test.cpp bounds it at 1e-6 of the
// matrix's largest element).
//
// Same preconditions as tensorAmplitude (the tables the model needs are
// filled); n = k3.size() <= out.size(). Allocates nothing; reentrant.
#include <span>

#include "numerics/small_types.hpp"
#include "numerics/vector_math.hpp"
#include "tensor/model.hpp"

namespace wind::detail {

void laneAmplitudes(const TensorModel& model, float k1, float k2, std::span<const float> k3,
                    std::span<Mat3> out);

// laneAmplitudes as built for the instruction set isa, which the processor
// must have (laneAmplitudes takes the widest it has); for tests.
void laneAmplitudesOn(lanes::InstructionSet isa, const TensorModel& model, float k1, float k2,
                      std::span<const float> k3, std::span<Mat3> out);

}  // namespace wind::detail
