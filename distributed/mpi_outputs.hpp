#pragma once
// The output files of one run of vorlan-mpi, written by every rank at once
// through MPI-IO, appearing under their names only when the whole run has
// succeeded.
//
// The files are rank 0's pending outputs (support/pending_output.hpp), as in
// vorlan: each field file and the run record are created as temporaries in
// the folders of their names, which rank 0 alone holds; every rank opens a
// field file's temporary with MPI_File_open and writes its part with
// collective MPI_File_write_at_all calls at its own offsets, in rounds of at
// most kWriteRound floats so that no count passes MPI's int; rank 0 writes the
// record's text. commit renames, on rank 0, the field files and the record
// last, once every rank has agreed that all writes and closes succeeded; any
// failure before that removes every temporary (the pending outputs on rank 0,
// MpiRun's list on the others) and leaves what the user had. An output name
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

#include "distributed/mpi_run.hpp"
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

  // Collective: the run's nComp field files, its record and run summary
  // (pending on rank 0), the field files open on every rank.
  void create(MpiRun& run, const SimulationInput& in, std::ostream& echo);

  // Collective over the run: count floats from data at float offset `at` of
  // component c's file (count 0 on ranks that hold none of it).
  void write(MpiRun& run, int c, std::int64_t at, const float* data, std::int64_t count);

  // Collective: closes every file; every rank agrees that every write and
  // close succeeded, else the run fails.
  void closeAll(MpiRun& run);

  // Collective: rank 0 writes the texts (the record and the run summary, when
  // the run writes them), then puts the field files and the texts under their
  // names.
  void commit(MpiRun& run, const RunTexts& texts);

 private:
  OutputFiles local_;  // rank 0's pending outputs
  MPI_File file_[3] = {MPI_FILE_NULL, MPI_FILE_NULL, MPI_FILE_NULL};
  std::string name_[3], path_[3];  // path_: the file every rank writes
  int count_ = 0;
  bool writeFailed_[3] = {false, false, false};
};

}  // namespace wind
