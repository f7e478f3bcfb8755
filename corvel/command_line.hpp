#pragma once
// The spectrum calculator's command line.
//
// Classic form: `corvel [FILE]`, the parameter file being argv[1] whenever an
// argument is given (corvelInputFileName). Two words in first place are taken
// as requests instead of a file name:
//
//   --help, -h   usage and the parameter file format in brief, on out
//   --version    the program's version, on out
//
// Anything else, and either word in a later place, leaves the classic rule
// untouched.
#include <iosfwd>

namespace wind {

enum class CorvelRequest { run, help, version };

CorvelRequest corvelRequest(int argc, const char* const argv[]);

// The text of --help and of --version, each ending in a newline.
void printCorvelHelp(std::ostream& out);
void printCorvelVersion(std::ostream& out);

}  // namespace wind
