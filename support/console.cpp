#include "support/console.hpp"

#include <istream>
#include <ostream>

#include "support/fatal_error.hpp"

namespace wind {

ValueReader::ValueReader(std::istream& in) : in_(in) {
  in_.unsetf(std::ios_base::basefield);
}

namespace {

// One formatted extraction; a failed one ends the run naming label.
template <class T>
T readValue(std::istream& in, const char* label) {
  T v{};
  in >> v;
  if (in.fail()) ValueReader::missing(label);
  return v;
}

}  // namespace

int ValueReader::readInt(const char* label) { return readValue<int>(in_, label); }

long ValueReader::readLong(const char* label) { return readValue<long>(in_, label); }

float ValueReader::readFloat(const char* label) { return readValue<float>(in_, label); }

std::string ValueReader::readWord(const char* label) { return readValue<std::string>(in_, label); }

bool ValueReader::readLine(std::string& line) {
  std::getline(in_, line);
  if (in_.fail()) {
    line.clear();
    return false;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

void ValueReader::missing(const char* label) {
  fatalError(std::string("Could not read ") + label + " from the input file");
}

bool parseBool(const std::string& word, bool& value) {
  if (word == "true" || word == "True") {
    value = true;
    return true;
  }
  if (word == "false" || word == "False") {
    value = false;
    return true;
  }
  return false;
}

bool requireBool(const std::string& word, std::ostream& echo, const char* message) {
  bool value = false;
  if (!parseBool(word, value)) {
    echo << word << "\n";
    echo.flush();
    fatalError(message);
  }
  return value;
}

}  // namespace wind
