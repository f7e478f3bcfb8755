#pragma once
// A temporary beside a file: the first step of writing a file that appears
// under its name only when it is whole (write the temporary, then rename it
// over the name, which replaces the name at once on POSIX file systems).
//
// createTemporaryBeside(name) creates a new, empty file in the same folder as
// name, ".<file name>.<pid>.<n>.tmp" with the first free n below 100,
// exclusively (O_EXCL) and with a new file's usual permissions (0666 less the
// umask), so that the rename keeps them. Returns its name, or "" when none can
// be created (a missing or unwritable folder); the caller reports. Touches
// nothing else; reentrant.
#include <string>

namespace wind {

std::string createTemporaryBeside(const std::string& name);

}  // namespace wind
