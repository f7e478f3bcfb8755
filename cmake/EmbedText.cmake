# cmake -DINPUT=<text file> -DOUTPUT=<.cpp> -DHEADER=<include> -DFUNCTION=<name> -P EmbedText.cmake
# Writes a C++ source whose function FUNCTION() returns the bytes of INPUT as a
# std::string_view, so that a program carries the file and never looks for it
# on disk. The file is rewritten only when its text changes.
cmake_minimum_required(VERSION 3.25)
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
# Sixteen bytes a line (CMake's expressions know no counted repetition).
string(REPEAT "0x..," 16 line)
string(REGEX REPLACE "(${line})" "\\1\n    " bytes "${bytes}")
math(EXPR count "${digits} / 2")
get_filename_component(name "${INPUT}" NAME)
set(text "// Generated from ${name} by cmake/EmbedText.cmake at build time: do not edit.
#include \"${HEADER}\"

namespace wind {

namespace {

constexpr unsigned char kText[${count} + 1] = {
    ${bytes}0};

}  // namespace

std::string_view ${FUNCTION}() {
  return std::string_view(reinterpret_cast<const char*>(kText), ${count});
}

}  // namespace wind
")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
  if(old STREQUAL text)
    return()
  endif()
endif()
file(WRITE "${OUTPUT}" "${text}")
