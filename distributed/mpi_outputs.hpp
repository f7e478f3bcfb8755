#pragma once
// The output files of one run of vorlan-mpi, written by every rank at once
// through MPI-IO, appearing under their names only when the whole run has
// succeeded.
//
// Each field file is first a temporary in the same folder as its name
// (".<name>.<pid>.<n>.tmp", created by rank 0 with the usual permissions, 0666
// less the umask, so that the rename keeps them); every rank opens it with
// MPI_File_open and writes its part with collective MPI_File_write_at_all
// calls at its own offsets, in rounds of at most kWriteRound floats so that
// no count passes MPI's int. The run record's text goes to a temporary beside
// the record's name the same way (rank 0). commit then renames, on rank 0,
// every field temporary to its name and the record's last, once every rank
// has agreed that all writes and closes succeeded; any failure before that
// removes every temporary (MpiRun) and leaves what the user had. An output
// name that exists and is not a regular file (a device such as /dev/null, a
// pipe) is written directly, as vorlan does, and such a run writes no record.
//
// The temporary-then-rename step is the pair createTemporaryBeside
// (vorlan/temporary_file.hpp) / commitTemporary, so that another mechanism
// can take its place at one spot.
//
// Failures (through the run, every rank the same verdict): a temporary that
// cannot be created (rank 0 echoes the name, then "Could not open output
// file"), a file MPI-IO cannot open ("Could not open output file <name>"), a
// failed write or close ("Could not write output file <name>"), a record that
// cannot be written ("Could not write the run record <name>"), a failed
// rename ("Could not rename <temporary> to <name>").
#include <mpi.h>

#include <cstdint>
#include <iosfwd>
#include <string>

#include "distributed/mpi_run.hpp"
#include "vorlan/simulation_input.hpp"

namespace wind {

// The temporaries come from createTemporaryBeside (vorlan/temporary_file.hpp).
// Renames temp to name (replacing it); false when the rename fails.
bool commitTemporary(const std::string& temp, const std::string& name);

class MpiOutputFiles {
 public:
  static constexpr std::int64_t kWriteRound = std::int64_t{1} << 26;

  MpiOutputFiles() = default;
  MpiOutputFiles(const MpiOutputFiles&) = delete;
  MpiOutputFiles& operator=(const MpiOutputFiles&) = delete;
  ~MpiOutputFiles();  // closes what is still open (only on abnormal paths)

  // Collective: the run's nComp field files (temporaries), open on every rank.
  void create(MpiRun& run, const SimulationInput& in, std::ostream& echo);

  // Collective over the run: count floats from data at float offset `at` of
  // component c's file (count 0 on ranks that hold none of it).
  void write(MpiRun& run, int c, std::int64_t at, const float* data, std::int64_t count);

  // Collective: closes every file; every rank agrees that every write and
  // close succeeded, else the run fails.
  void closeAll(MpiRun& run);

  // Collective: rank 0 writes the record text (when the run writes one) to its
  // temporary, then renames the fields' temporaries and the record's.
  void commit(MpiRun& run, const SimulationInput& in, const std::string& recordText);

 private:
  MPI_File file_[3] = {MPI_FILE_NULL, MPI_FILE_NULL, MPI_FILE_NULL};
  std::string name_[3], temp_[3];  // temp_ empty: written directly
  int count_ = 0;
  bool writeFailed_[3] = {false, false, false};
};

}  // namespace wind
