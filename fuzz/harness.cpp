#include "fuzz/harness.hpp"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

// Makes the scratch folder, copies the example terrain file into it and makes
// it the working folder, once, before the first input.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
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
  return 0;
}
