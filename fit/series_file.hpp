#pragma once
// The text file of a sonic anemometer's series (docs/fit.md), read into a
// SonicSeries (fit/series_spectra.hpp).
//
//   # comments
//   time  u  v  w          the header: these four names, in any order; other
//   0.00  10.21  0.33 -0.12          columns (a temperature, say) are read past
//   0.05  10.35  0.29 -0.08
//
// time in seconds, u, v, w in m/s in any fixed frame (the fit rotates them
// into the mean wind). Values are separated by white space or commas (the
// comment and word rules of fit/text_table.hpp). The first two rows set the
// sampling interval dt; every row's time must lie on the grid t0 + i dt
// (within dt / 100), rising.
//
// Refused with the file and line (fatalError): a header without time, u, v
// or w or with one twice; a row with another number of values than the
// header has names; a word that is not a number; a time that is not a finite
// number, does not rise or lies off the grid; fewer than two rows. A row
// with a non-finite velocity (nan, inf) and a gap in the times (a time more
// than one dt after the previous row) are refused as well, unless
// skipMissing: then they become missing samples (NaN) of the series, which
// seriesSpectra leaves out with their segments. A gap longer than
// kMaxGapSamples is refused either way (a mistyped time, most likely).
#include <string>

#include "fit/series_spectra.hpp"

namespace wind {

inline constexpr long kMaxGapSamples = 10000000;

SonicSeries readSeriesFile(const std::string& file, bool skipMissing);

}  // namespace wind
