// The parameter-source steps of the simulator: land, sea and terrain derive
// alphaeps, L and Gamma from site data while the input file is read.
#include "vorlan/source_steps.hpp"

#include <cmath>
#include <cstddef>
#include <ostream>
#include <span>

#include "numerics/constants.hpp"
#include "sources/site_params.hpp"
#include "sources/upstream_tables.hpp"
#include "vorlan/driver.hpp"

namespace wind {

namespace {

// Single-precision -1/180 of the degrees-to-radians turn into wind axes.
constexpr float kMinusOneOver180F = -0.0055555556900799274f;
// Quarter turn, in degrees, between the wind direction and the rotation angle.
constexpr double kQuarterTurnDegrees = 90.0;

inline float f(double x) { return static_cast<float>(x); }

std::span<const float> span(const Vector& v, int n) {
  return {v.data(), static_cast<std::size_t>(n)};
}

}  // namespace

Mat3 eulerRotation(float phi, float theta, float psi) {
  const double ca = std::cos(double(phi)), sa = std::sin(double(phi));
  const double cb = std::cos(double(theta)), sb = std::sin(double(theta));
  const double cc = std::cos(double(psi)), sc = std::sin(double(psi));
  return {f(ca * cc - sa * cb * sc), f(sa * cc + ca * cb * sc), f(sb * sc),
          f(-ca * sc - sa * cb * cc), f(ca * cb * cc - sa * sc), f(sb * cc),
          f(sa * sb),                f(-ca * sb),               f(cb)};
}

float windAxesAngle(float direction) {
  return f((double(direction) + kQuarterTurnDegrees) * double(kPiF) * double(kMinusOneOver180F));
}

Mat3 windAxesRotation(float direction) {
  return eulerRotation(0.0f, 0.0f, windAxesAngle(direction));
}

Mat3 toWindAxes(const Mat3& R, const Mat3& M) { return (R * M) * transpose(R); }

WindAxesLine windAxesLine(const KestavLine& line, const Mat3& R) {
  const int nH = line.nH, nP = line.nP;
  WindAxesLine w;
  w.dist = vector(0, nP - 1);
  for (int j = 0; j < nP; ++j) w.dist[j] = distanceFromFirstPoint(line.positions, j);

  w.U = matrix(0, nH - 1, 0, nP - 1);
  w.Su = matrix(0, nH - 1, 0, nP - 1);
  w.Sv = matrix(0, nH - 1, 0, nP - 1);
  w.S = vector(0, nH - 1);
  for (int i = 0; i < nH; ++i) {
    w.S[i] = at(toWindAxes(R, line.secondMatrices[i][0]), 0, 2);
    for (int j = 0; j < nP; ++j) {
      // The along-wind speed is the first row of R times the wind vector.
      w.U[i][j] = dot(R[0], line.wind[i][j]);
      const Mat3 G = toWindAxes(R, line.firstMatrices[i][j]);
      w.Su[i][j] = at(G, 0, 0);
      w.Sv[i][j] = at(G, 1, 1);
    }
  }
  return w;
}

Vector windAxesShear(const KestavLine& line, const Mat3& R, int h) {
  Vector Sp = vector(0, line.nP - 1);
  for (int j = 0; j < line.nP; ++j) Sp[j] = at(toWindAxes(R, line.secondMatrices[h][j]), 0, 2);
  return Sp;
}

float logProfileShear(float ustar, float z) {
  return f(double(ustar) / (double(kKappaF) * double(z)));
}

void landStep(SimulationInput& input) {
  checkedLandParams(input.U0, input.z, input.z0, input.SpecType, input.Gamma, input.L,
                    input.alphaeps);
}

void seaStep(SimulationInput& input) {
  checkedSeaParams(input.U0, input.z, input.SpecType, input.Gamma, input.L, input.alphaeps);
}

void terrainStep(SimulationInput& input, UpstreamTables& tables, std::ostream& echo) {
  // The reader checks KESTAVHeightNo against the rows of the file.
  const KestavLine line = ReadKestavLine(input.terrainFile, input.KESTAVHeightNo, echo);
  const KestavSite& site = line.site;
  const int nH = line.nH, nP = line.nP, h = input.KESTAVHeightNo;

  // The site is a land site with the file's reference wind, height and roughness.
  checkedLandParams(site.U0, site.z, site.z0, input.SpecType, input.Gamma, input.L,
                    input.alphaeps);

  const Mat3 R = windAxesRotation(site.direction);
  const WindAxesLine w = windAxesLine(line, R);

  if (input.Terrain)
    buildStretchTables(tables, site.U0, site.z, site.direction, site.z0, site.ustar, input.Gamma,
                       input.L, nP, nH, span(line.heights, nH), h, w.U, span(w.S, nH), w.Su,
                       w.Sv, span(w.dist, nP));

  if (input.Roughness) {
    const Vector Sp = windAxesShear(line, R, h);
    buildRoughnessTable(tables, site.z, site.U0, logProfileShear(site.ustar, site.z), input.Gamma,
                        nP, span(Sp, nP), span(w.dist, nP));
  }
}

void parameterSourceStep(SimulationInput& input, UpstreamTables& tables, std::ostream& echo) {
  switch (input.source) {
    case ParameterSource::land: landStep(input); break;
    case ParameterSource::sea: seaStep(input); break;
    case ParameterSource::terrain: terrainStep(input, tables, echo); break;
    case ParameterSource::basic:
    case ParameterSource::Kaimal1d:
    case ParameterSource::TwoD:
    case ParameterSource::iec: break;
  }
}

}  // namespace wind
