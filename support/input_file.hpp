#pragma once
// Opening a program's input file, with a report that says which file and why.
//
// openInputFile(name, failure) returns the file opened for reading, or ends
// the run through fatalError with "<failure>: <name>: <reason>", the reason
// being the system's text: "No such file or directory", "Is a directory",
// "Permission denied", ... (a folder opens on this system but reads nothing,
// so it is refused here by name). A hint, when given, follows the reason
// (what the caller knows of how the name was chosen).
#include <fstream>
#include <string>

namespace wind {

std::ifstream openInputFile(const std::string& name, const std::string& failure,
                            const std::string& hint = std::string());

}  // namespace wind
