#pragma once
// Console number format shared by both programs: a float is printed with at
// most six significant digits in the shorter of fixed and exponent notation,
// exactly as printf's "%.6g" prints it (1000 -> "1000", 0.1234567 ->
// "0.123457", 1e-07 -> "1e-07"). Independent of any stream's format state.
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace wind {

inline std::string formatG6(double value) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6g", value);
  return buf;
}

// The shortest decimal text that reads back to v, in the type given (a float
// 0.1f -> "0.1"; the double 0.1f -> "0.10000000149011612"). For the values
// the file writers print in full.
inline std::string shortestText(float v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

inline std::string shortestText(double v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

// The decimal that was typed for a float: the shortest decimal text that reads
// back to f, as the double nearest to it (0.1f -> 0.1, not
// 0.10000000149011612). For formulas stated on decimal inputs, and for
// writers that print doubles with their shortest digits.
inline double shortestDecimal(float f) { return std::strtod(shortestText(f).c_str(), nullptr); }

// The whole text as a decimal number, false when any of it is not (or it is
// out of range); "inf" and "nan" read as such, for the caller to refuse.
inline bool parseDecimal(const std::string& text, double& v) {
  char* end = nullptr;
  errno = 0;
  v = std::strtod(text.c_str(), &end);
  return !text.empty() && errno == 0 && end == text.c_str() + text.size();
}

}  // namespace wind
