#pragma once
// corvel-fit's command line: `corvel-fit [OPTIONS] FILE`.
//
// FILE is a series file (its header starts with time, fit/series_file.hpp) or
// a spectra file (k1 or f, fit/spectra_file.hpp). Options (each also as
// --name=value):
//
//   series only:
//     --segment S            segment length, s (default 600)
//     --window S             Welch window, s (rounded down to a power of two
//                            of samples; default the largest in a segment)
//     --detrend              remove a straight line per segment
//     --frequency-range A:B  frequencies kept, Hz
//   both:
//     --skip-missing         leave out the segments (series) or rows
//                            (spectra) that hold missing values, instead of
//                            refusing the file
//     --bands N              bands a decade (series: default 10; spectra:
//                            default none, one band per row)
//     --k-range A:B          wave numbers fitted, rad/m
//     --weights U,V,W,UW     weight of each spectrum, 0 leaves it out
//                            (default 1,1,1,1)
//     --alphaeps A, --L L, --Gamma G   hold a parameter at a value
//     --start A,L,G          start values instead of the scan
//     --json FILE            the result for programs and vorlan-look
//   a box for the fitted model (the planner's options, as vorlan-plan):
//     --wind-speed V --hub-height Z --rotor-diameter D --time T
//     [--dt S] [--margin F] [-o FILE]
//     V defaults to the measured mean wind speed where the input gives one.
//   --help, -h; --version.
//
// Failure (fatalError, naming the word): an unknown option ("Unknown option
// --x (corvel-fit --help lists the options)"), an option given twice ("The
// option --segment is given twice"), a missing or malformed value, no file or
// a second one, a planner option without the others it needs. Series options
// with a spectra file are refused when the file is read (the driver).
#include <array>
#include <iosfwd>
#include <optional>
#include <string>
#include <utility>

#include "fit/fit.hpp"
#include "fit/series_spectra.hpp"

namespace wind {

struct FitCommand {
  std::string file;
  bool help = false, version = false;

  // The series options, and which of them were given (a spectra file
  // refuses them).
  SeriesOptions series;
  std::string seriesOptionGiven;  // the first one given, "" for none
  bool skipMissing = false;
  int bands = -1;  // -1: the input kind's default

  FitOptions fit;
  std::string json;

  // The box plan.
  bool plan = false;
  std::optional<double> windSpeed;
  double hubHeight = 0, rotorDiameter = 0, time = 0;
  std::optional<double> dt, margin;
  std::string output = "plan.inp";
};

FitCommand parseFitCommandLine(int argc, const char* const argv[]);

// A range A:B of positive numbers with A < B, for option (in messages).
std::pair<double, double> parseRange(const char* option, const std::string& text);

void printFitHelp(std::ostream& out);
void printFitVersion(std::ostream& out);

}  // namespace wind
