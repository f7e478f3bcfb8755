#include "support/fatal_error.hpp"

#include <gtest/gtest.h>

#include "tests/support.hpp"

namespace {

using ::testing::ExitedWithCode;
using wind::testing::fatalReport;

TEST(FatalError, DefaultHandlerReportsThreeLinesAndExitsWithOne) {
  EXPECT_EXIT(wind::fatalError("Component number not correct"), ExitedWithCode(1),
              fatalReport("Component number not correct"));
}

TEST(FatalError, ThrowingHandlerReturnsControlWithTheMessage) {
  EXPECT_EQ(wind::testing::fatalMessage([] { wind::fatalError(std::string("bad LMax 2.385")); }),
            "bad LMax 2.385");
  EXPECT_EQ(wind::testing::fatalMessage([] {}), "");
}

TEST(FatalError, ScopedHandlerRestoresThePreviousOne) {
  {
    const wind::ScopedFatalHandler outer(wind::throwFatalError);
    {
      const wind::ScopedFatalHandler inner(nullptr);  // the default again
      EXPECT_EXIT(wind::fatalError("inner"), ExitedWithCode(1), fatalReport("inner"));
    }
    EXPECT_THROW(wind::fatalError("outer"), wind::FatalError);
  }
  EXPECT_EXIT(wind::fatalError("after"), ExitedWithCode(1), fatalReport("after"));
}

void returningHandler(const char*) {}

TEST(FatalError, HandlerThatReturnsIsFollowedByTheDefaultReport) {
  const wind::ScopedFatalHandler scoped(returningHandler);
  EXPECT_EXIT(wind::fatalError("still fatal"), ExitedWithCode(1), fatalReport("still fatal"));
}

}  // namespace
