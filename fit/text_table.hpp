#pragma once
// Reading the fit's two text formats (fit/series_file.hpp,
// fit/spectra_file.hpp): a header line of words, then rows of numbers.
//
// '#' starts a comment that runs to the end of its line; lines with nothing
// else are skipped. Words are separated by white space or commas. The first
// line with words is the header; every further one is a row, read one at a
// time (next), so a long series never sits in memory as text.
//
// Messages name the file and the line: where(line) is "<file>, line <n>".
// A file that cannot be opened ends the run through fatalError
// ("Could not open <what> <file>: <reason>"), one without a header with
// "<file> has no header line (<expected>)".
#include <fstream>
#include <string>
#include <vector>

namespace wind {

class TextTable {
 public:
  TextTable(const std::string& file, const std::string& what, const std::string& expected);

  const std::vector<std::string>& header() const { return header_; }
  long headerLine() const { return headerLine_; }

  // The next row's words and its line number; false at the end of the file.
  bool next(std::vector<std::string>& words, long& line);

  std::string where(long line) const;
  const std::string& file() const { return file_; }

 private:
  std::string file_;
  std::ifstream in_;
  std::vector<std::string> header_;
  long headerLine_ = 0, line_ = 0;
};

}  // namespace wind
