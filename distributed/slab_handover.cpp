#include "distributed/slab_handover.hpp"

#include <algorithm>
#include <array>
#include <ostream>
#include <span>
#include <vector>

#include "distributed/mpi_netcdf.hpp"
#include "handover/placement.hpp"
#include "sources/iec.hpp"

namespace wind {

namespace {

std::array<std::span<float>, 3> slabValues(SlabBox& box) {
  std::array<std::span<float>, 3> v{};
  for (int c = 0; c < box.nComp; ++c) v[std::size_t(c)] = box.values(c);
  return v;
}

// The box as the wind-file writers see it: this rank's planes.
WindBox slabWindBox(SlabBox& box, const SimulationInput& in, const HandOver& h) {
  WindBox w{{}, boxGridOf(in), *h.placement, h.profile,
            box.planes.count() > 0 ? box.planes.first - 1 : 0};
  for (int c = 0; c < box.nComp; ++c) w.uvw[std::size_t(c)] = box.values(c);
  return w;
}

// The slices of this rank's planes into shared file 0 after `header` bytes,
// encoded a chunk at a time by slice(n, out).
template <class Slice>
void writeSliceRuns(MpiOutputFiles& files, const WindBox& box, std::int64_t header,
                    std::int64_t sliceBytes, Slice&& slice) {
  const std::int64_t chunk = std::max<std::int64_t>(1, kSliceChunk / sliceBytes);
  std::string bytes;
  for (const detail::SliceRun& run : detail::sliceRuns(box))
    for (std::int64_t n = run.first; n < run.first + run.count; n += chunk) {
      bytes.clear();
      const std::int64_t end = std::min(run.first + run.count, n + chunk);
      for (std::int64_t m = n; m < end; ++m) slice(m, bytes);
      files.writeBytes(0, header + n * sliceBytes, bytes);
    }
}

}  // namespace

std::optional<IecScaling> scaleSlabBox(MpiRun& run, SlabBox& box, const SimulationInput& in,
                                       const HandOver& h) {
  if (!h.scaleIec) return std::nullopt;
  const std::array<std::span<float>, 3> values = slabValues(box);
  const std::int64_t perPlane = box.planeFloats();
  const std::array<double, 3> sigma = iecStandardDeviations(
      values, in.nComp, box.cut.nn1 * perPlane, SlabReduction(run.comm(), box.cut));
  std::array<int, 3> comps{};
  for (int c = 0; c < in.nComp; ++c) comps[std::size_t(c)] = in.components[c];
  IecScaling s;
  run.agree([&] { s = iecScaling(sigma, comps, in.nComp, h.iec->sigma1); });
  applyIecScaling(s, values);
  return s;
}

void writeSlabWindFile(MpiRun& run, SlabBox& box, const SimulationInput& in, const HandOver& h,
                       MpiOutputFiles& files, const std::string& parameterFile,
                       RandomStreamKind random, HandOverRecord& r) {
  if (h.format == WindFileFormat::raw) return;
  const std::int64_t first = box.planes.count() > 0 ? box.planes.first - 1 : 0;
  if (h.format == WindFileFormat::netcdf) {
    // The statistics of the values in the file, as the record's.
    const SlabReduction reduction(run.comm(), box.cut);
    const std::int64_t perPlane = box.planeFloats();
    std::array<ComponentStatistics, 3> statistics{};
    std::array<std::span<const float>, 3> values{};
    for (int c = 0; c < 3; ++c) {
      const std::span<float> v = box.values(c);
      values[std::size_t(c)] = v;
      const double shift = reduction.fromFirstPlane(v.empty() ? 0.0 : double(v[0]));
      statistics[std::size_t(c)] = planeStatistics(
          box.planes.count(), perPlane, shift, box.cut.nn1 * perPlane, reduction,
          [&](std::int64_t p, std::int64_t e) { return double(v[std::size_t(p * perPlane + e)]); });
    }
    writeParallelNetcdf(run, files, boxGridOf(in), values, first,
                        netcdfAttributes(netcdfRun(in, h, parameterFile, random, statistics, r)));
    return;
  }
  const WindBox wind = slabWindBox(box, in, h);
  const std::string name = windFileName(boxName(in), h.format);
  run.agree([&] { detail::checkWindBox(wind, name); });
  const SlabReduction reduction(run.comm(), box.cut);
  if (h.format == WindFileFormat::bts) {
    BtsWriter writer(wind, reduction);
    const std::string header = writer.header(btsDescription(parameterFile, in.seed, h.profile));
    if (run.root()) files.writeBytes(0, 0, header);
    writeSliceRuns(files, wind, std::int64_t(header.size()), writer.sliceBytes(),
                   [&](std::int64_t n, std::string& out) { writer.appendSlice(n, out); });
    r.bts = writer.quantisation(reduction);
  } else {
    WndWriter writer(wind, reduction);
    const std::string header = writer.header(in.seed);
    if (run.root()) files.writeBytes(0, 0, header);
    writeSliceRuns(files, wind, std::int64_t(header.size()), writer.sliceBytes(),
                   [&](std::int64_t n, std::string& out) { writer.appendSlice(n, out); });
    run.agree([&] {
      if (run.root())
        detail::writeBytes(files.rootOutput(1).stream(), writer.summary(), name + ".sum");
    });
    r.wnd = writer.quantisation(reduction);
  }
}

}  // namespace wind
