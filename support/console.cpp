#include "support/console.hpp"

#include <cctype>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <istream>
#include <ostream>
#include <type_traits>

#include "support/fatal_error.hpp"

namespace wind {

namespace {

// Characters of a refused word read to judge it (kShownChars are shown).
constexpr std::size_t kReadChars = 1000;

constexpr unsigned char kByteOrderMark[] = {0xEF, 0xBB, 0xBF};

// The stream's position, or -1 when it cannot tell (or is not good, where
// tellg would set failbit).
std::streamoff positionOf(std::istream& in) {
  if (!in.good()) return -1;
  const std::streampos p = in.tellg();
  if (p == std::streampos(-1)) {
    in.clear();
    return -1;
  }
  return std::streamoff(p);
}

// Why the word at a failed read is not a value of type T: out of the type's
// range, or not such a value at all.
template <class T>
std::string whyNot(const std::string& word) {
  char* end = nullptr;
  errno = 0;
  if constexpr (std::is_same_v<T, float>) {
    const double v = std::strtod(word.c_str(), &end);
    if (end == word.c_str() + word.size() && !word.empty() &&
        (errno == ERANGE || (std::isfinite(v) && std::fabs(v) > double(FLT_MAX))))
      return ", beyond single precision (at most 3.40282e+38 in magnitude)";
    return " where a number is expected";
  } else {
    std::strtoll(word.c_str(), &end, 0);
    if (end == word.c_str() + word.size() && !word.empty())
      return std::string(", beyond the integers the file takes (at most ") +
             (sizeof(T) == 4 ? "2147483647" : "9223372036854775807") + " in magnitude)";
    return " where an integer is expected";
  }
}

}  // namespace

ValueReader::ValueReader(std::istream& in) : in_(in) {
  in_.unsetf(std::ios_base::basefield);
  // A byte-order mark at the very start, as some editors write UTF-8.
  if (positionOf(in_) == 0 && in_.peek() == kByteOrderMark[0]) {
    char head[3] = {};
    in_.read(head, 3);
    bool mark = in_.gcount() == 3;
    for (int i = 0; mark && i < 3; ++i)
      mark = static_cast<unsigned char>(head[i]) == kByteOrderMark[i];
    if (!mark) {
      in_.clear();
      in_.seekg(0);
    }
  }
}

template <class T>
T ValueReader::readValue(const char* label) {
  in_ >> std::ws;
  const std::streamoff start = positionOf(in_);
  T v{};
  in_ >> v;
  if (in_.fail()) {
    std::string why;
    if constexpr (!std::is_same_v<T, std::string>)
      if (start >= 0) why = whyNot<T>(wordAt(start, kReadChars));
    failed(label, start, why);
  }
  lastStart_ = start;
  lastEnd_ = positionOf(in_);
  lastLabel_ = label;
  return v;
}

int ValueReader::readInt(const char* label) { return readValue<int>(label); }

long ValueReader::readLong(const char* label) { return readValue<long>(label); }

float ValueReader::readFloat(const char* label) { return readValue<float>(label); }

std::string ValueReader::readWord(const char* label) { return readValue<std::string>(label); }

bool ValueReader::readLine(std::string& line) {
  lastEnd_ = -1;  // a line is never glued to a value
  std::getline(in_, line);
  if (in_.fail()) {
    line.clear();
    return false;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

void ValueReader::missingHere(const char* label) {
  in_.clear();
  in_ >> std::ws;
  const std::streamoff here = positionOf(in_);
  failed(label, here, here >= 0 ? " where it is expected" : "");
}

std::string ValueReader::onLine() const {
  const int line = lastStart_ >= 0 ? lineAt(lastStart_) : 0;
  return line > 0 ? " on line " + std::to_string(line) : std::string();
}

int ValueReader::lineHere() const {
  if (!in_.good()) return 0;
  const std::streampos here = in_.tellg();
  return here == std::streampos(-1) ? 0 : lineAt(std::streamoff(here));
}

void ValueReader::failed(const char* label, std::streamoff start, const std::string& why) {
  std::string detail;
  if (start < 0) {
    // Nothing but white space was left (or the stream cannot say where it is).
    in_.clear();
    in_.seekg(0, std::ios_base::end);
    const std::streamoff end = positionOf(in_);
    const int lines = end > 0 ? lineAt(end - 1) : 0;
    detail = lines > 0 ? "the file ends after line " + std::to_string(lines)
                       : std::string("the file ends before it");
  } else if (lastEnd_ >= 0 && start == lastEnd_) {
    // The text follows the previous value without a blank ("11,4" read as 11):
    // that value is the one written wrong.
    fatalError("Could not read " + lastLabel_ + " from the input file: line " +
               std::to_string(lineAt(lastStart_)) + " holds '" + wordAt(lastStart_) +
               "', which is no single value (read as a number up to '" + wordAt(start) +
               "', which is left for " + label + "): separate the values by white space and "
               "write decimals with a point (11.4, not 11,4)");
  } else {
    detail = "line " + std::to_string(lineAt(start)) + " holds '" + wordAt(start) + "'" + why;
  }
  fatalError(std::string("Could not read ") + label + " from the input file: " + detail);
}

int ValueReader::lineAt(std::streamoff pos) const {
  const std::ios_base::iostate state = in_.rdstate();
  in_.clear();
  const std::streampos here = in_.tellg();
  in_.seekg(0);
  int line = 1;
  for (std::streamoff i = 0; i < pos; ++i) {
    const int c = in_.get();
    if (c == std::char_traits<char>::eof()) break;
    if (c == '\n') ++line;
  }
  in_.clear();
  if (here != std::streampos(-1)) in_.seekg(here);
  in_.setstate(state);
  return line;
}

std::string ValueReader::wordAt(std::streamoff pos, std::size_t most) const {
  const std::ios_base::iostate state = in_.rdstate();
  in_.clear();
  const std::streampos here = in_.tellg();
  in_.seekg(pos);
  std::string word;
  for (int c = in_.get(); c != std::char_traits<char>::eof() && !std::isspace(c); c = in_.get()) {
    if (word.size() == most) {
      word += "...";
      break;
    }
    word += static_cast<char>(c);
  }
  in_.clear();
  if (here != std::streampos(-1)) in_.seekg(here);
  in_.setstate(state);
  return word;
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
