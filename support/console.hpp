#pragma once
// Reading primitives of the two programs' parameter files.
//
// A parameter file is plain text read by formatted extraction: values separated
// by any white space, no labels, no comments; a few items are whole lines.
// ValueReader wraps the one input stream of a run and turns every value that
// the stream cannot deliver (end of file, or text where a number is expected)
// into the fatal report "Could not read <label> from the input file", so a
// short or mistyped file never runs on with a default value.
//
// Integers are read in the base the stream's basefield selects; the readers
// clear basefield first (prefix-selected bases: "0x"/"0X" hexadecimal, a
// leading 0 octal, otherwise decimal), as C's %i does. Floats are decimal text
// rounded to single precision; a value outside the float range is a failed read.
//
// Nothing here prints except requireBool's echo of a refused word; the echo
// of what was read is the callers' business.

#include <iosfwd>
#include <string>

namespace wind {

class ValueReader {
 public:
  explicit ValueReader(std::istream& in);

  int readInt(const char* label);
  long readLong(const char* label);
  float readFloat(const char* label);
  // The next white-space delimited word.
  std::string readWord(const char* label);

  // The rest of the current line, its newline consumed. A carriage return
  // before the newline (a file written with CR LF line ends) is not part of the
  // line, as in text-mode reading on systems with such line ends. Returns false
  // when nothing could be read (end of file).
  bool readLine(std::string& line);

  // fatalError("Could not read <label> from the input file").
  [[noreturn]] static void missing(const char* label);

 private:
  std::istream& in_;
};

// The spellings of a boolean in a parameter file: "true"/"True" give true,
// "false"/"False" false. Returns false, leaving value untouched, for any other
// word.
bool parseBool(const std::string& word, bool& value);

// The value of a boolean word; any other word is echoed on its own line, the
// echo is flushed and the run ends through fatalError(message).
bool requireBool(const std::string& word, std::ostream& echo, const char* message);

}  // namespace wind
