// The one option reader of the programs: both spellings of a value, flags,
// and the refusals of an option met twice or left without its value.
#include "support/options.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support.hpp"

namespace wind {
namespace {

TEST(OptionWalk, ReadsBothSpellingsOnceEach) {
  const char* argv[] = {"p", "--a=1", "--b", "2", "--flag", "file"};
  OptionWalk walk(6, argv);
  std::string a, b;
  int i = 1;
  EXPECT_FALSE(walk.value(i, "--b", b));
  EXPECT_TRUE(walk.value(i, "--a", a));
  EXPECT_EQ(a, "1");
  i = 2;
  EXPECT_TRUE(walk.value(i, "--b", b));
  EXPECT_EQ(b, "2");
  EXPECT_EQ(i, 3);
  EXPECT_FALSE(walk.flag(3, "--fla"));
  EXPECT_TRUE(walk.flag(4, "--flag"));
  EXPECT_TRUE(walk.met("--a") && walk.met("--flag") && !walk.met("--c"));
  // "--ab=3" is not --a's value.
  const char* prefix[] = {"p", "--ab=3"};
  OptionWalk other(2, prefix);
  i = 1;
  EXPECT_FALSE(other.value(i, "--a", a));
}

TEST(OptionWalk, RefusesAnOptionTwiceOrWithoutItsValue) {
  const char* argv[] = {"p", "--a=1", "--a", "2", "--f", "--f", "--b"};
  OptionWalk walk(7, argv);
  std::string v;
  int i = 1;
  walk.value(i, "--a", v);
  i = 2;
  EXPECT_EQ(testing::fatalMessage([&] { walk.value(i, "--a", v); }),
            "The option --a is given twice");
  walk.flag(4, "--f");
  EXPECT_EQ(testing::fatalMessage([&] { walk.flag(5, "--f"); }), "The option --f is given twice");
  i = 6;
  EXPECT_EQ(testing::fatalMessage([&] { walk.value(i, "--b", v); }), "--b needs a value");
}

}  // namespace
}  // namespace wind
