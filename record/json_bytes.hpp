#pragma once
// File names in JSON text, byte for byte.
//
// JSON text is Unicode; a file name on this system is any string of bytes
// without '/' and NUL, and need not be UTF-8 ("wind_\xe9.bin" written by a
// Latin-1 shell). Such names are written losslessly: every byte that is not
// part of a well-formed UTF-8 sequence (Unicode 15, table 3-7: no overlong
// forms, no encoded surrogates, nothing above U+10FFFF) becomes the escape
// \udcXX, XX its value in lower-case hex (80 to ff). That is the lone low
// surrogate to which Python's "surrogateescape" handler decodes such a byte,
// and which os.fsencode (and open(), os.stat ...) turn back into the byte.
// Everything else is written as nlohmann's writer writes it (UTF-8 as it is,
// '"', '\' and control characters escaped), so text without such bytes is
// exactly the writer's own. A strict reader (nlohmann's parser among them)
// refuses the lone surrogates; Python's json module reads them.

#include <string>

#include <nlohmann/json_fwd.hpp>

namespace wind {

// value.dump(indent), with the strings' stray bytes escaped as above.
std::string jsonTextWithBytes(const nlohmann::ordered_json& value, int indent);

}  // namespace wind
