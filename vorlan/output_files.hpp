#pragma once
// The simulator's output files: one binary file per velocity component.
//
// Format: raw 4-byte IEEE-754 single-precision floats, little-endian, with no
// header, record marker or trailer. A field of N1 (x N2 (x N3)) points gives a
// file of exactly 4 N1 (N2 (N3)) bytes, the last index varying fastest: the
// float at byte offset 4 ((i-1) N2 N3 + (j-1) N3 + (k-1)) is grid point (i, j, k).
//
// The files are created (binary, create or truncate) once all their names are
// read and checked, long before anything is written, so that an unwritable
// name ends the run before any large allocation; after a later failure the
// files stay on disk, empty. Writes and closes are checked: a short write or a
// failed close ends the run through fatalError naming the file.
//
// Names that would destroy data are refused before any file is created
// (checkOutputNames): two outputs that are one file (the second would silently
// replace the first component), or an output that is the parameter file or the
// terrain file being read. Names are compared by what they resolve to: the
// absolute path with ".", ".." and the symbolic links of its existing part
// resolved, and for files that exist also by device and inode, so that
// "./u.bin", "dir/../u.bin" and a hard link to u.bin are all u.bin.

#include <cstdint>
#include <cstdio>
#include <iosfwd>
#include <string>

namespace wind {

// Ends the run through fatalError, naming both files, if two of the n output
// names are the same file, or if one of them is the parameter file inputFile or
// the terrain file terrainFile (an empty terrainFile: none). Touches nothing on
// disk.
void checkOutputNames(const std::string* names, int n, const std::string& inputFile,
                      const std::string& terrainFile);

// Whether the names a and b are one file (as above; a device is no file
// another writer could destroy).
bool namesSameFile(const std::string& a, const std::string& b);

// The same for the run record written beside the outputs (its name is the
// first output's with ".json" added): it must be none of the outputs, nor the
// parameter or terrain file.
void checkRecordName(const std::string& record, const std::string* names, int n,
                     const std::string& inputFile, const std::string& terrainFile);

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
