#pragma once
// One run across the processes of an MPI communicator that ends together:
// every rank reaches the same verdict on every step before the next
// collective, so no rank is left waiting in a collective that another has
// left.
//
// agree(step) runs step on every rank with the throwing fatal handler
// (support/fatal_error.hpp) and then agrees on the outcome (MPI_Allreduce):
// when step succeeded everywhere it returns on every rank; when it failed on
// one or more, the run ends on all of them through fail() with the message of
// the lowest failing rank. A step is expected to fail the same way on every
// rank (a bad parameter file) or on one (a file that only rank 0 creates, an
// allocation beyond one process's memory); either way the report is printed
// once. Steps must not enter collectives of comm themselves (a failing rank
// would leave the others there); the steps run by the calling thread, and
// fatal errors inside OpenMP teams must be carried out of them (as the
// engines do).
//
// fail(message), collective: rank 0 removes the temporaries and prints the
// three-line fatal report, then (after a barrier, so that the launcher cannot
// end rank 0 before it has reported) every rank ends MPI and exits with
// status 1.
//
// Unexpected failures outside agree (inside the collective steps of the
// transforms or the writes, where ranks cannot wait for each other's
// verdict): while the MpiRun exists its fatal handler prints the report,
// removes this rank's known temporaries and calls MPI_Abort(comm, 1), which
// ends every rank. The handler finds the run through one process-wide pointer
// (set by the constructor, cleared by the destructor): the fatal path has no
// other way in, as a handler is a plain function. One MpiRun per process at a
// time.
//
// Temporaries: names of files that must not outlive a failed run (the
// outputs' temporaries before their rename). Every rank may register them;
// they are removed by rank 0 in fail() and by any rank in the abort handler
// (a missing file is no error).
#include <mpi.h>

#include <string>
#include <vector>

#include "support/fatal_error.hpp"

namespace wind {

class MpiRun {
 public:
  explicit MpiRun(MPI_Comm comm);
  ~MpiRun();
  MpiRun(const MpiRun&) = delete;
  MpiRun& operator=(const MpiRun&) = delete;

  MPI_Comm comm() const { return comm_; }
  int rank() const { return rank_; }
  int size() const { return size_; }
  bool root() const { return rank_ == 0; }

  template <class Step>
  void agree(Step&& step) {
    std::string message;
    bool failed = false;
    {
      const ScopedFatalHandler handler(throwFatalError);
      try {
        step();
      } catch (const FatalError& e) {
        failed = true;
        message = e.what();
      } catch (const std::bad_alloc&) {
        failed = true;
        message = "allocation failure (out of memory)";
      }
    }
    settle(failed, message);
  }

  // Agrees on a verdict reached outside a step: ends the run everywhere
  // (fail) with the message of the lowest rank that failed, if any did.
  void settle(bool failed, const std::string& message);

  [[noreturn]] void fail(const std::string& message);

  void addTemporary(const std::string& name);
  void forgetTemporaries();
  void removeTemporaries() const;

 private:
  static void abortHandler(const char* message);

  MPI_Comm comm_;
  int rank_ = 0, size_ = 1;
  std::vector<std::string> temporaries_;
  FatalHandler previous_ = nullptr;
};

}  // namespace wind
