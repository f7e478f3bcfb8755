#pragma once
// What the parts of the Python module share: the registration of each part,
// and the turning of numpy arguments into the library's spans, each refusal
// naming the argument (std::invalid_argument, which pybind11 raises as
// ValueError). No numerics here: every number comes from the library.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <span>
#include <stdexcept>
#include <string>

namespace wind::python {

namespace py = pybind11;

void addModel(py::module_& m);
void addBox(py::module_& m);
void addPlanAndFit(py::module_& m);

// A one-dimensional C-contiguous array of T, converted from any numbers (no
// copy when it is one already); refused when it has another dimension.
template <class T>
using Vector1 = py::array_t<T, py::array::c_style | py::array::forcecast>;

template <class T>
std::span<const T> vectorArgument(const Vector1<T>& a, const char* name) {
  if (a.ndim() != 1)
    throw std::invalid_argument(std::string(name) + ": a one-dimensional array is needed, given " +
                                std::to_string(a.ndim()) + " dimensions");
  return {a.data(), static_cast<std::size_t>(a.shape(0))};
}

}  // namespace wind::python
