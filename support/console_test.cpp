#include "support/console.hpp"

#include <gtest/gtest.h>

#include <iostream>
#include <sstream>
#include <string>

#include "tests/support.hpp"

namespace wind {
namespace {

using ::testing::ExitedWithCode;
using wind::testing::fatalReport;

TEST(ValueReader, IntegersInThePrefixSelectedBase) {
  std::istringstream in("0x1F 010 -12 +7");
  ValueReader r(in);
  EXPECT_EQ(r.readInt("a"), 31);
  EXPECT_EQ(r.readInt("b"), 8);
  EXPECT_EQ(r.readInt("c"), -12);
  EXPECT_EQ(r.readLong("d"), 7L);
}

TEST(ValueReader, LinesLoseACarriageReturnAndWordsStopAtWhiteSpace) {
  std::istringstream in("terrain\r\n  2.385 true\tFalse\n");
  ValueReader r(in);
  std::string line;
  ASSERT_TRUE(r.readLine(line));
  EXPECT_EQ(line, "terrain");
  EXPECT_EQ(r.readFloat("x"), 2.385f);
  EXPECT_EQ(r.readWord("w"), "true");
  EXPECT_EQ(r.readWord("w"), "False");
  std::string rest;
  EXPECT_TRUE(r.readLine(rest));  // the empty rest of the last line
  EXPECT_FALSE(r.readLine(rest));
}

TEST(ValueReaderDeathTest, AMissingOrMistypedValueIsNamed) {
  EXPECT_EXIT(
      {
        std::istringstream in("12");
        ValueReader r(in);
        r.readInt("first");
        r.readFloat("kmax");
      },
      ExitedWithCode(1),
      fatalReport("Could not read kmax from the input file: the file ends after line 1"));
  EXPECT_EXIT(
      {
        std::istringstream in("abc");
        ValueReader(in).readInt("pairs");
      },
      ExitedWithCode(1),
      fatalReport("Could not read pairs from the input file: line 1 holds 'abc' where an "
                  "integer is expected"));
}

// What a report says of the text that could not be read: its line, the word,
// and when it follows the previous value without a blank, that value.
TEST(ValueReader, AReportQuotesTheTextAndItsLine) {
  const auto failure = [](const std::string& text, int values) {
    return testing::fatalMessage([&] {
      std::istringstream in(text);
      ValueReader r(in);
      for (int v = 0; v < values; ++v) r.readFloat(v == 0 ? "V_hub" : "z_hub");
    });
  };
  // A decimal comma: 11 is read, ",4" is left; the value written wrong is V_hub.
  EXPECT_EQ(failure("\n11,4 90\n", 2),
            "Could not read V_hub from the input file: line 2 holds '11,4', which is no single "
            "value (read as a number up to ',4', which is left for z_hub): separate the values "
            "by white space and write decimals with a point (11.4, not 11,4)");
  EXPECT_EQ(failure("1\n\n  2\n x3\n", 3),
            "Could not read z_hub from the input file: line 4 holds 'x3' where a number is "
            "expected");
  EXPECT_EQ(failure("1\r\n2\r\n", 3),
            "Could not read z_hub from the input file: the file ends after line 2");
  EXPECT_EQ(failure("", 1), "Could not read V_hub from the input file: the file ends before it");
  EXPECT_EQ(failure("4096 1e39", 2),
            "Could not read z_hub from the input file: line 1 holds '1e39', beyond single "
            "precision (at most 3.40282e+38 in magnitude)");
  EXPECT_EQ(failure(std::string(60, '7'), 1),
            "Could not read V_hub from the input file: line 1 holds '" + std::string(40, '7') +
                "...', beyond single precision (at most 3.40282e+38 in magnitude)");
  EXPECT_EQ(testing::fatalMessage([] {
              std::istringstream in("0x7fffffff 99999999999");
              ValueReader r(in);
              r.readInt("a");
              r.readInt("SpecType");
            }),
            "Could not read SpecType from the input file: line 1 holds '99999999999', beyond the "
            "integers the file takes (at most 2147483647 in magnitude)");
  // Values glued to the next that read whole stay as they always were.
  std::istringstream glued("3.9-1");
  ValueReader r(glued);
  EXPECT_EQ(r.readFloat("Gamma"), 3.9f);
  EXPECT_EQ(r.readLong("seed"), -1L);
  EXPECT_EQ(r.onLine(), " on line 1");
}

// A byte-order mark at the very start (and only there) is no part of the text.
TEST(ValueReader, AByteOrderMarkAtTheStartIsSkipped) {
  std::istringstream marked("\xEF\xBB\xBF" "basic\n0.1\n");
  ValueReader r(marked);
  std::string line;
  ASSERT_TRUE(r.readLine(line));
  EXPECT_EQ(line, "basic");
  EXPECT_EQ(r.readFloat("alphaeps"), 0.1f);
  std::istringstream half("\xEF\xBBx\n");
  ValueReader h(half);
  EXPECT_EQ(h.readWord("w"), "\xEF\xBBx");
  std::istringstream later("1 \xEF\xBB\xBF");
  ValueReader l(later);
  EXPECT_EQ(l.readInt("a"), 1);
  EXPECT_EQ(l.readWord("w"), "\xEF\xBB\xBF");
}

TEST(ParseBool, FourSpellingsOnly) {
  bool v = false;
  EXPECT_TRUE(parseBool("True", v));
  EXPECT_TRUE(v);
  EXPECT_TRUE(parseBool("false", v));
  EXPECT_FALSE(v);
  v = true;
  for (const char* w : {"TRUE", "yes", "1", "", "true,"}) {
    EXPECT_FALSE(parseBool(w, v)) << w;
    EXPECT_TRUE(v) << w;
  }
}

TEST(RequireBoolDeathTest, ARefusedWordIsEchoedAloneBeforeTheReport) {
  std::ostringstream echo;
  EXPECT_TRUE(requireBool("True", echo, "unused"));
  EXPECT_FALSE(requireBool("false", echo, "unused"));
  EXPECT_EQ(echo.str(), "");
  EXPECT_EXIT(requireBool("FALSE", std::cerr, "Input should be either 'true' or 'false'."),
              ExitedWithCode(1),
              wind::testing::literal("FALSE\n") +
                  fatalReport("Input should be either 'true' or 'false'."));
}

}  // namespace
}  // namespace wind
