#include "simulation/output_files.hpp"

#include <bit>
#include <filesystem>
#include <system_error>
#include <ostream>

#include "support/fatal_error.hpp"

namespace wind {

// The files hold the floats' memory image; that is the little-endian IEEE-754
// layout they promise only on a little-endian machine.
static_assert(std::endian::native == std::endian::little,
              "field files are written as the little-endian memory image of the floats");
static_assert(sizeof(float) == 4, "field files hold 4-byte floats");

namespace fs = std::filesystem;

fs::path resolvedPath(const std::string& name) {
  const fs::path p(name);
  const fs::path last = p.filename();
  std::error_code ec;
  if (!last.empty() && last != "." && last != "..") {
    const fs::path folder = p.has_parent_path() ? p.parent_path() : fs::path(".");
    const fs::path real = fs::canonical(folder, ec);
    if (!ec) return real / last;
  }
  ec.clear();
  const fs::path a = fs::absolute(p, ec);
  return ec ? p.lexically_normal() : a.lexically_normal();
}

bool sameFile(const std::string& a, const std::string& b) {
  // A device such as /dev/null keeps nothing that a second writer could destroy.
  std::error_code ec;
  if (fs::is_character_file(fs::path(a), ec)) return false;
  if (resolvedPath(a) == resolvedPath(b)) return true;
  // Hard links and bind mounts: only files that exist can be one file.
  return fs::equivalent(fs::path(a), fs::path(b), ec) && !ec;
}

std::string absoluteName(const std::string& name) {
  const fs::path p(name);
  for (const fs::path& part : p)
    if (part == "..") return resolvedPath(name).string();
  return fs::absolute(p).lexically_normal().string();
}

std::string relativeName(const std::string& name, const std::string& from) {
  return resolvedPath(name).lexically_relative(resolvedPath(from).parent_path()).string();
}

bool isDeviceOrPipe(const std::string& name) {
  std::error_code ec;
  const fs::file_status st = fs::status(fs::path(name), ec);
  return fs::exists(st) && !fs::is_regular_file(st) && !fs::is_directory(st);
}

void refuseDerivedName(const std::string& output, const std::string& derived) {
  fatalError("The output " + output + " is no file (a device or a pipe), and " + derived +
             " would be named after it: give a file name in its place");
}

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

PendingOutput& OutputFiles::createOrEnd(const std::string& name, const std::string& label,
                                       PendingOutput::Role role, std::ostream& echo) {
  std::string reason;
  PendingOutput* o = set_.tryCreate(name, label, reason, role);
  if (o == nullptr) {
    // The name ends the echo's line, and the report says why.
    echo << name << "\n";
    echo.flush();
    fatalError("Could not open " + label + " " + name + ": " + reason);
  }
  return *o;
}

void OutputFiles::create(int c, const std::string& name, std::ostream& echo) {
  file_[c] = &createOrEnd(name, "output file", PendingOutput::Role::data, echo);
}

const PendingOutput& OutputFiles::createRecord(const std::string& name) {
  record_ = &set_.create(name, "the run record", PendingOutput::Role::description);
  return *record_;
}

PendingOutput& OutputFiles::add(const std::string& name, const std::string& label,
                               PendingOutput::Role role, std::ostream& echo) {
  extra_.push_back(&createOrEnd(name, label, role, echo));
  return *extra_.back();
}

PendingOutput* OutputFiles::extra(const std::string& name) {
  for (PendingOutput* o : extra_)
    if (o->name() == name) return o;
  return nullptr;
}

void OutputFiles::write(int c, const float* data, std::int64_t count) {
  file_[c]->write(data, sizeof(float), static_cast<std::size_t>(count));
}

}  // namespace wind
