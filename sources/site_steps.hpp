#pragma once
// The site layer of both programs: the site values of a parameter file, the
// reading of a terrain source's values, and the steps that derive the model
// parameters alphaeps, L and Gamma from a land, sea or terrain site.
//
//   land     checkedLandParams(U0, z, z0, SpecType)
//   sea      checkedSeaParams(U0, z, SpecType)
//   terrain  read the terrain flow-model file (ReadKestavLine, which echoes the
//            file name and the site values); checkedLandParams on its site
//            values (U0, z, z0) and the input's SpecType; the line in wind
//            axes (sources/wind_axes.hpp: turned by the wind direction, or the
//            file's own axes); the stretch tables if Terrain is set and the
//            roughness table if Roughness is set (sources/upstream_tables.hpp),
//            the latter with the logarithmic shear ustar / (0.4 z) of the site.
//
// Both programs build the tensor model of their run from the site values in one
// place, siteTensorModel, which decides when the model reads the tables.
//
// The programs differ only where their arguments say so: the simulator turns
// the terrain line into wind axes and echoes the terrain words as it reads
// them, the spectrum calculator keeps the file's axes, echoes nothing but a
// refused word and has its own message for it.
//
// Failure: every bad value or site ends the run through fatalError with the
// message of the routine that finds it (the reader below, the site routines,
// the terrain file reader, the table builders).

#include <iosfwd>
#include <string>

#include "sources/wind_axes.hpp"
#include "tensor/model.hpp"
#include "tensor/upstream_lookup.hpp"

namespace wind {

class ValueReader;

// The values that a land, sea or terrain source gives, and the model
// parameters derived from them (read directly for the other sources).
struct SiteValues {
  ModelParameters params;

  float U0 = 0.0f, z = 0.0f, z0 = 0.0f;  // land: all three; sea: U0 and z
  int SpecType = 0;                      // land, sea, terrain

  std::string terrainFile;  // terrain only
  int KESTAVHeightNo = 0;   // 0-based, terrain only; range checked against the file
  bool Terrain = false;     // terrain only: build the stretch tables
  bool Roughness = false;   // terrain only: build the roughness table
};

// How a program reads the words of a terrain source.
struct TerrainWording {
  const char* terrainMessage;    // a Terrain word that is no boolean
  const char* roughnessMessage;  // a Roughness word that is no boolean
  bool echoValues;               // echo "Terrain <word>", "Roughness <word>", "SpecType <n>"
  bool skipTerrainLineRest;      // the rest of the Terrain line is a comment
};

// Reads terrainFile and KESTAVHeightNo (readTerrainFileChoice), the Terrain
// word (then the rest of its line if skipTerrainLineRest), the Roughness word
// and SpecType, in this order. "true"/"True" and "false"/"False" are the
// booleans; another word is echoed and refused with the wording's message. Both
// false fails with "Error in input file: At least one of Terrain and Roughness
// has to be true", a SpecType other than 0, 1, 2 with kSpecTypeMessage.
void readTerrainSource(ValueReader& r, std::ostream& echo, const TerrainWording& wording,
                       SiteValues& site);

// landStep and seaStep write site.params.
void landStep(SiteValues& site);
void seaStep(SiteValues& site);

// The axes of the terrain step: the wind axes (turned by the file's wind
// direction), or the file's own axes taken as they are.
enum class TerrainAxes { wind, file };

// The terrain step: writes site.params, fills tables
// (stretch tables if site.Terrain, roughness table if site.Roughness) and
// echoes the terrain file's site values on echo. Returns the along-wind speed
// at the first height and the first point, U[0][0] of the line in those axes.
float terrainStep(SiteValues& site, TerrainAxes axes, UpstreamTables& tables, std::ostream& echo);

// The tensor model of a site, with the run's tables (or none):
//   params   site.params, except that with the Roughness option alphaeps is 0,
//            so that the model takes its level wave number by wave number from
//            the roughness table (site.params keeps the level derived from the
//            site, the one the programs echo);
//   Terrain  the Terrain option: the scale-dependent stretch;
//   tables   the given tables when the model reads them
//            (TensorModel::needsTables), none otherwise.
// Only the terrain source sets Terrain and Roughness; for the other sources
// this is site.params as they are, without tables. Checks nothing: the engines
// and the spectrum calculator check the tables (TensorModel::checkTables).
TensorModel siteTensorModel(const SiteValues& site, const UpstreamTables* tables);

}  // namespace wind
