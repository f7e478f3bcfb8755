#include "sources/wind_axes.hpp"

#include <cmath>

#include "numerics/constants.hpp"

namespace wind {

namespace {

// Single-precision -1/180 of the degrees-to-radians turn into wind axes.
constexpr float kMinusOneOver180F = -0.0055555556900799274f;
// Quarter turn, in degrees, between the wind direction and the rotation angle.
constexpr double kQuarterTurnDegrees = 90.0;

// M in wind axes: turned by R, or as it is.
Mat3 inWindAxes(const WindAxes& R, const Mat3& M) { return R ? toWindAxes(*R, M) : M; }

// The along-wind speed: the first row of R times the wind vector, or its x.
float alongWind(const WindAxes& R, const Vector3& wind) {
  return R ? dot((*R)[0], wind) : wind.x;
}

}  // namespace

Mat3 eulerRotation(float phi, float theta, float psi) {
  const double ca = std::cos(double(phi)), sa = std::sin(double(phi));
  const double cb = std::cos(double(theta)), sb = std::sin(double(theta));
  const double cc = std::cos(double(psi)), sc = std::sin(double(psi));
  return {toFloat(ca * cc - sa * cb * sc), toFloat(sa * cc + ca * cb * sc), toFloat(sb * sc),
          toFloat(-ca * sc - sa * cb * cc), toFloat(ca * cb * cc - sa * sc), toFloat(sb * cc),
          toFloat(sa * sb),                toFloat(-ca * sb),               toFloat(cb)};
}

float windAxesAngle(float direction) {
  return toFloat((double(direction) + kQuarterTurnDegrees) * double(kPiF) *
                 double(kMinusOneOver180F));
}

Mat3 windAxesRotation(float direction) {
  return eulerRotation(0.0f, 0.0f, windAxesAngle(direction));
}

Mat3 toWindAxes(const Mat3& R, const Mat3& M) { return (R * M) * transpose(R); }

UpstreamLine windAxesLine(const KestavLine& line, const WindAxes& R, int h) {
  const int nH = line.nH, nP = line.nP;
  UpstreamLine w;
  w.nP = nP;
  w.nH = nH;
  w.h = h;
  w.dist = vector(0, nP - 1);
  for (int j = 0; j < nP; ++j) w.dist[j] = distanceFromFirstPoint(line.positions, j);
  w.heights = vector(0, nH - 1);
  for (int i = 0; i < nH; ++i) w.heights[i] = line.heights[i];

  w.U = matrix(0, nH - 1, 0, nP - 1);
  w.Su = matrix(0, nH - 1, 0, nP - 1);
  w.Sv = matrix(0, nH - 1, 0, nP - 1);
  w.S = vector(0, nH - 1);
  for (int i = 0; i < nH; ++i) {
    w.S[i] = at(inWindAxes(R, line.secondMatrices[i][0]), 0, 2);
    for (int j = 0; j < nP; ++j) {
      w.U[i][j] = alongWind(R, line.wind[i][j]);
      const Mat3 G = inWindAxes(R, line.firstMatrices[i][j]);
      w.Su[i][j] = at(G, 0, 0);
      w.Sv[i][j] = at(G, 1, 1);
    }
  }
  w.Sp = vector(0, nP - 1);
  for (int j = 0; j < nP; ++j) w.Sp[j] = at(inWindAxes(R, line.secondMatrices[h][j]), 0, 2);
  return w;
}

float logProfileShear(float ustar, float z) {
  return toFloat(double(ustar) / (double(kVonKarman) * double(z)));
}

}  // namespace wind
