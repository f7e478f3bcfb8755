#pragma once
// Model parameters (alphaeps, Gamma, L) matched to the ESDU one-point spectra of
// the neutral atmospheric surface layer, tabulated over wind speed, height and,
// for land sites, roughness length. Read-only data of the library.
//
// Grids (strictly increasing, used as 1-based tables by tableLocate):
//   esduSpeedGrid      10 mean wind speeds U (m/s)
//   esduHeightGrid      9 heights z (m)
//   esduRoughnessGrid   9 roughness lengths z0 (m)
//
// Tables (double precision, every value with at most six significant digits):
//   esduSeaTable [speed 0-9][height 0-8]                 record (alphaeps, Gamma, L)
//   esduLandTable[speed 0-9][height 0-8][roughness 0-8]  record (alphaeps, Gamma, L)
// stored with the last index fastest: 270 and 2,430 doubles in that order, so a
// source file may spell a table as a flat list of its numbers.
//
// The land table is generated (tools/make_esdu_land_table.cpp, see
// docs/land-table.md): derived from the sea table by similarity in the
// relative height z/h, with eight reference records in place exactly. Its
// translation unit also defines esduLandTableAvailable().

#include <array>

namespace wind {

inline constexpr int kEsduSpeeds = 10;
inline constexpr int kEsduHeights = 9;
inline constexpr int kEsduRoughnesses = 9;

// Components of a record.
inline constexpr int kEsduAlphaeps = 0;
inline constexpr int kEsduGamma = 1;
inline constexpr int kEsduL = 2;

using EsduRecord = std::array<double, 3>;
using EsduSeaTable = std::array<std::array<EsduRecord, kEsduHeights>, kEsduSpeeds>;
using EsduLandTable =
    std::array<std::array<std::array<EsduRecord, kEsduRoughnesses>, kEsduHeights>, kEsduSpeeds>;

inline constexpr std::array<float, kEsduSpeeds> esduSpeedGrid = {10, 15, 20, 25, 30,
                                                                 40, 50, 60, 70, 80};
inline constexpr std::array<float, kEsduHeights> esduHeightGrid = {5,  10,  15,  25, 40,
                                                                   80, 120, 180, 300};
inline constexpr std::array<float, kEsduRoughnesses> esduRoughnessGrid = {
    0.0001f, 0.0003f, 0.001f, 0.003f, 0.01f, 0.03f, 0.1f, 0.3f, 1.0f};

extern const EsduSeaTable esduSeaTable;
extern const EsduLandTable esduLandTable;

// True when esduLandTable holds all 2,430 values.
bool esduLandTableAvailable();

}  // namespace wind
