#include "sources/site_steps.hpp"

#include <ostream>
#include <string>

#include "sources/site_params.hpp"
#include "sources/terrain_file.hpp"
#include "sources/upstream_tables.hpp"
#include "support/console.hpp"
#include "support/fatal_error.hpp"

namespace wind {

namespace {

// A Terrain or Roughness word, echoed with its label if the wording says so.
bool readBoolWord(ValueReader& r, std::ostream& echo, bool echoValue, const char* label,
                  const char* message) {
  const std::string word = r.readWord(label);
  if (echoValue) echo << label << " " << word << "\n";
  return requireBool(word, echo, message);
}

}  // namespace

void readTerrainSource(ValueReader& r, std::ostream& echo, const TerrainWording& wording,
                       SiteValues& site) {
  site.KESTAVHeightNo = readTerrainFileChoice(r, echo, site.terrainFile);
  site.Terrain = readBoolWord(r, echo, wording.echoValues, "Terrain", wording.terrainMessage);
  if (wording.skipTerrainLineRest) {
    std::string rest;
    r.readLine(rest);
  }
  site.Roughness =
      readBoolWord(r, echo, wording.echoValues, "Roughness", wording.roughnessMessage);
  if (!site.Terrain && !site.Roughness)
    fatalError("Error in input file: At least one of Terrain and Roughness has to be true");

  site.SpecType = r.readInt("SpecType");
  if (wording.echoValues) echo << "SpecType " << site.SpecType << "\n";
  checkSpecType(site.SpecType);
}

void landStep(SiteValues& site) {
  site.params = checkedLandParams(site.U0, site.z, site.z0, site.SpecType);
}

void seaStep(SiteValues& site) {
  site.params = checkedSeaParams(site.U0, site.z, site.SpecType);
}

float terrainStep(SiteValues& site, TerrainAxes axes, UpstreamTables& tables, std::ostream& echo) {
  // The reader checks KESTAVHeightNo against the rows of the file.
  const KestavLine line = ReadKestavLine(site.terrainFile, site.KESTAVHeightNo, echo);
  const KestavSite& s = line.site;
  const int h = site.KESTAVHeightNo;

  // The site is a land site with the file's reference wind, height and roughness.
  site.params = checkedLandParams(s.U0, s.z, s.z0, site.SpecType);

  const WindAxes R =
      axes == TerrainAxes::wind ? WindAxes(windAxesRotation(s.direction)) : std::nullopt;
  const UpstreamLine w = windAxesLine(line, R, h);

  if (site.Terrain) buildStretchTables(tables, s.z0, s.ustar, site.params.Gamma, w);
  if (site.Roughness)
    buildRoughnessTable(tables, s.z, s.U0, logProfileShear(s.ustar, s.z), site.params.Gamma, w);
  return w.U[0][0];
}

TensorModel siteTensorModel(const SiteValues& site, const UpstreamTables* tables) {
  TensorModel model{.params = site.params, .Terrain = site.Terrain, .tables = nullptr};
  if (site.Roughness) model.params.alphaeps = 0.0f;
  if (model.needsTables()) model.tables = tables;
  return model;
}

}  // namespace wind
