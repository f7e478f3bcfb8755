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
      ExitedWithCode(1), fatalReport("Could not read kmax from the input file"));
  EXPECT_EXIT(
      {
        std::istringstream in("abc");
        ValueReader(in).readInt("pairs");
      },
      ExitedWithCode(1), fatalReport("Could not read pairs from the input file"));
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
