// The extension windfield._core: every failure of the library becomes the
// exception windfield.Error (a ValueError) whose text is the programs'
// message; nothing here ends the interpreter.
#include <pybind11/pybind11.h>

#include "python/bindings.hpp"
#include "support/fatal_error.hpp"
#include "support/version.hpp"

PYBIND11_MODULE(_core, m) {
  namespace py = pybind11;
  m.doc() = "The compiled part of windfield; use the package windfield, not this module.";
  // Once for the process: every fatalError throws FatalError, which the
  // translator below raises as windfield.Error.
  wind::setFatalHandler(wind::throwFatalError);
  static py::exception<wind::FatalError> error(m, "Error", PyExc_ValueError);
  error.doc() = "A refusal or failure of the library; str() is the programs' message.";
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const wind::FatalError& e) {
      error(e.what());
    }
  });
  m.attr("version") = wind::kVersion;
  wind::python::addModel(m);
  wind::python::addBox(m);
  wind::python::addPlanAndFit(m);
}
