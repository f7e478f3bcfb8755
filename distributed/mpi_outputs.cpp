#include "distributed/mpi_outputs.hpp"

#include <algorithm>
#include <ostream>

#include "record/run_record.hpp"
#include "record/run_summary.hpp"

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

void MpiOutputFiles::create(MpiRun& run, const SimulationInput& in, std::ostream& echo) {
  count_ = in.nComp;
  run.agree([&] {
    if (!run.root()) return;
    for (int c = 0; c < count_; ++c) {
      local_.create(c, in.fname[c], echo);
      const PendingOutput& o = local_.file(c);
      path_[c] = o.direct() ? std::string() : o.path();
    }
    if (writesRunRecord(in)) {
      // Removed with the field files' temporaries should the run abort.
      const PendingOutput& record = local_.createRecord(runRecordName(in));
      if (!record.direct()) run.addTemporary(record.path());
    }
    if (writesRunSummary(in)) {
      const PendingOutput& summary = local_.add(runSummaryName(in), "run summary",
                                                PendingOutput::Role::description, echo);
      if (!summary.direct()) run.addTemporary(summary.path());
    }
  });
  bool failed = false;
  std::string message;
  for (int c = 0; c < count_; ++c) {
    name_[c] = in.fname[c];
    broadcast(run.comm(), path_[c]);  // empty: the name itself, written directly
    if (!path_[c].empty()) run.addTemporary(path_[c]);
    const std::string& target = path_[c].empty() ? name_[c] : path_[c];
    writeFailed_[c] = false;
    if (MPI_File_open(run.comm(), target.c_str(), MPI_MODE_WRONLY, MPI_INFO_NULL, &file_[c]) !=
        MPI_SUCCESS) {
      file_[c] = MPI_FILE_NULL;
      if (!failed) message = "Could not open output file " + name_[c];
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
  std::int64_t rounds = (count + kWriteRound - 1) / kWriteRound, most = 0;
  MPI_Allreduce(&rounds, &most, 1, MPI_INT64_T, MPI_MAX, run.comm());
  for (std::int64_t r = 0; r < most; ++r) {
    const std::int64_t from = r * kWriteRound;
    const std::int64_t n = std::clamp<std::int64_t>(count - from, 0, kWriteRound);
    const MPI_Offset offset = MPI_Offset(at + (n > 0 ? from : 0)) * MPI_Offset(sizeof(float));
    MPI_Status status;
    const int rc = MPI_File_write_at_all(file_[c], offset, n > 0 ? data + from : data,
                                         static_cast<int>(n), MPI_FLOAT, &status);
    int written = 0;
    if (rc == MPI_SUCCESS) MPI_Get_count(&status, MPI_FLOAT, &written);
    if (rc != MPI_SUCCESS || written != n) writeFailed_[c] = true;
  }
}

void MpiOutputFiles::closeAll(MpiRun& run) {
  bool failed = false;
  std::string message;
  for (int c = 0; c < count_; ++c) {
    if (file_[c] != MPI_FILE_NULL && MPI_File_close(&file_[c]) != MPI_SUCCESS)
      writeFailed_[c] = true;
    file_[c] = MPI_FILE_NULL;
    if (writeFailed_[c] && !failed) {
      failed = true;
      message = "Could not write output file " + name_[c];
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
