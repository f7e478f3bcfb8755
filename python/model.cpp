// The model and its spectra: a site from a source's values, read by the
// parameter file's own reader; spectra, cross-spectra and variances over
// numpy arrays of k1, the numbers corvel prints.
#include <array>
#include <sstream>
#include <string>

#include "python/bindings.hpp"
#include "windfield/model.hpp"

namespace wind::python {

namespace {

ParameterSource sourceOf(const std::string& keyword) {
  for (ParameterSource s : {ParameterSource::basic, ParameterSource::land, ParameterSource::sea,
                            ParameterSource::terrain, ParameterSource::Kaimal1d,
                            ParameterSource::TwoD, ParameterSource::iec})
    if (keyword == sourceKeyword(s)) return s;
  throw std::invalid_argument("source: '" + keyword +
                              "' is not a source (basic, land, sea, terrain or iec)");
}

std::array<int, 2> pairArgument(const std::array<int, 2>& pair) {
  for (int c : pair)
    if (c < 0 || c > 2)
      throw std::invalid_argument("pair: components are 0, 1 and 2 (u, v, w), given " +
                                  std::to_string(c));
  return pair;
}

}  // namespace

void addModel(py::module_& m) {
  py::class_<Site>(m, "Site", "A site's model (see windfield.site).")
      .def_property_readonly("source",
                             [](const Site& s) { return std::string(sourceKeyword(s.values.source)); })
      .def_property_readonly("alphaeps", [](const Site& s) { return s.values.params.alphaeps; })
      .def_property_readonly("L", [](const Site& s) { return s.values.params.L; })
      .def_property_readonly("Gamma", [](const Site& s) { return s.values.params.Gamma; })
      .def_property_readonly("terrain", [](const Site& s) { return s.values.Terrain; });

  m.def(
      "read_site",
      [](const std::string& source, const std::string& values) {
        const ParameterSource s = sourceOf(source);
        std::ostringstream echo;
        py::gil_scoped_release released;
        return readSite(s, values, echo);
      },
      py::arg("source"), py::arg("values"),
      "The site of a source from its values as a parameter file writes them.");

  m.def(
      "one_point_spectra",
      [](const Site& site, const Vector1<float>& k1, std::array<int, 2> pair, float tol) {
        const std::span<const float> k = vectorArgument(k1, "k1");
        pairArgument(pair);
        py::array_t<double> out(static_cast<py::ssize_t>(k.size()));
        const std::span<double> o(out.mutable_data(), k.size());
        py::gil_scoped_release released;
        onePointSpectra(site.model(), k, pair, o, tol);
        return out;
      },
      py::arg("site"), py::arg("k1"), py::arg("pair"), py::arg("tol"));

  m.def(
      "cross_spectra",
      [](const Site& site, const Vector1<float>& k1, float sep1, float sep2,
         std::array<int, 2> pair, float tol) {
        const std::span<const float> k = vectorArgument(k1, "k1");
        pairArgument(pair);
        py::array_t<double> out({static_cast<py::ssize_t>(k.size()), py::ssize_t(4)});
        const std::span<std::array<double, 4>> o(
            reinterpret_cast<std::array<double, 4>*>(out.mutable_data()), k.size());
        py::gil_scoped_release released;
        crossSpectra(site.model(), k, sep1, sep2, pair, o, tol);
        return out;
      },
      py::arg("site"), py::arg("k1"), py::arg("sep1"), py::arg("sep2"), py::arg("pair"),
      py::arg("tol"));

  m.def(
      "variance",
      [](const Site& site, std::array<int, 2> pair, float tol) {
        pairArgument(pair);
        py::gil_scoped_release released;
        return variance(site.model(), pair, tol);
      },
      py::arg("site"), py::arg("pair"), py::arg("tol"));
  m.attr("spectrum_tol") = kSpectrumTol;
}

}  // namespace wind::python
