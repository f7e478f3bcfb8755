#include "fit/spectra_file.hpp"

#include <cmath>
#include <map>
#include <numbers>
#include <string>

#include "fit/text_table.hpp"
#include "support/fatal_error.hpp"
#include "support/print_format.hpp"

namespace wind {

namespace {

constexpr const char* kExpected =
    "k1 or f, then any of F11 F22 F33 F13 (and n), one-sided or two-sided, and U=<m/s> with f";
// The column of n among the value columns.
constexpr int kCountColumn = kSpectrumComponents;
constexpr const char* kColumnNames[kSpectrumComponents] = {"F11", "F22", "F33", "F13"};
constexpr int kUw = static_cast<int>(SpectrumComponent::uw);

// A value of column c that the fit can take: finite, and positive for the
// auto-spectra.
bool acceptable(int c, double v) {
  return std::isfinite(v) && (c == kUw || (c == kCountColumn ? v >= 1 : v > 0));
}

const char* requirement(int c) {
  return c == kUw            ? "a finite number"
         : c == kCountColumn ? "a number of at least 1"
                             : "a positive number";
}

const char* columnName(int c) { return c == kCountColumn ? "n" : kColumnNames[c]; }

}  // namespace

BandSpectra tabulatedBandSpectra(const TabulatedSpectra& t, int bandsPerDecade) {
  const std::size_t n = t.abscissa.size();
  if (n < 2) fatalError("tabulatedBandSpectra: fewer than two rows");
  if (t.frequency && (!(t.windSpeed > 0) || !std::isfinite(t.windSpeed)))
    fatalError("tabulatedBandSpectra: the wind speed U = " + formatG6(t.windSpeed) +
               " m/s that turns frequencies into wave numbers is not a positive number");
  if (bandsPerDecade < 0 || bandsPerDecade > 1000)
    fatalError("tabulatedBandSpectra: " + std::to_string(bandsPerDecade) +
               " bands a decade, not 0 to 1000");
  bool any = false;
  for (int c = 0; c < kSpectrumComponents; ++c) {
    if (t.F[c].empty()) continue;
    any = true;
    if (t.F[c].size() != n)
      fatalError(std::string("tabulatedBandSpectra: ") + kColumnNames[c] + " has " +
                 std::to_string(t.F[c].size()) + " values for " + std::to_string(n) + " rows");
  }
  if (!any) fatalError("tabulatedBandSpectra: no spectrum given");
  if (!t.n.empty() && t.n.size() != n)
    fatalError("tabulatedBandSpectra: n has " + std::to_string(t.n.size()) + " values for " +
               std::to_string(n) + " rows");
  // k1 and the factor to the two-sided F(k1).
  const double pi = std::numbers::pi;
  const double kPerX = t.frequency ? 2 * pi / t.windSpeed : 1.0;
  const double factor =
      t.frequency ? t.windSpeed / (t.oneSided ? 4 * pi : 2 * pi) : (t.oneSided ? 0.5 : 1.0);
  for (std::size_t i = 0; i < n; ++i) {
    const std::string row = "row " + std::to_string(i + 1);
    if (!(t.abscissa[i] > 0) || !std::isfinite(t.abscissa[i]))
      fatalError("tabulatedBandSpectra: " + row + ": the abscissa " + formatG6(t.abscissa[i]) +
                 " is not a positive number");
    if (i > 0 && !(t.abscissa[i] > t.abscissa[i - 1]))
      fatalError("tabulatedBandSpectra: " + row + ": the abscissa does not rise");
    for (int c = 0; c <= kCountColumn; ++c) {
      const std::vector<double>& column = c == kCountColumn ? t.n : t.F[c];
      if (!column.empty() && !acceptable(c, column[i]))
        fatalError("tabulatedBandSpectra: " + row + ": " + columnName(c) + " = " +
                   formatG6(column[i]) + " is not " + requirement(c));
    }
  }
  BandSpectra out;
  if (t.frequency) out.windSpeed = t.windSpeed;
  // Rows pooled by band index (each row its own band when bandsPerDecade is 0).
  std::map<long, std::vector<std::size_t>> bands;
  for (std::size_t i = 0; i < n; ++i) {
    const double k = t.abscissa[i] * kPerX;
    bands[bandsPerDecade == 0 ? long(i) : long(std::floor(bandsPerDecade * std::log10(k)))]
        .push_back(i);
  }
  for (const auto& [j, rows] : bands) {
    SpectrumBand band;
    double lnK = 0;
    for (std::size_t i : rows) {
      const double k = t.abscissa[i] * kPerX;
      band.runs.push_back({k, 0.0, 1});
      lnK += std::log(k);
    }
    band.k1 = std::exp(lnK / double(rows.size()));
    out.bands.push_back(std::move(band));
    if (!t.n.empty()) {
      double dof = 0;
      for (std::size_t i : rows) dof += t.n[i];
      out.dof.push_back(dof);
    }
    for (int c = 0; c < kSpectrumComponents; ++c) {
      if (t.F[c].empty()) continue;
      double sum = 0;
      for (std::size_t i : rows) sum += t.F[c][i];
      out.F[c].push_back(factor * sum / double(rows.size()));
    }
  }
  return out;
}

TabulatedSpectra readSpectraFile(const std::string& file, bool skipMissing) {
  TextTable table(file, "the spectra file", kExpected);
  const std::string at = table.where(table.headerLine());
  const auto& header = table.header();
  TabulatedSpectra t;
  if (header[0] == "f")
    t.frequency = true;
  else if (header[0] != "k1")
    fatalError(at + ": the header starts with '" + header[0] + "', not k1 or f (" + kExpected +
               ")");
  std::vector<int> columns;  // component of each value column
  int sides = 0;
  bool haveU = false;
  for (std::size_t q = 1; q < header.size(); ++q) {
    const std::string& word = header[q];
    int c = word == "n" ? kCountColumn : -1;
    for (int k = 0; k < kSpectrumComponents; ++k)
      if (word == kColumnNames[k]) c = k;
    if (c >= 0) {
      for (int seen : columns)
        if (seen == c) fatalError(at + ": the header names " + word + " twice");
      columns.push_back(c);
    } else if (word == "one-sided" || word == "two-sided") {
      t.oneSided = word == "one-sided";
      ++sides;
    } else if (word.rfind("U=", 0) == 0) {
      double U = 0;
      if (!parseDecimal(word.substr(2), U) || !(U > 0) || !std::isfinite(U))
        fatalError(at + ": '" + word + "' is not U=<mean wind speed in m/s>");
      t.windSpeed = U;
      haveU = true;
    } else {
      fatalError(at + ": '" + word + "' is not a header word (" + kExpected + ")");
    }
  }
  if (columns.empty() || (columns.size() == 1 && columns[0] == kCountColumn))
    fatalError(at + ": the header names no spectrum (F11, F22, F33 or F13)");
  if (sides != 1)
    fatalError(at +
               ": the header must say one-sided or two-sided (the first integrates over positive "
               "wave numbers or frequencies to the variance, the second over both signs)");
  if (t.frequency && !haveU)
    fatalError(at +
               ": spectra over f need the mean wind speed U=<m/s> in the header, to turn "
               "frequencies into wave numbers");
  if (!t.frequency && haveU) fatalError(at + ": U= goes with f, not with k1");

  std::vector<std::string> words;
  long line = 0, previousLine = 0;
  while (table.next(words, line)) {
    const std::string where = table.where(line);
    if (words.size() != columns.size() + 1)
      fatalError(where + ": " + std::to_string(words.size()) + " values where the header has " +
                 std::to_string(columns.size() + 1) + " columns");
    double v[kSpectrumComponents + 2];
    bool missing = false;
    for (std::size_t q = 0; q < words.size(); ++q) {
      const std::string name = q == 0 ? header[0] : columnName(columns[q - 1]);
      if (!parseDecimal(words[q], v[q]))
        fatalError(where + ", column " + name + ": '" + words[q] + "' is not a number");
      const bool ok = q == 0 ? v[0] > 0 && std::isfinite(v[0]) : acceptable(columns[q - 1], v[q]);
      if (ok) continue;
      if (!std::isfinite(v[q]) && skipMissing) {
        missing = true;
        continue;
      }
      fatalError(
          where + ", column " + name + ": " + words[q] + " is not " +
          (q == 0 ? "a positive number" : requirement(columns[q - 1])) +
          (std::isfinite(v[q]) ? "" : ": mend the row, or leave out rows with missing values"));
    }
    if (missing) continue;
    if (!t.abscissa.empty() && !(v[0] > t.abscissa.back()))
      fatalError(where + ": " + header[0] + " = " + words[0] + " does not come after " +
                 formatG6(t.abscissa.back()) + " (line " + std::to_string(previousLine) +
                 "); it must rise");
    t.abscissa.push_back(v[0]);
    for (std::size_t q = 1; q < words.size(); ++q)
      (columns[q - 1] == kCountColumn ? t.n : t.F[columns[q - 1]]).push_back(v[q]);
    previousLine = line;
  }
  if (t.abscissa.size() < 2) fatalError(file + " holds fewer than two rows of spectra");
  return t;
}

}  // namespace wind
