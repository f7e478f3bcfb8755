#include "support/input_file.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "support/fatal_error.hpp"

namespace wind {

std::ifstream openInputFile(const std::string& name, const std::string& failure,
                            const std::string& hint) {
  int error = 0;
  struct stat st {};
  if (::stat(name.c_str(), &st) != 0) {
    error = errno;
  } else if (S_ISDIR(st.st_mode)) {
    error = EISDIR;
  }
  std::ifstream in;
  if (error == 0) {
    errno = 0;
    in.open(name);  // the stream's open sets errno as the system's does
    if (!in) error = errno != 0 ? errno : EIO;
  }
  if (error != 0) fatalError(failure + ": " + name + ": " + std::strerror(error) + hint);
  return in;
}

}  // namespace wind
