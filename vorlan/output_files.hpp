#pragma once
// The simulator's output files: one binary file per velocity component.
//
// Format: raw 4-byte IEEE-754 single-precision floats, little-endian, with no
// header, record marker or trailer. A field of N1 (x N2 (x N3)) points gives a
// file of exactly 4 N1 (N2 (N3)) bytes, the last index varying fastest: the
// float at byte offset 4 ((i-1) N2 N3 + (j-1) N3 + (k-1)) is grid point (i, j, k).
//
// Each file is created (binary, create or truncate) as soon as its name is read,
// long before anything is written, so that an unwritable name ends the run
// before any large allocation; after a later failure the files stay on disk,
// empty. Writes and closes are checked: a short write or a failed close ends the
// run through fatalError naming the file.

#include <cstdint>
#include <cstdio>
#include <iosfwd>
#include <string>

namespace wind {

class OutputFiles {
 public:
  OutputFiles() = default;
  OutputFiles(const OutputFiles&) = delete;
  OutputFiles& operator=(const OutputFiles&) = delete;
  ~OutputFiles();  // closes what is still open, unchecked (only on abnormal paths)

  // Creates the file of component c (0-based). If it cannot be created, echoes
  // the name without a newline and fails with "Could not open output file".
  void create(int c, const std::string& name, std::ostream& echo);

  // Appends count floats to the file of component c, in memory order.
  void write(int c, const float* data, std::int64_t count);

  // Closes the files in component order, checking each close.
  void closeAll();

 private:
  std::FILE* file_[3] = {nullptr, nullptr, nullptr};
  std::string name_[3];
};

}  // namespace wind
