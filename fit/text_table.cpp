#include "fit/text_table.hpp"

#include <cctype>

#include "support/fatal_error.hpp"
#include "support/input_file.hpp"

namespace wind {

namespace {

void splitWords(const std::string& line, std::vector<std::string>& words) {
  words.clear();
  std::string word;
  for (const char ch : line) {
    if (ch == '#') break;
    if (ch == ',' || std::isspace(static_cast<unsigned char>(ch))) {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word += ch;
    }
  }
  if (!word.empty()) words.push_back(word);
}

}  // namespace

TextTable::TextTable(const std::string& file, const std::string& what, const std::string& expected)
    : file_(file), in_(openInputFile(file, "Could not open " + what)) {
  long line = 0;
  if (!next(header_, line)) fatalError(file + " has no header line (" + expected + ")");
  headerLine_ = line;
}

bool TextTable::next(std::vector<std::string>& words, long& line) {
  std::string text;
  while (std::getline(in_, text)) {
    ++line_;
    splitWords(text, words);
    if (!words.empty()) {
      line = line_;
      return true;
    }
  }
  if (in_.bad()) fatalError(file_ + " could not be read");
  return false;
}

std::string TextTable::where(long line) const { return file_ + ", line " + std::to_string(line); }

}  // namespace wind
