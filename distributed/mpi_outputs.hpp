#pragma once
// The output files of one run of vorlan-mpi, written by every rank at once
// through MPI-IO, appearing under their names only when the whole run has
// succeeded.
//
// The files are rank 0's pending outputs (support/pending_output.hpp), created
// as vorlan creates them (createRunFiles, runner/driver.hpp): the field files
// or the wind file(s), the run record and the filled InflowWind input (written
// at once), as temporaries in the folders of their names, which rank 0 alone
// holds. The shared files, which every rank writes its part of (the field
// files, the .bts, the .wnd; the NetCDF file), are named on every rank: every
// rank opens a field file's or a wind file's temporary with MPI_File_open and
// writes its part, the floats of the field files with collective
// MPI_File_write_at_all calls at its own offsets, in rounds of at most
// kWriteRound floats so that no count passes MPI's int, the bytes of a wind
// file's slices with independent writes; a NetCDF file is opened by the NetCDF
// library at its path. Rank 0 writes the .sum, and the record's text. commit
// renames, on rank 0, the data files and the record and the filled input
// last, once every rank has agreed that all writes and closes succeeded; any
// failure before that removes every temporary (the pending outputs on rank 0,
// MpiRun's list on every rank) and leaves what the user had. An output name
// that is a device or a pipe (/dev/null) is written directly, as vorlan does,
// and such a run writes no record.
//
// Failures (through the run, every rank the same verdict): a temporary that
// cannot be created (rank 0 ends the echo's line with the name, then "Could
// not open output file <name>: <reason>"), a file MPI-IO cannot open ("Could
// not open output file <name>"), a failed write or close ("Could not write
// output file <name>"), the record's write or a rename ("Could not write ...",
// naming the file and the reason).
#include <mpi.h>

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "distributed/mpi_run.hpp"
#include "handover/hand_over.hpp"
#include "runner/driver.hpp"
#include "simulation/output_files.hpp"
#include "simulation/simulation_input.hpp"
#include "support/pending_output.hpp"

namespace wind {

class MpiOutputFiles {
 public:
  static constexpr std::int64_t kWriteRound = std::int64_t{1} << 26;

  MpiOutputFiles() = default;
  MpiOutputFiles(const MpiOutputFiles&) = delete;
  MpiOutputFiles& operator=(const MpiOutputFiles&) = delete;
  ~MpiOutputFiles();  // closes what is still open (only on abnormal paths)

  // Collective: the run's outputs (pending on rank 0: createRunFiles's), the
  // shared files open on every rank (a NetCDF file only named).
  void create(MpiRun& run, const SimulationInput& in, const HandOver& h, std::ostream& echo);

  // Collective over the run: count floats from data at float offset `at` of
  // shared file f (count 0 on ranks that hold none of it).
  void write(MpiRun& run, int f, std::int64_t at, const float* data, std::int64_t count);

  // This rank alone: the bytes at byte offset `at` of shared file f. A
  // failure shows at closeAll.
  void writeBytes(int f, std::int64_t at, const std::string& bytes);

  // The file every rank writes as shared file f (its temporary, or the name
  // itself when it is written directly), and the name the user knows.
  const std::string& path(int f) const { return path_[std::size_t(f)]; }
  const std::string& name(int f) const { return name_[std::size_t(f)]; }
  // Whether shared file f is written directly (a device or a pipe).
  bool direct(int f) const { return direct_[std::size_t(f)] != 0; }

  // Rank 0: its i-th further pending output in creation order (the wind files,
  // then the filled InflowWind input: createRunFiles's).
  PendingOutput& rootOutput(int i) { return local_.extra(i); }

  // Collective: closes every file; every rank agrees that every write and
  // close succeeded, else the run fails.
  void closeAll(MpiRun& run);

  // Collective: rank 0 writes the texts (the record and the run summary, when
  // the run writes them), then puts the field files and the texts under their
  // names.
  void commit(MpiRun& run, const RunTexts& texts);

 private:
  OutputFiles local_;  // rank 0's pending outputs
  std::vector<MPI_File> file_;  // MPI_FILE_NULL where not opened through MPI-IO
  std::vector<std::string> name_, path_;
  std::vector<char> writeFailed_, direct_;
};

}  // namespace wind
