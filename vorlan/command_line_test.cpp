#include "vorlan/command_line.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "tests/support.hpp"

namespace {

using wind::OutputLayout;
using wind::parseSeedList;
using wind::parseVorlanCommandLine;
using wind::testing::fatalMessage;

wind::VorlanOptions parse(std::vector<const char*> args) {
  args.insert(args.begin(), "vorlan");
  return parseVorlanCommandLine(static_cast<int>(args.size()), args.data());
}

TEST(CommandLine, ClassicRuleAppliesToWhatIsLeftAfterOptions) {
  EXPECT_EQ(parse({}).inputFile, "c:/Temp/sim.inp");
  EXPECT_EQ(parse({"box.inp"}).inputFile, "box.inp");
  EXPECT_EQ(parse({"a.inp", "b.inp"}).inputFile, "c:/Temp/sim.inp");  // as always
  EXPECT_EQ(parse({"-5"}).inputFile, "-5");  // one dash: a file name, as always
  const auto o = parse({"--threads", "3", "box.inp", "--layout=inflowwind", "--seeds", "-1,-4"});
  EXPECT_EQ(o.inputFile, "box.inp");
  EXPECT_EQ(o.threads, 3);
  EXPECT_EQ(o.layout, OutputLayout::inflowwind);
  EXPECT_EQ(o.seeds, (std::vector<long>{-1, -4}));
  EXPECT_EQ(o.random, wind::RandomStreamKind::classic);
  EXPECT_EQ(parse({"--random", "counter"}).random, wind::RandomStreamKind::counter);
  const auto placed = parse({"--wind-speed", "11.4", "--hub-height=90", "--grid-bottom", "20.5",
                             "--constraints", "mast.txt", "box.inp"});
  EXPECT_EQ(placed.inputFile, "box.inp");
  EXPECT_EQ(placed.windSpeed, 11.4);
  EXPECT_EQ(placed.hubHeight, 90.0);
  EXPECT_EQ(placed.gridBottom, 20.5);
  EXPECT_EQ(placed.constraintsFile, "mast.txt");
  EXPECT_FALSE(parse({"box.inp"}).windSpeed.has_value());
  EXPECT_TRUE(parse({"-h"}).help);
  EXPECT_TRUE(parse({"--version", "x.inp"}).version);
}

TEST(CommandLine, SeedListsAndRanges) {
  EXPECT_EQ(parseSeedList("-7"), (std::vector<long>{-7}));
  EXPECT_EQ(parseSeedList("-1:-4,-10"), (std::vector<long>{-1, -2, -3, -4, -10}));
  EXPECT_EQ(parseSeedList("-6:-4"), (std::vector<long>{-6, -5, -4}));
}

TEST(CommandLine, MalformedValuesAreFatalAndNamed) {
  EXPECT_EQ(fatalMessage([] { parseSeedList("-1,,-2"); }),
            "--seeds: cannot read the seed list '-1,,-2'");
  EXPECT_EQ(fatalMessage([] { parseSeedList("-1,"); }), "--seeds: cannot read the seed list '-1,'");
  EXPECT_EQ(fatalMessage([] { parseSeedList("x"); }), "--seeds: cannot read the seed list 'x'");
  EXPECT_EQ(fatalMessage([] { parseSeedList("-1:-200000"); }),
            "--seeds: more than 100000 seeds in '-1:-200000'");
  EXPECT_EQ(fatalMessage([] { parse({"--threads", "0"}); }),
            "--threads: '0' is not a thread count from 1 to 4096");
  EXPECT_EQ(fatalMessage([] { parse({"--layout", "hub"}); }),
            "--layout: 'hub' is not a layout (classic or inflowwind)");
  EXPECT_EQ(fatalMessage([] { parse({"box.inp", "--seeds"}); }), "--seeds needs a value");
  EXPECT_EQ(fatalMessage([] { parse({"--wind-speed", "-3"}); }),
            "--wind-speed: '-3' is not a positive number");
  EXPECT_EQ(fatalMessage([] { parse({"--grid-bottom=0"}); }),
            "--grid-bottom: '0' is not a positive number");
  EXPECT_EQ(fatalMessage([] { parse({"--hub-height", "90m"}); }),
            "--hub-height: '90m' is not a positive number");
  EXPECT_EQ(fatalMessage([] { parse({"--constraints="}); }), "--constraints needs a file name");
  EXPECT_EQ(fatalMessage([] { parse({"--random=philox"}); }),
            "--random: 'philox' is not a random stream (classic or counter)");
  // Finite as a double, infinite (or zero) as the float the files hold.
  for (const char* v : {"1e39", "1e-50"})
    EXPECT_EQ(fatalMessage([&] { parse({"--wind-speed", v}); }),
              std::string("--wind-speed: '") + v + "' is beyond single precision: give a positive "
              "number from 1.17549e-38 to 3.40282e+38");
  EXPECT_EQ(parse({"--hub-height", "3.4e38"}).hubHeight, 3.4e38);
  // A seed twice would write its files twice.
  EXPECT_EQ(fatalMessage([] { parseSeedList("-1,-1"); }),
            "--seeds: the seed -1 comes twice in '-1,-1': list each seed once");
  EXPECT_EQ(fatalMessage([] { parseSeedList("-1:-5,-3"); }),
            "--seeds: the seed -3 comes twice in '-1:-5,-3': list each seed once");
}

// vorlan takes one parameter file; with none or two it reads the default, and
// a failure to open it says why that file was read.
TEST(CommandLine, TheDefaultFileIsExplainedWhenItCannotBeOpened) {
  EXPECT_EQ(defaultFileHint(parse({"a.inp", "--threads", "2"})), "");
  EXPECT_EQ(defaultFileHint(parse({"a.inp", "b.inp"})),
            " (vorlan takes one parameter file; given 2: a.inp b.inp, it reads the default "
            "c:/Temp/sim.inp)");
  EXPECT_EQ(defaultFileHint(parse({})),
            " (no parameter file was given, so vorlan reads the default c:/Temp/sim.inp; run "
            "vorlan FILE)");
}

TEST(CommandLine, UnknownOptionsAndRepeatedOptionsAreRefusedByName) {
  // Taken for a file name, --seed would leave two words and the default file.
  EXPECT_EQ(fatalMessage([] { parse({"--seed", "-5", "t.inp"}); }),
            "Unknown option --seed (vorlan --help lists the options)");
  EXPECT_EQ(fatalMessage([] { parse({"--", "t.inp"}); }),
            "Unknown option -- (vorlan --help lists the options)");
  EXPECT_EQ(fatalMessage([] { parse({"--seeds", "-1", "t.inp", "--seeds=-2"}); }),
            "The option --seeds is given twice");
  EXPECT_EQ(fatalMessage([] { parse({"--layout=classic", "t.inp", "--layout", "classic"}); }),
            "The option --layout is given twice");
}

}  // namespace
