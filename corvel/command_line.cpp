#include "corvel/command_line.hpp"

#include <ostream>
#include <string>
#include <string_view>

#include "support/fatal_error.hpp"
#include "support/version.hpp"

namespace wind {

CorvelRequest corvelRequest(int argc, const char* const argv[]) {
  if (argc < 2) return CorvelRequest::run;
  const std::string_view first(argv[1]);
  if (first == "--help" || first == "-h") return CorvelRequest::help;
  if (first == "--version") return CorvelRequest::version;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg(argv[i]);
    if (!arg.starts_with("--")) continue;
    const std::string word(arg);
    if (arg == "--help" || arg == "--version")
      fatalError("Option " + word + " has to come first: corvel " + word);
    fatalError("Unknown option " + word + " (corvel --help lists the options)");
  }
  return CorvelRequest::run;
}

void printCorvelVersion(std::ostream& out) { out << "corvel " << kVersion << '\n'; }

void printCorvelHelp(std::ostream& out) {
  out << R"(Usage: corvel [FILE]
       corvel --help | -h | --version

Evaluates the spectral velocity tensor of the turbulence model (the model
vorlan synthesises fields from) for the parameters in FILE (default
c:/Temp/corvel.inp): one-point spectra, two-point cross-spectra or variances.
Results go to standard output, one line as it is computed; the echo of the
input goes to standard error.

Parameter file: values separated by white space, in this order:
  source            first line: basic, land, sea, terrain or iec
  source values     basic:    alphaeps L Gamma
                    land:     U0 z z0 SpecType   (SpecType 0 Kaimal, 1 Simiu, 2 ESDU)
                    sea:      U0 z SpecType
                    terrain:  terrain file (the whole next line), height number,
                              Terrain (true/false), Roughness (true/false), SpecType
                    iec:      category (A, B, C or Iref) V_hub z_hub
  result            spec, xspec or sigma2
  n                 number of component pairs, 1 to 10
  n pairs           i j, components 1 (u, along the wind), 2 (v), 3 (w, up)
  kmin kmax step    spec and xspec: wave numbers k1 (rad/m), step in decades
  sep1 sep2         xspec: separation across the wind, y and z (m)

Output:
  spec     k1, then F_ij(k1) per pair (m^3 s^-2, two-sided in k1)
  xspec    k1, then per pair F_ii F_jj co-spectrum quad-spectrum
  sigma2   one line per pair (1 1, 2 2, 3 3 or 1 3): variance in m^2 s^-2
)";
}

}  // namespace wind
