#include "numerics/fatal_error.hpp"

#include <cstdio>
#include <cstdlib>

namespace wind {

void fatalError(const char* message) {
  std::fflush(stdout);
  std::fprintf(stderr, "Numerical Recipes run-time error...\n");
  std::fprintf(stderr, "%s\n", message);
  std::fprintf(stderr, "...now exiting to system...\n");
  std::fflush(stderr);
  std::exit(1);
}

void fatalError(const std::string& message) { fatalError(message.c_str()); }

}  // namespace wind
