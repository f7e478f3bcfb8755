#pragma once
// The single exit path for every unrecoverable condition of both programs.
//
// fatalError(message) writes three lines to standard error through the C
// runtime's stderr stream (unbuffered, so the lines appear in program order with
// the console echo):
//     Numerical Recipes run-time error...
//     <message>
//     ...now exiting to system...
// and ends the process with std::exit(1), a normal exit: static destructors and
// exit handlers run, and open output streams are flushed and closed.
#include <string>

namespace wind {

[[noreturn]] void fatalError(const char* message);
[[noreturn]] void fatalError(const std::string& message);

}  // namespace wind
