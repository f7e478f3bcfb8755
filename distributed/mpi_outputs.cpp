#include "distributed/mpi_outputs.hpp"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <system_error>
#include <vector>

#include "vorlan/run_record.hpp"
#include "vorlan/temporary_file.hpp"

namespace wind {

namespace {

namespace fs = std::filesystem;

// The name exists and is not a regular file (a device, a pipe).
bool specialFile(const std::string& name) {
  std::error_code ec;
  const fs::file_status st = fs::status(name, ec);
  return fs::exists(st) && !fs::is_regular_file(st);
}

// Rank 0's string on every rank.
void broadcast(MPI_Comm comm, std::string& s) {
  std::int64_t length = std::int64_t(s.size());
  MPI_Bcast(&length, 1, MPI_INT64_T, 0, comm);
  s.resize(std::size_t(length));
  MPI_Bcast(s.data(), static_cast<int>(length), MPI_CHAR, 0, comm);
}

// Writes text to the (new, empty) file temp; false on any failure.
bool writeText(const std::string& temp, const std::string& text) {
  std::FILE* f = std::fopen(temp.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace

bool commitTemporary(const std::string& temp, const std::string& name) {
  std::error_code ec;
  fs::rename(temp, name, ec);
  return !ec;
}

MpiOutputFiles::~MpiOutputFiles() {
  for (MPI_File& f : file_)
    if (f != MPI_FILE_NULL) MPI_File_close(&f);
}

void MpiOutputFiles::create(MpiRun& run, const SimulationInput& in, std::ostream& echo) {
  count_ = in.nComp;
  run.agree([&] {
    if (!run.root()) return;
    for (int c = 0; c < count_; ++c) {
      name_[c] = in.fname[c];
      temp_[c].clear();
      if (specialFile(name_[c])) continue;
      temp_[c] = createTemporaryBeside(name_[c]);
      if (temp_[c].empty()) {
        echo << name_[c];
        echo.flush();
        fatalError("Could not open output file");
      }
      run.addTemporary(temp_[c]);
    }
  });
  bool failed = false;
  std::string message;
  for (int c = 0; c < count_; ++c) {
    name_[c] = in.fname[c];
    broadcast(run.comm(), temp_[c]);
    if (!run.root() && !temp_[c].empty()) run.addTemporary(temp_[c]);
    const std::string& target = temp_[c].empty() ? name_[c] : temp_[c];
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

void MpiOutputFiles::commit(MpiRun& run, const SimulationInput& in,
                            const std::string& recordText) {
  std::string recordTemp;
  const std::string record = runRecordName(in);
  run.agree([&] {
    if (!run.root() || !writesRunRecord(in)) return;
    recordTemp = createTemporaryBeside(record);
    if (recordTemp.empty()) fatalError("Could not write the run record " + record);
    run.addTemporary(recordTemp);
    if (!writeText(recordTemp, recordText)) fatalError("Could not write the run record " + record);
  });
  run.agree([&] {
    if (!run.root()) return;
    for (int c = 0; c < count_; ++c)
      if (!temp_[c].empty() && !commitTemporary(temp_[c], name_[c]))
        fatalError("Could not rename " + temp_[c] + " to " + name_[c]);
    if (!recordTemp.empty() && !commitTemporary(recordTemp, record))
      fatalError("Could not rename " + recordTemp + " to " + record);
  });
  run.forgetTemporaries();
}

}  // namespace wind
