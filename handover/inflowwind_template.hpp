#pragma once
// An InflowWind input filled from the user's own (--openfast-template FILE).
//
// InflowWind reads its input line by line by position: each line holds a
// value, then its key, then free text; a value that is a file name is quoted.
// Its wind-file sections each start at a separator line, a line whose first
// non-blank character is '=' and which names the WindType values the section
// is used for ("... [used only for WindType = 4 or WindType = 7] ===="); a
// section runs to the next separator line. The WindType line itself stands
// before the sections.
//
// What a run writes sets these values (inflowWindValues):
//   every format   WindType                     3 (.bts), 4 (.wnd), 5 (raw)
//   bts, section 3 FileName_BTS                 the .bts
//   wnd, section 4 FilenameRoot                 the root
//                  TowerFile, where present     False (no .twr is written)
//   raw, section 5 FileName_u, FileName_v, FileName_w, nx, ny, nz, dx, dy, dz,
//                  the key that begins with RefHt_, URef, and with --scale iec
//                  ScaleMethod 0 (the files already carry IEC's targets)
//   --hub-series,  FileName_Uni (the .hh) and RefHt_Uni (the hub height),
//   section 2      where the template has that section and these keys
// and in the shipped input (shippedInflowWindInput, --openfast-input) also
//   main part      WindVziList, the output point's height: the hub height
//   raw, section 5 WindProfile, the key that begins with PLExp_, and Z0: the
//                  run's profile (power:ALPHA 2 and ALPHA, log:Z0 1 and Z0,
//                  none 0), which InflowWind adds to the raw files
// Keys are the names InflowWind reads, matched whole without regard to case
// (the reference height by its prefix RefHt_, as InflowWind's versions name
// it differently). File names are written in double quotes
// (single quotes when the name holds a double quote; a name with both is
// refused).
//
// fillInflowWindTemplate changes a line only in its value field, the text
// before the key: the new value keeps the old one's alignment (left-aligned
// values stay left, right-aligned ones keep their right edge) where it fits,
// and the key moves right, one blank after the value, where it does not. The
// key and everything after it, every other line, the line ends (LF or CRLF)
// and the presence of a final newline stay byte for byte; no line is added,
// removed or reordered.
//
// Failure (fatalError, naming the template): raw files whose reference height
// or URef the run does not know ("--openfast-template: the raw files need the
// reference height and URef: give --wind-speed and --hub-height", with
// --openfast-input for the shipped input); no WindType line; no section
// for the format's WindType; a required key missing from it, or present twice
// ("The InflowWind template T has no line whose key begins with RefHt_ in its
// section for WindType 5"); a line of the section whose key is another
// spelling of a required one, at which InflowWind would stop ("The InflowWind
// template T, line 22: the key Filename is not FileName_BTS, the name
// InflowWind reads there in its section for WindType 3: write FileName_BTS in
// its place").

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "handover/mean_profile.hpp"
#include "handover/wind_file.hpp"
#include "synthesis/grid.hpp"

namespace wind {

// What a run wrote, as InflowWind must be told.
struct InflowWindSettings {
  WindFileFormat format = WindFileFormat::raw;
  std::array<std::string, 3> rawFiles;  // raw: u, v, w
  std::string windFile;                 // bts: the .bts file; wnd: the root name
  BoxGrid grid;                         // raw: nx, ny, nz and the spacings
  std::optional<double> referenceHeight;  // raw: the grid's middle row, m (unknown: nullopt)
  std::optional<double> uRef;             // raw: the mean wind at it, m/s
  bool scaled = false;                  // --scale iec was applied
  std::string hubSeries;                // --hub-series: the .hh ("" none)
  std::optional<double> hubHeight;      // m (unknown: nullopt)
  // The shipped input (--openfast-input), which vorlan fills further: the
  // output point at the hub, and for raw files the mean profile.
  bool shipped = false;
  MeanProfile profile;
};

// The InflowWind WindType of each format: 3 bts, 4 wnd, 5 raw (0 netcdf,
// which InflowWind does not read).
int inflowWindType(WindFileFormat f);

// One value to set.
struct InflowWindValue {
  enum class Kind { text, number, flag };
  int section = 0;      // the WindType whose section holds it; 0 for the WindType line
  std::string key;      // the key as current versions spell it
  std::string match;    // what the template's key must equal, or begin with when prefix
  bool prefix = false;
  bool required = true;
  Kind kind = Kind::number;
  std::string value;    // unquoted text, a number's shortest decimal, or True/False
};

// The values of a run, in the order they are set (WindType first). An unknown
// reference height or URef gives an empty value.
std::vector<InflowWindValue> inflowWindValues(const InflowWindSettings& s);

// The value as it goes into the file (file names quoted).
std::string inflowWindValueText(const InflowWindValue& v);

// The template's text with the values set (see above); templateName is for
// messages.
std::string fillInflowWindTemplate(const std::string& text, const InflowWindSettings& s,
                                   const std::string& templateName);

// For raw files without --scale iec: a warning when the template's section
// for WindType 5 keeps a ScaleMethod other than 0 (with InflowWind's factors
// or target standard deviations from SFx.. or SigmaFx..), under which
// InflowWind reads another box than the one written; "" otherwise.
std::string inflowWindScalingWarning(const std::string& text, const InflowWindSettings& s,
                                     const std::string& templateName);

// Where the filled copy goes: beside the first output, named after it and the
// template ("out/iec_u.bin" and "cases/IfW.dat" -> "out/iec_u_IfW.dat").
std::string filledTemplateName(const std::string& firstOutput, const std::string& templateFile);

// The InflowWind input shipped with the programs (examples/InflowWind.dat,
// compiled in): every wind type's section with InflowWind's current keys.
// --openfast-input fills a copy of it, "<box>_InflowWind.dat".
std::string_view shippedInflowWindInput();
inline constexpr const char* kShippedInputName = "InflowWind.dat";

}  // namespace wind
