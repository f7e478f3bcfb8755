#include "support/options.hpp"

#include <algorithm>

#include "support/fatal_error.hpp"

namespace wind {

void OptionWalk::meet(std::string_view name) {
  if (std::find(given_.begin(), given_.end(), name) != given_.end())
    fatalError("The option " + std::string(name) + " is given twice");
  given_.push_back(name);
}

bool OptionWalk::value(int& i, std::string_view name, std::string& value) {
  const std::string_view arg(argv_[i]);
  const bool bare = arg == name;
  if (!bare && !(arg.size() > name.size() && arg.substr(0, name.size()) == name &&
                 arg[name.size()] == '='))
    return false;
  meet(name);
  if (bare) {
    if (i + 1 >= argc_) fatalError(std::string(name) + " needs a value");
    value = argv_[++i];
  } else {
    value = std::string(arg.substr(name.size() + 1));
  }
  return true;
}

bool OptionWalk::flag(int i, std::string_view name) {
  if (std::string_view(argv_[i]) != name) return false;
  meet(name);
  return true;
}

bool OptionWalk::met(std::string_view name) const {
  return std::find(given_.begin(), given_.end(), name) != given_.end();
}

}  // namespace wind
