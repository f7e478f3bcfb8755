#pragma once
// Shared helpers of the unit tests.
#include <string>

namespace wind::testing {

// The regular expression (POSIX extended, as GoogleTest uses on Linux) that
// matches the literal text s.
inline std::string literal(const std::string& s) {
  std::string r;
  for (char c : s) {
    if (std::string("\\^$.|?*+()[]{}").find(c) != std::string::npos) r += '\\';
    r += c;
  }
  return r;
}

// The three-line report of fatalError(message), as a regular expression for
// EXPECT_EXIT(..., ExitedWithCode(1), fatalReport("...")).
inline std::string fatalReport(const std::string& message) {
  return literal("Numerical Recipes run-time error...\n" + message +
                 "\n...now exiting to system...\n");
}

}  // namespace wind::testing
