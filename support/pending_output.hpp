#pragma once
// Outputs that appear under their names only when the whole run has succeeded.
//
// A run opens each file it writes as a pending output of one PendingOutputs
// set (create), writes it through its FILE* or its std::ostream, and commits
// the set at the very end (commit): only then do the files appear under their
// final names, all of them, each complete. A run that fails before its commit
// (fatalError, an exception, a kill by SIGINT, SIGTERM, SIGHUP or SIGPIPE)
// leaves every file that was there as it was, and no file of its own.
//
// A pending output is a new file in the final name's own folder, so that the
// rename that commits it is atomic, named ".<final name>.<pid>.tmp" (a random
// part before ".tmp" when that name is taken) and created exclusively
// (O_EXCL), so it never replaces a file of anyone else. Its permissions are
// those of a new file (0666 less the umask), or the permission bits of the
// file it is to replace; the owner is the writer, and other hard links to a
// replaced file keep the old contents.
//
// Final names:
//   - a symbolic link is followed: the file it leads to is replaced, the link kept;
//   - a device, a pipe or a socket (/dev/null, a FIFO) is opened and written
//     directly, as an ordinary open would, with nothing to commit or undo;
//   - a folder, a file without write permission, a folder that does not exist
//     or cannot be written is refused at creation, before anything is written
//     (a writable file in a folder that is not: "Permission denied (its folder
//     cannot be written)", since the temporary goes beside it).
//
// Commit, in this order: every output is flushed and closed, checked (a
// failure ends the run with nothing renamed); the old file of each
// description is removed; the data outputs are renamed over their final
// names in the order they were created; the descriptions are renamed last. A
// description (a run record) is a file that describes the data files beside
// it: should the machine stop in the middle of a commit, the folder holds the
// old description with the old files, no description with a mix of old and
// new files, or the new description with the new files, never a description
// of files that are not there. A rename that fails (the folder made read-only
// meanwhile) ends the run naming the file; those renamed before it stay.
// Nothing is forced to the disk (no fsync).
//
// Failure paths remove every temporary: abandon() and the destructor of an
// uncommitted set (fatalError with a throwing handler, exceptions); an exit
// handler (fatalError's default report ends in std::exit); and a handler of
// SIGINT, SIGTERM, SIGHUP and SIGPIPE, installed with the first pending file
// where that signal has its default action (an ignored signal stays ignored),
// which removes the temporaries and then dies of the same signal with its
// default action, so the exit status still says "killed by signal".
//
// Process-wide state: the registry of the temporaries that exist, which the
// signal handler must reach without allocating. It is a fixed table of
// kMaxPendingFiles paths of at most kMaxPendingPath bytes, guarded by atomic
// slot states (lock-free, so the handler may run on any thread, even while
// another registers a file). It is the one mutable global the design cannot
// avoid; nothing else here is shared. More pending files at once than the
// table holds are refused at creation ("Too many open files"). A child made
// by fork inherits the table: it ends with _exit, not std::exit, while the
// parent has pending files.
//
// Messages (label, e.g. "output file", names the kind of file):
//   "Could not open <label> <name>: <reason>"     creation (create, not tryCreate)
//   "Could not write <label> <name>: <reason>"    write(), a failed flush, a rename
//   "Could not close <label> <name>: <reason>"    a failed close
// where reason is the system's text ("No such file or directory", "Is a
// directory", "Permission denied", "No space left on device").
//
// A set belongs to one thread; sets on different threads are independent.
// Creating allocates; writing does not beyond the stream's own buffer.

#include <cstddef>
#include <cstdio>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

namespace wind {

// The registry's size (see above).
inline constexpr int kMaxPendingFiles = 64;
inline constexpr std::size_t kMaxPendingPath = 4096;

class PendingOutput {
 public:
  enum class Role {
    data,         // renamed in creation order
    description,  // describes the data files: its old file goes first, it comes last
  };

  PendingOutput(const PendingOutput&) = delete;
  PendingOutput& operator=(const PendingOutput&) = delete;
  ~PendingOutput();

  // The final name as given.
  const std::string& name() const { return name_; }
  // Whether the final name is written directly (a device or a pipe).
  bool direct() const { return temp_.empty(); }
  // The file being written: the temporary, or the final name when direct.
  // Another writer (another process of the same run, through MPI-IO, say) may
  // write it too; the commit renames whatever it then holds.
  const std::string& path() const { return direct() ? name_ : temp_; }

  // The open file, binary and buffered; valid until the commit. Failed writes
  // through it show at the commit ("Could not write ...").
  std::FILE* file() { return file_; }
  // The same file as a stream (unformatted and formatted output both go to file()).
  std::ostream& stream() { return stream_; }

  // Appends count items of size bytes; a short write ends the run through
  // fatalError ("Could not write <label> <name>: <reason>").
  void write(const void* data, std::size_t size, std::size_t count);

 private:
  friend class PendingOutputs;

  // The stream's buffer: every character goes straight to the FILE*, which buffers.
  class FileBuffer : public std::streambuf {
   public:
    explicit FileBuffer(PendingOutput& owner) : owner_(owner) {}

   protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* s, std::streamsize n) override;

   private:
    PendingOutput& owner_;
  };

  PendingOutput(std::string name, std::string label, Role role);
  [[noreturn]] void fail(const char* verb, int error) const;
  void finish();       // flush and close, checked
  void discard() noexcept;

  std::string name_, label_;
  Role role_;
  std::string target_;  // the file to replace (name_ with symbolic links followed)
  std::string temp_;    // empty: written directly
  int slot_ = -1;       // the registry slot of temp_
  std::FILE* file_ = nullptr;
  int writeError_ = 0;  // errno of the first failed write through the stream
  FileBuffer buffer_{*this};
  std::ostream stream_{&buffer_};
};

class PendingOutputs {
 public:
  PendingOutputs() = default;
  PendingOutputs(const PendingOutputs&) = delete;
  PendingOutputs& operator=(const PendingOutputs&) = delete;
  ~PendingOutputs();  // abandons what was not committed

  // The pending output of finalName, or nullptr with reason set (the system's
  // text) when it cannot be created; nothing on disk changes then.
  PendingOutput* tryCreate(const std::string& finalName, const std::string& label,
                           std::string& reason,
                           PendingOutput::Role role = PendingOutput::Role::data);

  // The same; failure ends the run: "Could not open <label> <finalName>: <reason>".
  PendingOutput& create(const std::string& finalName, const std::string& label,
                        PendingOutput::Role role = PendingOutput::Role::data);

  // Puts every output under its final name (order and failures above). The
  // set is empty afterwards and can take new outputs.
  void commit();

  // Closes every output and removes every temporary; the final names are
  // untouched. Never fails.
  void abandon() noexcept;

  // The temporaries of the outputs not yet committed (none for those written
  // directly), in creation order.
  std::vector<std::string> temporaries() const;

 private:
  std::vector<std::unique_ptr<PendingOutput>> outputs_;
};

namespace detail {
// The temporary's name for the final file `base` in `folder` (attempt 0:
// ".<base>.<pid>.tmp"; later attempts add a random part), with base cut so
// that the name stays within the 255 bytes a folder entry may have.
std::string temporaryName(const std::string& folder, const std::string& base, long pid,
                          int attempt);
}  // namespace detail

}  // namespace wind
