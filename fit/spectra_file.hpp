#pragma once
// Spectra computed elsewhere, in memory (TabulatedSpectra) and in their text
// file (docs/fit.md), turned into the fit's BandSpectra (fit/fit.hpp).
//
//   # comments
//   k1  F11  F22  F33  F13  two-sided        the header
//   0.0012  41.3  12.0  3.10  -4.2
//
// The header's first word is the abscissa: k1 (rad/m) or f (Hz). Then, in
// the order of their columns, any of F11, F22, F33, F13 (each at most once, at
// least one), and words that state the convention: exactly one of one-sided
// and two-sided, and with f the mean wind speed U=<m/s> that turns
// frequencies into wave numbers (Taylor's hypothesis). An optional column n
// gives the number of independent periodogram values each row averages (its
// degrees of freedom: the fit corrects the bias of their logarithm; without
// it the rows are taken as smooth). Rows: the abscissa, rising, then one value
// per column; F11, F22, F33 positive, F13 any sign (negative for the usual
// downward momentum flux), n at least 1.
//
// Conventions, and the two-sided F_ij(k1) the fit takes (its integral over the
// whole k1 line is the variance):
//   k1 two-sided   as given
//   k1 one-sided   F(k1) = F1(k1) / 2          (int_0^inf F1 dk1 = variance)
//   f  one-sided   F(k1) = S(f) U / (4 pi)     (int_0^inf S df = variance),
//                  k1 = 2 pi f / U
//   f  two-sided   F(k1) = S(f) U / (2 pi)
//
// tabulatedBandSpectra: one band per row (bandsPerDecade 0), or the rows
// pooled in logarithmic bands of k1 as the series are (fit/series_spectra.hpp):
// each band the mean of its rows, each row one member, its n the sum of the
// rows' (rows taken as independent).
//
// Failure (fatalError): in the file, with its name and line: a header word
// that is none of these, a column twice, no F column, no or both side words,
// U missing with f or given with k1, a row with another number of values, a
// word that is not a number, an abscissa that does not rise or is not
// positive, a spectrum that is not a finite number (or, for F11 F22 F33, not
// positive), an n below 1, fewer than two rows. Rows with a non-finite value are left out
// instead when skipMissing. In memory (tabulatedBandSpectra), the same checks
// with the row's index.
#include <array>
#include <string>
#include <vector>

#include "fit/fit.hpp"

namespace wind {

struct TabulatedSpectra {
  bool frequency = false;  // abscissa f (Hz) instead of k1 (rad/m)
  double windSpeed = 0.0;  // U (m/s), with frequency
  bool oneSided = false;
  std::vector<double> abscissa;
  std::array<std::vector<double>, kSpectrumComponents> F;  // empty: not given
  std::vector<double> n;                                   // per row; empty: not given
};

BandSpectra tabulatedBandSpectra(const TabulatedSpectra& t, int bandsPerDecade = 0);

TabulatedSpectra readSpectraFile(const std::string& file, bool skipMissing);

}  // namespace wind
