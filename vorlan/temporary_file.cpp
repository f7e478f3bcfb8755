#include "vorlan/temporary_file.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

namespace wind {

namespace {

// Attempts at a free name before giving up.
constexpr int kTemporaryAttempts = 100;

}  // namespace

std::string createTemporaryBeside(const std::string& name) {
  namespace fs = std::filesystem;
  const fs::path target(name);
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  for (int attempt = 0; attempt < kTemporaryAttempts; ++attempt) {
    std::string hidden(1, '.');
    hidden += target.filename().string();
    hidden += '.';
    hidden += std::to_string(::getpid());
    hidden += '.';
    hidden += std::to_string(attempt);
    hidden += ".tmp";
    const std::string temp = (folder / hidden).string();
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (fd >= 0) {
      ::close(fd);
      return temp;
    }
    if (errno != EEXIST) break;
  }
  return {};
}

}  // namespace wind
