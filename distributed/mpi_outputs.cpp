#include "distributed/mpi_outputs.hpp"

#include <algorithm>
#include <ostream>

#include "record/run_record.hpp"
#include "runner/driver.hpp"

namespace wind {

namespace {

// Rank 0's string on every rank.
void broadcast(MPI_Comm comm, std::string& s) {
  std::int64_t length = std::int64_t(s.size());
  MPI_Bcast(&length, 1, MPI_INT64_T, 0, comm);
  s.resize(std::size_t(length));
  MPI_Bcast(s.data(), static_cast<int>(length), MPI_CHAR, 0, comm);
}

}  // namespace

MpiOutputFiles::~MpiOutputFiles() {
  for (MPI_File& f : file_)
    if (f != MPI_FILE_NULL) MPI_File_close(&f);
}

void MpiOutputFiles::create(MpiRun& run, const SimulationInput& in, const HandOver& h,
                            std::ostream& echo) {
  // The shared files: the field files, or the one wind file every rank
  // writes (the .wnd, not its .sum), each rank's part at its place.
  if (h.format == WindFileFormat::raw)
    name_.assign(in.fname, in.fname + in.nComp);
  else
    name_ = {windFileNames(in, h.format).front()};
  const std::size_t n = name_.size();
  path_.assign(n, std::string());
  file_.assign(n, MPI_FILE_NULL);
  writeFailed_.assign(n, 0);
  direct_.assign(n, 0);
  run.agree([&] {
    if (!run.root()) return;
    createRunFiles(in, h, local_, echo);
    for (std::size_t f = 0; f < n; ++f) {
      const PendingOutput& o =
          h.format == WindFileFormat::raw ? local_.file(int(f)) : local_.extra(int(f));
      path_[f] = o.direct() ? std::string() : o.path();
    }
    // Removed with the shared files' temporaries should the run abort.
    for (const std::string& t : local_.temporaries()) run.addTemporary(t);
  });
  bool failed = false;
  std::string message;
  for (std::size_t f = 0; f < n; ++f) {
    broadcast(run.comm(), path_[f]);  // empty: the name itself, written directly
    direct_[f] = path_[f].empty() ? 1 : 0;
    if (path_[f].empty()) path_[f] = name_[f];
    else if (!run.root()) run.addTemporary(path_[f]);
    if (h.format == WindFileFormat::netcdf) continue;  // opened by the NetCDF library
    if (MPI_File_open(run.comm(), path_[f].c_str(), MPI_MODE_WRONLY, MPI_INFO_NULL, &file_[f]) !=
        MPI_SUCCESS) {
      file_[f] = MPI_FILE_NULL;
      if (!failed) message = "Could not open output file " + name_[f];
      failed = true;
    }
  }
  int anyFailed = failed ? 1 : 0, all = 0;
  MPI_Allreduce(&anyFailed, &all, 1, MPI_INT, MPI_MAX, run.comm());
  if (all != 0)
    for (MPI_File& f : file_)
      if (f != MPI_FILE_NULL) MPI_File_close(&f);
  run.settle(failed, message);
}

void MpiOutputFiles::write(MpiRun& run, int c, std::int64_t at, const float* data,
                           std::int64_t count) {
  const std::size_t f = std::size_t(c);
  std::int64_t rounds = (count + kWriteRound - 1) / kWriteRound, most = 0;
  MPI_Allreduce(&rounds, &most, 1, MPI_INT64_T, MPI_MAX, run.comm());
  for (std::int64_t r = 0; r < most; ++r) {
    const std::int64_t from = r * kWriteRound;
    const std::int64_t n = std::clamp<std::int64_t>(count - from, 0, kWriteRound);
    const MPI_Offset offset = MPI_Offset(at + (n > 0 ? from : 0)) * MPI_Offset(sizeof(float));
    MPI_Status status;
    const int rc = MPI_File_write_at_all(file_[f], offset, n > 0 ? data + from : data,
                                         static_cast<int>(n), MPI_FLOAT, &status);
    int written = 0;
    if (rc == MPI_SUCCESS) MPI_Get_count(&status, MPI_FLOAT, &written);
    if (rc != MPI_SUCCESS || written != n) writeFailed_[f] = 1;
  }
}

void MpiOutputFiles::writeBytes(int f, std::int64_t at, const std::string& bytes) {
  const std::size_t i = std::size_t(f);
  for (std::int64_t from = 0; from < std::int64_t(bytes.size()); from += kWriteRound) {
    const std::int64_t n = std::min<std::int64_t>(std::int64_t(bytes.size()) - from, kWriteRound);
    MPI_Status status;
    const int rc = MPI_File_write_at(file_[i], MPI_Offset(at + from), bytes.data() + from,
                                     static_cast<int>(n), MPI_BYTE, &status);
    int written = 0;
    if (rc == MPI_SUCCESS) MPI_Get_count(&status, MPI_BYTE, &written);
    if (rc != MPI_SUCCESS || written != n) writeFailed_[i] = 1;
  }
}

void MpiOutputFiles::closeAll(MpiRun& run) {
  bool failed = false;
  std::string message;
  for (std::size_t f = 0; f < file_.size(); ++f) {
    if (file_[f] != MPI_FILE_NULL && MPI_File_close(&file_[f]) != MPI_SUCCESS)
      writeFailed_[f] = 1;
    file_[f] = MPI_FILE_NULL;
    if (writeFailed_[f] != 0 && !failed) {
      failed = true;
      message = "Could not write output file " + name_[f];
    }
  }
  run.settle(failed, message);
}

void MpiOutputFiles::commit(MpiRun& run, const RunTexts& texts) {
  run.agree([&] {
    if (!run.root()) return;
    writeRunTexts(texts, local_);
    local_.commit();
  });
  run.forgetTemporaries();
}

}  // namespace wind
