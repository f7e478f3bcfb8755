#pragma once
// Console number format shared by both programs: a float is printed with at
// most six significant digits in the shorter of fixed and exponent notation,
// exactly as printf's "%.6g" prints it (1000 -> "1000", 0.1234567 ->
// "0.123457", 1e-07 -> "1e-07"). Independent of any stream's format state.
#include <cstdio>
#include <string>

namespace wind {

inline std::string formatG6(double value) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6g", value);
  return buf;
}

}  // namespace wind
