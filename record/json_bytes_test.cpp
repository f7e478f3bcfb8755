// File names in JSON: stray bytes as Python's json module writes the
// surrogate escapes of os.fsdecode (the expected texts are its output), and
// everything else exactly as nlohmann's writer writes it.
#include "record/json_bytes.hpp"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <utility>

namespace wind {
namespace {

using json = nlohmann::ordered_json;

TEST(JsonBytes, TextWithoutStrayBytesIsTheWritersOwn) {
  // Plain, two-, three- and four-byte UTF-8, the marker's own U+FFFF, quotes,
  // backslashes and control characters.
  for (const std::string s : {"plain", "caf\xc3\xa9", "\xef\xbf\xbf\xef\xbf\xbf",
                              "\xf0\x9f\x8c\xac", "a\"b\\c\n\x01"}) {
    const json j = {{"k", s}, {"a", {s, 1.5, nullptr}}};
    EXPECT_EQ(jsonTextWithBytes(j, 2), j.dump(2)) << s;
  }
}

TEST(JsonBytes, EachStrayByteIsASurrogateEscapeWhateverSurroundsIt) {
  const std::pair<std::string, std::string> cases[] = {
      {"wind_\xe9.bin", "\"wind_\\udce9.bin\""},
      {"\xed\xa0\x80", "\"\\udced\\udca0\\udc80\""},                // an encoded surrogate
      {"\xc0\xaf", "\"\\udcc0\\udcaf\""},                           // an overlong '/'
      {"\xf4\x90\x80\x80", "\"\\udcf4\\udc90\\udc80\\udc80\""},     // beyond U+10FFFF
      {"\xe2\x82", "\"\\udce2\\udc82\""},                           // cut short
      // U+FFFF, a backslash and a quote next to a stray byte
      {"\xff\xef\xbf\xbf\\\"", "\"\\udcff\xef\xbf\xbf\\\\\\\"\""},
  };
  for (const auto& [bytes, text] : cases) {
    EXPECT_EQ(jsonTextWithBytes(json(bytes), -1), text) << text;
    EXPECT_EQ(jsonTextWithBytes(json::array({bytes}), -1), "[" + text + "]") << text;
  }
}

}  // namespace
}  // namespace wind
