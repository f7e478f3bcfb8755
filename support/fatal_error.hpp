#pragma once
// The single exit path for every unrecoverable condition of both programs.
//
// fatalError(message) hands the message to the installed fatal handler. The
// default handler writes three lines to standard error through the C
// runtime's stderr stream (unbuffered, so the lines appear in program order with
// the console echo):
//     Numerical Recipes run-time error...
//     <message>
//     ...now exiting to system...
// and ends the process with std::exit(1), a normal exit: static destructors and
// exit handlers run, and open output streams are flushed and closed.
//
// The handler can be replaced (setFatalHandler), so that a test or a fuzzer
// keeps control: throwFatalError, for instance, throws FatalError carrying the
// message, and every array and file on the way up is released by its owner. A
// handler must not return; one that does is followed by the default report and
// exit, so fatalError never returns. The programs never replace the handler.
// The handler is process-wide; replacing it is safe from any thread, but a
// test should install it before it starts work on other threads.
#include <new>
#include <stdexcept>
#include <string>

namespace wind {

using FatalHandler = void (*)(const char* message);

[[noreturn]] void fatalError(const char* message);
[[noreturn]] void fatalError(const std::string& message);

// Installs handler (nullptr: the default) and returns the one it replaces.
FatalHandler setFatalHandler(FatalHandler handler);

// The default: the three-line report on standard error, then exit status 1.
[[noreturn]] void exitFatalHandler(const char* message);

// The three-line report alone (standard output flushed first), for handlers
// that end the process another way.
void printFatalReport(const char* message);

// What throwFatalError throws: what() is the message of fatalError.
class FatalError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A handler for tests and fuzzers: throws FatalError(message).
[[noreturn]] void throwFatalError(const char* message);

// make(), with a refusal of the heap (std::bad_alloc) turned into
// fatalError("Not enough memory for <what>"): for the standard containers,
// whose allocations would otherwise end the program unreported. (The
// index-ranged arrays report their own failures.)
template <class Make>
auto allocateOrFail(const char* what, Make&& make) -> decltype(make()) {
  try {
    return make();
  } catch (const std::bad_alloc&) {
    fatalError(std::string("Not enough memory for ") + what);
  }
}

// Installs a handler for the lifetime of a scope, then restores the previous.
class ScopedFatalHandler {
 public:
  explicit ScopedFatalHandler(FatalHandler handler) : previous_(setFatalHandler(handler)) {}
  ~ScopedFatalHandler() { setFatalHandler(previous_); }
  ScopedFatalHandler(const ScopedFatalHandler&) = delete;
  ScopedFatalHandler& operator=(const ScopedFatalHandler&) = delete;

 private:
  FatalHandler previous_;
};

}  // namespace wind
