#include "corvel/terrain_step.hpp"

#include <ostream>
#include <span>

#include "numerics/arrays.hpp"
#include "numerics/print_format.hpp"
#include "sources/site_params.hpp"
#include "sources/terrain_file.hpp"
#include "sources/upstream_tables.hpp"

namespace wind {

namespace {

std::span<const float> view(const Vector& v) {
  return {v.data(), static_cast<std::size_t>(v.size())};
}

}  // namespace

void corvelTerrainStep(SpectrumInput& input, UpstreamTables& tables, std::ostream& out,
                       std::ostream& echo) {
  const KestavLine line = ReadKestavLine(input.terrainFile, input.KESTAVHeightNo, echo);
  const int nH = line.nH;
  const int nP = line.nP;
  const KestavSite& site = line.site;
  const int h = input.KESTAVHeightNo;

  Vector dist = vector(0, nP - 1);
  for (int j = 0; j < nP; ++j) dist[j] = distanceFromFirstPoint(line.positions, j);

  checkedLandParams(site.U0, site.z, site.z0, input.SpecType, input.Gamma, input.L,
                    input.alphaeps);

  // The file's own horizontal axes are taken as wind axes: no rotation.
  Matrix U = matrix(0, nH - 1, 0, nP - 1);
  Matrix Su = matrix(0, nH - 1, 0, nP - 1);
  Matrix Sv = matrix(0, nH - 1, 0, nP - 1);
  Vector S = vector(0, nH - 1);
  for (int i = 0; i < nH; ++i) {
    S[i] = at(line.secondMatrices[i][0], 0, 2);
    for (int j = 0; j < nP; ++j) {
      U[i][j] = line.wind[i][j].x;
      Su[i][j] = at(line.firstMatrices[i][j], 0, 0);
      Sv[i][j] = at(line.firstMatrices[i][j], 1, 1);
    }
  }

  if (input.Terrain)
    buildStretchTables(tables, site.U0, site.z, site.direction, site.z0, site.ustar, input.Gamma,
                       input.L, nP, nH, view(line.heights), h, U, view(S), Su, Sv, view(dist));

  if (input.Roughness) {
    Vector Sp = vector(0, nP - 1);
    for (int j = 0; j < nP; ++j) Sp[j] = at(line.secondMatrices[h][j], 0, 2);
    // Shear of the logarithmic profile at the site height.
    const float S0 = static_cast<float>(double(site.ustar) / (double(kVonKarman) * site.z));
    buildRoughnessTable(tables, site.z, site.U0, S0, input.Gamma, nP, view(Sp), view(dist));
  }

  out << formatG6(U[0][0]) << "\n";
  out.flush();
}

}  // namespace wind
