#include "corvel/command_line.hpp"

#include <gtest/gtest.h>

#include <sstream>

#include "corvel/driver.hpp"
#include "tests/support.hpp"

namespace wind {
namespace {

TEST(CorvelRequests, OnlyTheFirstArgumentCanAskForHelpOrVersion) {
  const char* none[] = {"corvel"};
  EXPECT_EQ(corvelRequest(1, none), CorvelRequest::run);
  const char* help[] = {"corvel", "--help"};
  EXPECT_EQ(corvelRequest(2, help), CorvelRequest::help);
  const char* shortHelp[] = {"corvel", "-h", "x.inp"};
  EXPECT_EQ(corvelRequest(3, shortHelp), CorvelRequest::help);
  const char* version[] = {"corvel", "--version"};
  EXPECT_EQ(corvelRequest(2, version), CorvelRequest::version);
  // A file first keeps the classic rule for the words that follow it.
  const char* later[] = {"corvel", "site.inp", "-h"};
  EXPECT_EQ(corvelRequest(3, later), CorvelRequest::run);
  EXPECT_EQ(corvelInputFileName(3, later), "site.inp");
}

TEST(CorvelRequests, WordsBeginningWithTwoDashesAreNeverFileNames) {
  const char* nearMiss[] = {"corvel", "--Help"};
  EXPECT_EQ(testing::fatalMessage([&] { corvelRequest(2, nearMiss); }),
            "Unknown option --Help (corvel --help lists the options)");
  const char* afterFile[] = {"corvel", "site.inp", "--tol=1e-6"};
  EXPECT_EQ(testing::fatalMessage([&] { corvelRequest(3, afterFile); }),
            "Unknown option --tol=1e-6 (corvel --help lists the options)");
  const char* versionLater[] = {"corvel", "site.inp", "--version"};
  EXPECT_EQ(testing::fatalMessage([&] { corvelRequest(3, versionLater); }),
            "Option --version has to come first: corvel --version");
}

TEST(CorvelRequests, HelpNamesEverySourceAndResultKeyword) {
  std::ostringstream out;
  printCorvelHelp(out);
  for (const char* word : {"basic", "land", "sea", "terrain", "spec", "xspec", "sigma2"})
    EXPECT_NE(out.str().find(word), std::string::npos) << word;
}

}  // namespace
}  // namespace wind
