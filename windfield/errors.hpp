#pragma once
// Failures of the library, as a caller without a command line meets them.
//
// Every refusal and every unrecoverable condition of the library goes through
// one choke point, fatalError (support/fatal_error.hpp), whose handler the
// caller chooses. The programs keep the default: the three-line report on
// standard error and exit status 1. A library caller (a script's binding, a
// test, a service) installs throwFatalError instead, for the length of its
// calls (ScopedFatalHandler) or once for the process: each failure then
// throws FatalError, whose what() is the programs' message word for word,
// and every array, file and temporary on the way up is released by its owner,
// so that an output which was not complete never appears under its name
// (support/pending_output.hpp). A failure on a thread of a team is carried out
// of the team and thrown again on the calling thread.
//
// catchFatal turns the same into an error value: it runs f with
// throwFatalError installed and returns the message of its failure, or
// nothing when f succeeded.
//
// The handler is process-wide: install it before starting calls on other
// threads, and do not mix callers that want the default with callers that
// want exceptions in one process.
#include <optional>
#include <string>
#include <utility>

#include "support/fatal_error.hpp"

namespace wind {

template <class F>
std::optional<std::string> catchFatal(F&& f) {
  const ScopedFatalHandler throwing(throwFatalError);
  try {
    std::forward<F>(f)();
  } catch (const FatalError& e) {
    return std::string(e.what());
  }
  return std::nullopt;
}

}  // namespace wind
