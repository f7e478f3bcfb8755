#include "support/fatal_error.hpp"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace wind {

namespace {
std::atomic<FatalHandler> currentHandler{nullptr};
}  // namespace

void printFatalReport(const char* message) {
  std::fflush(stdout);
  std::fprintf(stderr, "Numerical Recipes run-time error...\n");
  std::fprintf(stderr, "%s\n", message);
  std::fprintf(stderr, "...now exiting to system...\n");
  std::fflush(stderr);
}

void exitFatalHandler(const char* message) {
  printFatalReport(message);
  std::exit(1);
}

void throwFatalError(const char* message) { throw FatalError(message); }

FatalHandler setFatalHandler(FatalHandler handler) { return currentHandler.exchange(handler); }

void fatalError(const char* message) {
  if (const FatalHandler handler = currentHandler.load()) handler(message);
  exitFatalHandler(message);
}

void fatalError(const std::string& message) { fatalError(message.c_str()); }

}  // namespace wind
