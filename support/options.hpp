// Reading a program's command-line options: --name=value or --name value, and
// flags, each at most once.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace wind {

// The options met so far on one command line, walked from argv[1] on.
class OptionWalk {
 public:
  OptionWalk(int argc, const char* const argv[]) : argc_(argc), argv_(argv) {}

  // Whether argv[i] is option name (--name=value, or --name and its value in
  // the next argument, which i then moves past); its value into value. An
  // option met a second time is refused ("The option --x is given twice"), as
  // is a bare option at the end ("--x needs a value").
  bool value(int& i, std::string_view name, std::string& value);

  // Whether argv[i] is the flag name, refused when met a second time.
  bool flag(int i, std::string_view name);

  // Whether the option or flag name has been met.
  bool met(std::string_view name) const;

 private:
  void meet(std::string_view name);
  int argc_;
  const char* const* argv_;
  std::vector<std::string_view> given_;
};

}  // namespace wind
