#include "support/pending_output.hpp"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "support/fatal_error.hpp"

namespace wind {

namespace {

// ---- The registry of existing temporaries (the one process-wide state) ----
//
// A slot is free, being filled (its owner has claimed it and is creating the
// file, with the handled signals blocked on its own thread), or held (its path
// names a temporary of this process). Removal reads only held slots; a slot
// being filled is waited for, which ends quickly since its owner cannot be the
// interrupted thread. The owner checks `dying` after publishing its slot: with
// sequentially consistent atomics either the handler sees the slot held or
// the owner sees `dying` set, so a file created while the process is being
// killed is removed by one of them.
enum SlotState : int { kFree, kFilling, kHeld };

struct Slot {
  std::atomic<int> state{kFree};
  char path[kMaxPendingPath] = {};
};

constinit Slot registry[kMaxPendingFiles];
constinit std::atomic<bool> dying{false};

constexpr int kHandledSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

// Async-signal-safe: atomic loads and unlink only.
void removeRegistered() noexcept {
  for (Slot& s : registry) {
    int state = s.state.load();
    while (state == kFilling) state = s.state.load();
    if (state == kHeld) ::unlink(s.path);
  }
}

extern "C" void removeRegisteredAtExit() { removeRegistered(); }

// Removes the temporaries, then dies of the same signal with its default
// action: the signal stays blocked until the handler returns, then kills.
extern "C" void removeTemporariesAndDie(int sig) {
  dying.store(true);
  removeRegistered();
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  ::sigaction(sig, &action, nullptr);
  ::raise(sig);
}

sigset_t handledSet() {
  sigset_t set;
  sigemptyset(&set);
  for (const int sig : kHandledSignals) sigaddset(&set, sig);
  return set;
}

// The exit handler and the signal handlers, once per process; a signal that
// is ignored or has a handler of the host program keeps it.
void installHandlers() {
  static std::once_flag once;
  std::call_once(once, [] {
    std::atexit(removeRegisteredAtExit);
    for (const int sig : kHandledSignals) {
      struct sigaction old {};
      if (::sigaction(sig, nullptr, &old) != 0) continue;
      if ((old.sa_flags & SA_SIGINFO) != 0 || old.sa_handler != SIG_DFL) continue;
      struct sigaction action {};
      action.sa_handler = removeTemporariesAndDie;
      action.sa_mask = handledSet();
      ::sigaction(sig, &action, nullptr);
    }
  });
}

// The handled signals blocked on this thread for the lifetime of a scope.
class HandledSignalsBlocked {
 public:
  HandledSignalsBlocked() {
    const sigset_t set = handledSet();
    ::pthread_sigmask(SIG_BLOCK, &set, &old_);
  }
  ~HandledSignalsBlocked() { ::pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
  HandledSignalsBlocked(const HandledSignalsBlocked&) = delete;
  HandledSignalsBlocked& operator=(const HandledSignalsBlocked&) = delete;

 private:
  sigset_t old_;
};

int claimSlot() {
  for (int i = 0; i < kMaxPendingFiles; ++i) {
    int expected = kFree;
    if (registry[i].state.compare_exchange_strong(expected, kFilling)) return i;
  }
  return -1;
}

// ---- Names ----

// name with the symbolic links in its last place followed (as many as the
// kernel follows); false with the error when a link cannot be read.
bool followLinks(const std::string& name, std::string& target, int& error) {
  constexpr int kMaxLinks = 40;
  target = name;
  for (int hop = 0; hop < kMaxLinks; ++hop) {
    struct stat st {};
    if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
    std::string link(kMaxPendingPath, '\0');
    const ssize_t n = ::readlink(target.c_str(), link.data(), link.size());
    if (n < 0 || std::size_t(n) >= link.size()) {
      error = n < 0 ? errno : ENAMETOOLONG;
      return false;
    }
    link.resize(std::size_t(n));
    const std::size_t slash = target.rfind('/');
    if (link.front() != '/' && slash != std::string::npos)
      link.insert(0, target, 0, slash + 1);  // relative to the link's own folder
    target = link;
  }
  error = ELOOP;
  return false;
}

std::uint64_t mixBits(std::uint64_t x) {  // splitmix64's finaliser
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

std::string systemText(int error) { return std::strerror(error); }

}  // namespace

namespace detail {

std::string temporaryName(const std::string& folder, const std::string& base, long pid,
                          int attempt) {
  constexpr std::size_t kMaxEntry = 255, kMaxBase = 200;
  std::string name = folder + "." + base.substr(0, kMaxBase) + "." + std::to_string(pid);
  if (attempt > 0) {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const std::uint64_t bits = mixBits(std::uint64_t(now.tv_nsec) ^
                                       (std::uint64_t(now.tv_sec) << 30) ^
                                       (std::uint64_t(attempt) << 56));
    static constexpr char kHex[] = "0123456789abcdef";
    name += '.';
    for (int i = 0; i < 8; ++i) name += kHex[(bits >> (4 * i)) & 0xF];
  }
  name += ".tmp";
  static_assert(kMaxBase + 40 < kMaxEntry, "the temporary's name fits a folder entry");
  return name;
}

}  // namespace detail

// ---- PendingOutput ----

PendingOutput::PendingOutput(std::string name, std::string label, Role role)
    : name_(std::move(name)), label_(std::move(label)), role_(role) {}

PendingOutput::~PendingOutput() { discard(); }

PendingOutput::FileBuffer::int_type PendingOutput::FileBuffer::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  const char ch = traits_type::to_char_type(c);
  return xsputn(&ch, 1) == 1 ? c : traits_type::eof();
}

std::streamsize PendingOutput::FileBuffer::xsputn(const char* s, std::streamsize n) {
  const std::size_t done = std::fwrite(s, 1, std::size_t(n), owner_.file_);
  if (done != std::size_t(n) && owner_.writeError_ == 0) owner_.writeError_ = errno ? errno : EIO;
  return std::streamsize(done);
}

void PendingOutput::fail(const char* verb, int error) const {
  fatalError(std::string("Could not ") + verb + " " + (label_.empty() ? "" : label_ + " ") +
             name_ + ": " + systemText(error));
}

void PendingOutput::write(const void* data, std::size_t size, std::size_t count) {
  if (std::fwrite(data, size, count, file_) != count) fail("write", errno ? errno : EIO);
}

void PendingOutput::finish() {
  if (file_ == nullptr) return;
  const int flushError = std::fflush(file_) != 0 ? (errno ? errno : EIO) : 0;
  if (writeError_ != 0) fail("write", writeError_);
  if (flushError != 0) fail("write", flushError);
  if (std::ferror(file_)) fail("write", EIO);
  std::FILE* f = file_;
  file_ = nullptr;
  if (std::fclose(f) != 0) fail("close", errno ? errno : EIO);
}

void PendingOutput::discard() noexcept {
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
  }
  if (slot_ >= 0) {
    ::unlink(temp_.c_str());
    registry[slot_].state.store(kFree);
    slot_ = -1;
  }
}

// ---- PendingOutputs ----

PendingOutputs::~PendingOutputs() { abandon(); }

PendingOutput* PendingOutputs::tryCreate(const std::string& finalName, const std::string& label,
                                         std::string& reason, PendingOutput::Role role) {
  std::unique_ptr<PendingOutput> out(new PendingOutput(finalName, label, role));
  const auto failed = [&reason](int error) -> PendingOutput* {
    reason = systemText(error);
    return nullptr;
  };
  int error = 0;
  if (!followLinks(finalName, out->target_, error)) return failed(error);
  const std::string& target = out->target_;

  struct stat st {};
  bool replacing = false;
  if (::stat(target.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return failed(EISDIR);
    if (!S_ISREG(st.st_mode)) {  // a device or a pipe: written in place
      out->file_ = std::fopen(finalName.c_str(), "wb");
      if (out->file_ == nullptr) return failed(errno);
      outputs_.push_back(std::move(out));
      return outputs_.back().get();
    }
    if (::access(target.c_str(), W_OK) != 0) return failed(errno);
    replacing = true;
  } else if (errno != ENOENT) {
    return failed(errno);
  }

  const std::size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  const std::string base = target.substr(folder.size());
  if (base.empty() || base == "." || base == "..") return failed(EISDIR);

  installHandlers();
  int fd = -1;
  {
    const HandledSignalsBlocked blocked;
    // A slot being filled holds up the exit path and the signal handler: it
    // is given back (with any file it made) on every way out of this block,
    // an exception from the names' allocations included, but the hand-over.
    struct SlotClaim {
      int slot;
      int fd = -1;
      bool held = false;
      ~SlotClaim() {
        if (slot < 0 || held) return;
        if (fd >= 0) {
          ::close(fd);
          ::unlink(registry[slot].path);
        }
        registry[slot].state.store(kFree);
      }
    } claim{claimSlot()};
    const int slot = claim.slot;
    if (slot < 0) return failed(EMFILE);
    constexpr int kAttempts = 100;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
      const std::string temp = detail::temporaryName(folder, base, long(::getpid()), attempt);
      if (temp.size() >= kMaxPendingPath) {
        error = ENAMETOOLONG;
        break;
      }
      std::memcpy(registry[slot].path, temp.c_str(), temp.size() + 1);
      fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      error = fd < 0 ? errno : 0;
      claim.fd = fd;
      if (fd >= 0 || error != EEXIST) {
        out->temp_ = temp;
        break;
      }
    }
    if (fd < 0) {
      failed(error);
      // A writable file in a folder that is not: the temporary needs the folder.
      if (error == EACCES) reason += " (its folder cannot be written)";
      return nullptr;
    }
    registry[slot].state.store(kHeld);
    claim.held = true;
    out->slot_ = slot;
    if (dying.load()) ::unlink(registry[slot].path);  // the handler may have passed this slot
  }
  // The permission bits of the file it replaces (best effort: the owner's own
  // bits always allow writing it, as access() said).
  if (replacing) ::fchmod(fd, st.st_mode & 0777);
  out->file_ = ::fdopen(fd, "wb");
  if (out->file_ == nullptr) {
    error = errno;
    ::close(fd);
    return failed(error);  // out's destructor removes the temporary
  }
  outputs_.push_back(std::move(out));
  return outputs_.back().get();
}

PendingOutput& PendingOutputs::create(const std::string& finalName, const std::string& label,
                                      PendingOutput::Role role) {
  std::string reason;
  PendingOutput* out = tryCreate(finalName, label, reason, role);
  if (out == nullptr)
    fatalError("Could not open " + (label.empty() ? "" : label + " ") + finalName + ": " + reason);
  return *out;
}

void PendingOutputs::commit() {
  using Role = PendingOutput::Role;
  for (auto& o : outputs_) o->finish();
  for (auto& o : outputs_)
    if (o->role_ == Role::description && !o->direct() && ::unlink(o->target_.c_str()) != 0 &&
        errno != ENOENT)
      o->fail("write", errno);
  for (const Role role : {Role::data, Role::description})
    for (auto& o : outputs_) {
      if (o->role_ != role || o->direct()) continue;
      if (::rename(o->temp_.c_str(), o->target_.c_str()) != 0) o->fail("write", errno);
      registry[o->slot_].state.store(kFree);
      o->slot_ = -1;
    }
  outputs_.clear();
}

std::vector<std::string> PendingOutputs::temporaries() const {
  std::vector<std::string> paths;
  for (const std::unique_ptr<PendingOutput>& o : outputs_)
    if (!o->direct()) paths.push_back(o->path());
  return paths;
}

void PendingOutputs::abandon() noexcept {
  for (auto& o : outputs_) o->discard();
  outputs_.clear();
}

}  // namespace wind
