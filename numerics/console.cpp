#include "numerics/console.hpp"

#include <istream>
#include <ostream>

#include "numerics/fatal_error.hpp"

namespace wind {

ValueReader::ValueReader(std::istream& in) : in_(in) {
  in_.unsetf(std::ios_base::basefield);
}

int ValueReader::readInt(const char* label) {
  int v = 0;
  in_ >> v;
  if (in_.fail()) missing(label);
  return v;
}

long ValueReader::readLong(const char* label) {
  long v = 0;
  in_ >> v;
  if (in_.fail()) missing(label);
  return v;
}

float ValueReader::readFloat(const char* label) {
  float v = 0.0f;
  in_ >> v;
  if (in_.fail()) missing(label);
  return v;
}

std::string ValueReader::readWord(const char* label) {
  std::string w;
  in_ >> w;
  if (in_.fail()) missing(label);
  return w;
}

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
