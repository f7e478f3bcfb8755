#include "vorlan/output_files.hpp"

#include <bit>
#include <filesystem>
#include <system_error>
#include <ostream>

#include "numerics/fatal_error.hpp"

namespace wind {

// The files hold the floats' memory image; that is the little-endian IEEE-754
// layout they promise only on a little-endian machine.
static_assert(std::endian::native == std::endian::little,
              "field files are written as the little-endian memory image of the floats");
static_assert(sizeof(float) == 4, "field files hold 4-byte floats");

namespace {

namespace fs = std::filesystem;

// What a name resolves to, without touching the disk beyond looking. A name
// that cannot be resolved (too long, a forbidden folder) keeps its absolute,
// lexically normal form: creating it fails later with its own message.
fs::path resolved(const std::string& name) {
  std::error_code ec;
  fs::path p = fs::weakly_canonical(fs::path(name), ec);
  if (ec) {
    ec.clear();
    p = fs::absolute(fs::path(name), ec).lexically_normal();
    if (ec) p = fs::path(name).lexically_normal();
  }
  return p;
}

bool sameFile(const std::string& a, const std::string& b) {
  // A device such as /dev/null keeps nothing that a second writer could destroy.
  std::error_code ec;
  if (fs::is_character_file(fs::path(a), ec)) return false;
  if (resolved(a) == resolved(b)) return true;
  // Hard links and bind mounts: only files that exist can be one file.
  return fs::equivalent(fs::path(a), fs::path(b), ec) && !ec;
}

}  // namespace

bool namesSameFile(const std::string& a, const std::string& b) { return sameFile(a, b); }

void checkOutputNames(const std::string* names, int n, const std::string& inputFile,
                      const std::string& terrainFile) {
  for (int c = 0; c < n; ++c) {
    if (sameFile(names[c], inputFile))
      fatalError("The output file " + names[c] + " is the parameter file " + inputFile);
    if (!terrainFile.empty() && sameFile(names[c], terrainFile))
      fatalError("The output file " + names[c] + " is the terrain file " + terrainFile);
    for (int b = 0; b < c; ++b)
      if (sameFile(names[b], names[c]))
        fatalError("The output files " + names[b] + " and " + names[c] + " are the same file");
  }
}

void checkRecordName(const std::string& record, const std::string* names, int n,
                     const std::string& inputFile, const std::string& terrainFile) {
  for (int c = 0; c < n; ++c)
    if (sameFile(record, names[c]))
      fatalError("The run record " + record + " would overwrite the output file " + names[c]);
  if (sameFile(record, inputFile))
    fatalError("The run record " + record + " would overwrite the parameter file " + inputFile);
  if (!terrainFile.empty() && sameFile(record, terrainFile))
    fatalError("The run record " + record + " would overwrite the terrain file " + terrainFile);
}

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
