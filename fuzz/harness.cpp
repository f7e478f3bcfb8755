#include "fuzz/harness.hpp"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace wind::fuzz {

void enterScratchFolder() {
  namespace fs = std::filesystem;
  std::string pattern = (fs::temp_directory_path() / "wind-fuzz-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    std::perror("wind fuzz: mkdtemp");
    std::abort();
  }
  const fs::path scratch(pattern);
  fs::copy_file(fs::path(WIND_SOURCE_DIR) / "examples" / "terrain_hill.dat",
                scratch / "terrain_hill.dat");
  fs::current_path(scratch);
}

}  // namespace wind::fuzz
