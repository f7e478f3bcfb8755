#pragma once
// The simulator's output files: one binary file per velocity component, and
// the run record beside the first (record/run_record.hpp).
//
// Format: raw 4-byte IEEE-754 single-precision floats, little-endian, with no
// header, record marker or trailer. A field of N1 (x N2 (x N3)) points gives a
// file of exactly 4 N1 (N2 (N3)) bytes, the last index varying fastest: the
// float at byte offset 4 ((i-1) N2 N3 + (j-1) N3 + (k-1)) is grid point (i, j, k).
//
// The files of one run are pending outputs (support/pending_output.hpp):
// created as temporaries once all their names are read and checked, long
// before anything is written, so that an unwritable name ends the run before
// any large allocation; they appear under their names only at the commit, the
// data files (field or wind files) first in the order they were created, then
// the run record and the filled InflowWind input. A run that fails or is
// interrupted before leaves every earlier file as it was. Devices and pipes
// (/dev/null) are written directly. Writes and closes are checked: a short
// write or a failed close ends the run through fatalError naming the file.
//
// Names that would destroy data are refused before any file is created
// (checkOutputNames): two outputs that are one file (the second would silently
// replace the first component), or an output that is the parameter file or the
// terrain file being read. Names are compared by what they resolve to
// (resolvedPath), and for files that exist also by device and inode, so that
// "./u.bin", "$PWD/u.bin", "dir/../u.bin" and a hard link to u.bin are all
// u.bin, whether or not u.bin exists yet.

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

#include "support/pending_output.hpp"

namespace wind {

// What a file name resolves to: the canonical path of its folder (symbolic
// links and "." and ".." resolved as the system resolves them) followed by its
// last component. A name whose folder does not exist (it cannot be created)
// keeps its absolute, lexically normal form.
std::filesystem::path resolvedPath(const std::string& name);

// Whether two names are one file (resolvedPath, or device and inode of files
// that exist); a device such as /dev/null is no file that one could destroy.
bool sameFile(const std::string& a, const std::string& b);

// The absolute path of a name: lexically normal, unless the name holds "..",
// which the system resolves after the symbolic links before it (resolvedPath).
std::string absoluteName(const std::string& name);

// The path of name relative to the folder of the file `from`, both resolved
// as the system resolves them, so that it leads to name from there.
std::string relativeName(const std::string& name, const std::string& from);

// Whether a name is a device or a pipe that exists (/dev/null): a name made
// from it (a .bts, a seed's file) cannot go beside it, as /dev/null.bts would
// be a file in /dev.
bool isDeviceOrPipe(const std::string& name);

// fatalError("The output <output> is no file (a device or a pipe), and
// <derived> would be named after it: give a file name in its place").
[[noreturn]] void refuseDerivedName(const std::string& output, const std::string& derived);

// Ends the run through fatalError, naming both files, if two of the n output
// names are the same file, or if one of them is the parameter file inputFile or
// the terrain file terrainFile (an empty terrainFile: none). Touches nothing on
// disk.
void checkOutputNames(const std::string* names, int n, const std::string& inputFile,
                      const std::string& terrainFile);

// The same for the run record written beside the outputs (its name is the
// first output's with ".json" added): it must be none of the outputs, nor the
// parameter or terrain file.
void checkRecordName(const std::string& record, const std::string* names, int n,
                     const std::string& inputFile, const std::string& terrainFile);

class OutputFiles {
 public:
  // Creates the pending file of component c (0-based). If it cannot be
  // created, ends the echo's line with the name and fails with "Could not open
  // output file <name>: <reason>".
  void create(int c, const std::string& name, std::ostream& echo);

  // Creates the pending run record, after the field files. Failure: "Could not
  // open the run record <name>: <reason>".
  const PendingOutput& createRecord(const std::string& name);

  // Creates another pending output of the run (a wind file, a filled
  // InflowWind input), the i-th such, in creation order; failure as create,
  // with label for "output file".
  PendingOutput& add(const std::string& name, const std::string& label, PendingOutput::Role role,
                     std::ostream& echo);
  PendingOutput& extra(int i) { return *extra_[std::size_t(i)]; }
  // The other output created under name (as given to add), or nullptr.
  PendingOutput* extra(const std::string& name);

  // The pending file of component c, once created.
  const PendingOutput& file(int c) const { return *file_[c]; }

  // The record's stream, nullptr when the run writes none.
  std::ostream* record() { return record_ != nullptr ? &record_->stream() : nullptr; }

  // Appends count floats to the file of component c, in memory order.
  void write(int c, const float* data, std::int64_t count);

  // Closes every file, checked, and puts them under their names: the data
  // files in the order they were created, then the descriptions (the record,
  // the filled InflowWind input).
  void commit() { set_.commit(); }

  // The temporaries of every file created and not yet committed.
  std::vector<std::string> temporaries() const { return set_.temporaries(); }

 private:
  // Creates a pending output or ends the run: the echo's line ended with the
  // name, then "Could not open <label> <name>: <reason>".
  PendingOutput& createOrEnd(const std::string& name, const std::string& label,
                             PendingOutput::Role role, std::ostream& echo);

  PendingOutputs set_;
  PendingOutput* file_[3] = {nullptr, nullptr, nullptr};
  PendingOutput* record_ = nullptr;
  std::vector<PendingOutput*> extra_;
};

}  // namespace wind
