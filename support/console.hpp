#pragma once
// Reading primitives of the two programs' parameter files.
//
// A parameter file is plain text read by formatted extraction: values separated
// by any white space, no labels, no comments; a few items are whole lines.
// ValueReader wraps the one input stream of a run and turns every value that
// the stream cannot deliver (end of file, or text where a number is expected)
// into the fatal report "Could not read <label> from the input file: ...",
// followed by what stands there and on which line ("line 7 holds 'abc' where a
// number is expected", "the file ends after line 6"), so a short or mistyped
// file never runs on with a default value. When the text that cannot be read
// follows the previous value without white space ("11,4" read as 11, then
// ",4"), the report blames that previous value, quoting it whole.
//
// A UTF-8 byte-order mark at the very start of the stream (as some editors
// write it) is skipped. Positions and line numbers need a stream that can
// seek (files, string streams); on one that cannot, the reports leave the
// line out.
//
// Integers are read in the base the stream's basefield selects; the readers
// clear basefield first (prefix-selected bases: "0x"/"0X" hexadecimal, a
// leading 0 octal, otherwise decimal), as C's %i does. Floats are decimal text
// rounded to single precision; a value outside the float range is a failed read.
//
// Nothing here prints except requireBool's echo of a refused word; the echo
// of what was read is the callers' business.

#include <iosfwd>
#include <ios>
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

  // fatalError("Could not read <label> from the input file: ..."), with what
  // the stream holds at its position (the word there and its line, or where
  // the file ends): for a value that the caller reads itself (a line).
  [[noreturn]] void missingHere(const char* label);

  // " on line N": the line of the last value read (1-based), or "" when the
  // stream cannot tell. For the callers' own messages about that value.
  std::string onLine() const;

  // The line (1-based) at the stream's position, 0 when it cannot tell.
  int lineHere() const;

 private:
  template <class T>
  T readValue(const char* label);
  [[noreturn]] void failed(const char* label, std::streamoff start, const std::string& why);
  int lineAt(std::streamoff pos) const;
  // The word at pos, cut to `most` characters (then "..." follows).
  std::string wordAt(std::streamoff pos, std::size_t most = kShownChars) const;

  static constexpr std::size_t kShownChars = 40;

  std::istream& in_;  // const members reposition it and restore its place
  std::streamoff lastStart_ = -1, lastEnd_ = -1;  // the last value read; -1: none
  std::string lastLabel_;
};

// The spellings of a boolean in a parameter file: "true"/"True" give true,
// "false"/"False" false. Returns false, leaving value untouched, for any other
// word.
bool parseBool(const std::string& word, bool& value);

// The value of a boolean word; any other word is echoed on its own line, the
// echo is flushed and the run ends through fatalError(message).
bool requireBool(const std::string& word, std::ostream& echo, const char* message);

}  // namespace wind
