#include "vorlan/output_files.hpp"

#include <bit>
#include <ostream>

#include "numerics/fatal_error.hpp"

namespace wind {

// The files hold the floats' memory image; that is the little-endian IEEE-754
// layout they promise only on a little-endian machine.
static_assert(std::endian::native == std::endian::little,
              "field files are written as the little-endian memory image of the floats");
static_assert(sizeof(float) == 4, "field files hold 4-byte floats");

OutputFiles::~OutputFiles() {
  for (std::FILE*& f : file_)
    if (f != nullptr) {
      std::fclose(f);
      f = nullptr;
    }
}

void OutputFiles::create(int c, const std::string& name, std::ostream& echo) {
  std::FILE* f = std::fopen(name.c_str(), "wb");
  if (f == nullptr) {
    echo << name;
    echo.flush();
    fatalError("Could not open output file");
  }
  file_[c] = f;
  name_[c] = name;
}

void OutputFiles::write(int c, const float* data, std::int64_t count) {
  const auto n = static_cast<std::size_t>(count);
  if (std::fwrite(data, sizeof(float), n, file_[c]) != n)
    fatalError("Could not write output file " + name_[c]);
}

void OutputFiles::closeAll() {
  for (int c = 0; c < 3; ++c) {
    if (file_[c] == nullptr) continue;
    const int status = std::fclose(file_[c]);
    file_[c] = nullptr;
    if (status != 0) fatalError("Could not close output file " + name_[c]);
  }
}

}  // namespace wind
