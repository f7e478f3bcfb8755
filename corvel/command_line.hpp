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
// Anything else leaves the classic rule untouched, except that a word beginning
// with "--" is never a file name: an unknown one ends the run through
// fatalError ("Unknown option --x (corvel --help lists the options)"), and so
// does --help or --version in a later place ("Option --help has to come
// first: corvel --help"), since the classic rule would otherwise quietly read
// another file or ignore the word.
#include <iosfwd>

namespace wind {

enum class CorvelRequest { run, help, version };

CorvelRequest corvelRequest(int argc, const char* const argv[]);

// The text of --help and of --version, each ending in a newline.
void printCorvelHelp(std::ostream& out);
void printCorvelVersion(std::ostream& out);

}  // namespace wind
