#include "distributed/mpi_run.hpp"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace wind {

namespace {

// The run the fatal handler reports for (see the header).
std::atomic<MpiRun*> activeRun{nullptr};

}  // namespace

MpiRun::MpiRun(MPI_Comm comm) : comm_(comm) {
  MPI_Comm_rank(comm_, &rank_);
  MPI_Comm_size(comm_, &size_);
  activeRun.store(this);
  previous_ = setFatalHandler(abortHandler);
}

MpiRun::~MpiRun() {
  setFatalHandler(previous_);
  activeRun.store(nullptr);
}

void MpiRun::abortHandler(const char* message) {
  printFatalReport(message);
  if (MpiRun* run = activeRun.load()) {
    run->removeTemporaries();
    MPI_Abort(run->comm_, 1);
  }
  std::_Exit(1);
}

void MpiRun::settle(bool failed, const std::string& message) {
  // The lowest failing rank, or size when none failed.
  const int mine = failed ? rank_ : size_;
  int first = size_;
  MPI_Allreduce(&mine, &first, 1, MPI_INT, MPI_MIN, comm_);
  if (first == size_) return;
  std::string report = message;
  if (first != 0) {
    if (rank_ == first) {
      MPI_Send(message.data(), static_cast<int>(message.size()), MPI_CHAR, 0, 0, comm_);
    } else if (rank_ == 0) {
      MPI_Status status;
      MPI_Probe(first, 0, comm_, &status);
      int length = 0;
      MPI_Get_count(&status, MPI_CHAR, &length);
      report.assign(std::size_t(length), ' ');
      MPI_Recv(report.data(), length, MPI_CHAR, first, 0, comm_, MPI_STATUS_IGNORE);
    }
  }
  fail(report);
}

void MpiRun::fail(const std::string& message) {
  // Rank 0 cleans up and reports before any rank exits: the launcher ends
  // the whole job as soon as one process exits with a failure.
  if (rank_ == 0) {
    removeTemporaries();
    printFatalReport(message.c_str());
  }
  MPI_Barrier(comm_);
  setFatalHandler(previous_);
  activeRun.store(nullptr);
  MPI_Finalize();
  std::exit(1);
}

void MpiRun::addTemporary(const std::string& name) { temporaries_.push_back(name); }

void MpiRun::forgetTemporaries() { temporaries_.clear(); }

void MpiRun::removeTemporaries() const {
  for (const std::string& name : temporaries_) {
    std::error_code ec;
    std::filesystem::remove(name, ec);
  }
}

}  // namespace wind
