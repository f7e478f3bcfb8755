#pragma once
// Console number format shared by both programs: a float is printed with at
// most six significant digits in the shorter of fixed and exponent notation,
// exactly as printf's "%.6g" prints it (1000 -> "1000", 0.1234567 ->
// "0.123457", 1e-07 -> "1e-07"). Independent of any stream's format state.
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

// The decimal that was typed for a float: the shortest decimal text that reads
// back to f, as the double nearest to it (0.1f -> 0.1, not
// 0.10000000149011612). For formulas stated on decimal inputs, and for
// writers that print doubles with their shortest digits.
inline double shortestDecimal(float f) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf - 1, f);
  *r.ptr = '\0';
  return std::strtod(buf, nullptr);
}

}  // namespace wind
