// Pending outputs: what is on disk before and after a commit, after an
// abandon, a fatal exit and a signal; the names it refuses and why; a
// temporary's name that is taken; devices and links.
#include "support/pending_output.hpp"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/fatal_error.hpp"
#include "tests/support.hpp"

namespace wind {
namespace {

namespace fs = std::filesystem;
using Role = PendingOutput::Role;
using testing::fatalMessage;
using testing::folderNames;
using testing::readText;
using testing::writeText;

TEST(PendingOutputs, FilesAppearAtTheCommitAndAnAbandonLeavesWhatWasThere) {
  const fs::path dir = testing::freshDir("pending_commit");
  writeText(dir / "a.bin", "old a");
  writeText(dir / "a.bin.json", "old record");
  fs::permissions(dir / "a.bin", fs::perms(0640));
  const std::string a = (dir / "a.bin").string(), b = (dir / "b.bin").string(),
                    record = a + ".json";
  {
    PendingOutputs set;
    set.create(a, "output file").write("new a", 1, 5);
    set.create(b, "output file").stream() << "new b";
    std::fputs("new record", set.create(record, "the run record", Role::description).file());
    // Before the commit: the old files, and one temporary per output beside them.
    EXPECT_EQ(readText(a), "old a");
    EXPECT_FALSE(fs::exists(b));
    const std::string pid = std::to_string(::getpid());
    EXPECT_EQ(folderNames(dir),
              (std::vector<std::string>{".a.bin." + pid + ".tmp", ".a.bin.json." + pid + ".tmp",
                                        ".b.bin." + pid + ".tmp", "a.bin", "a.bin.json"}));
    set.commit();
  }
  EXPECT_EQ(readText(a), "new a");
  EXPECT_EQ(readText(b), "new b");
  EXPECT_EQ(readText(record), "new record");
  EXPECT_EQ(folderNames(dir), (std::vector<std::string>{"a.bin", "a.bin.json", "b.bin"}));
  EXPECT_EQ(fs::status(a).permissions(), fs::perms(0640)) << "the replaced file's permissions";

  {
    PendingOutputs set;  // destroyed without a commit: abandoned
    set.create(a, "output file").stream() << "never";
    set.create(dir / "c.bin", "output file");
  }
  EXPECT_EQ(readText(a), "new a");
  EXPECT_EQ(readText(b), "new b");
  EXPECT_EQ(folderNames(dir), (std::vector<std::string>{"a.bin", "a.bin.json", "b.bin"}));
}

TEST(PendingOutputs, NamesThatCannotBeWrittenAreRefusedWithTheReason) {
  const fs::path dir = testing::freshDir("pending_refused");
  const std::string missing = (dir / "no" / "x.bin").string(), folder = dir.string();
  EXPECT_EQ(fatalMessage([&] { PendingOutputs().create(missing, "output file"); }),
            "Could not open output file " + missing + ": No such file or directory");
  EXPECT_EQ(fatalMessage([&] { PendingOutputs().create(folder, "the run record"); }),
            "Could not open the run record " + folder + ": Is a directory");
  writeText(dir / "file", "x");
  const std::string under = (dir / "file" / "x.bin").string();
  EXPECT_EQ(fatalMessage([&] { PendingOutputs().create(under, ""); }),
            "Could not open " + under + ": Not a directory");
  if (::geteuid() != 0) {  // permissions do not bind the superuser
    fs::permissions(dir / "file", fs::perms(0444));
    const std::string readOnly = (dir / "file").string();
    EXPECT_EQ(fatalMessage([&] { PendingOutputs().create(readOnly, "output file"); }),
              "Could not open output file " + readOnly + ": Permission denied");
  }
  EXPECT_EQ(folderNames(dir), (std::vector<std::string>{"file"}));
}

// A file of the user's under the name the temporary would take first is
// never touched: the next name is random.
TEST(PendingOutputs, ATakenTemporaryNameIsLeftAlone) {
  const fs::path dir = testing::freshDir("pending_taken");
  const std::string folder = dir.string() + "/";
  const std::string taken = detail::temporaryName(folder, "u.bin", long(::getpid()), 0);
  EXPECT_EQ(taken, folder + ".u.bin." + std::to_string(::getpid()) + ".tmp");
  writeText(taken, "the user's");
  PendingOutputs set;
  set.create(folder + "u.bin", "output file").stream() << "field";
  const std::vector<std::string> pending = folderNames(dir);
  ASSERT_EQ(pending.size(), 2u);
  const std::string random = pending[0] == fs::path(taken).filename() ? pending[1] : pending[0];
  EXPECT_EQ(random.rfind(".u.bin." + std::to_string(::getpid()) + ".", 0), 0u) << random;
  EXPECT_EQ(random.size(), fs::path(taken).filename().string().size() + 9) << random;
  set.commit();
  EXPECT_EQ(readText(taken), "the user's");
  EXPECT_EQ(readText(dir / "u.bin"), "field");
  EXPECT_EQ(folderNames(dir).size(), 2u);
  // A long final name keeps its temporary within a folder entry's 255 bytes.
  const std::string longName(255, 'n');
  EXPECT_LE(fs::path(detail::temporaryName(folder, longName, 2147483647L, 7)).filename()
                .string()
                .size(),
            255u);
}

// A link keeps leading to the file it names (devices: runner/driver_test.cpp).
TEST(PendingOutputs, ALinkLeadsToTheFileReplaced) {
  const fs::path dir = testing::freshDir("pending_links");
  PendingOutputs set;
  writeText(dir / "target.bin", "old");
  fs::create_symlink("target.bin", dir / "link.bin");
  set.create((dir / "link.bin").string(), "output file").stream() << "new";
  set.commit();
  EXPECT_TRUE(fs::is_symlink(dir / "link.bin"));
  EXPECT_EQ(readText(dir / "target.bin"), "new");
  EXPECT_EQ(folderNames(dir), (std::vector<std::string>{"link.bin", "target.bin"}));
}

// The paths out of a run that never returns: fatalError's default report
// (std::exit) and a signal. Each leaves the old file and no temporary, and a
// signal still kills with its own number.
TEST(PendingOutputsDeathTest, AnExitOrASignalRemovesTheTemporaries) {
  const fs::path dir = testing::freshDir("pending_death");
  const std::string name = (dir / "u.bin").string();
  writeText(name, "old");
  const auto failAfterWriting = [&](int signal) {
    PendingOutputs set;
    set.create(name, "output file").stream() << "half a field";
    set.create(name + ".json", "the run record", Role::description);
    if (signal != 0) ::raise(signal);
    fatalError("stopped");
  };
  EXPECT_EXIT(failAfterWriting(0), ::testing::ExitedWithCode(1), "stopped");
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
    EXPECT_EXIT(failAfterWriting(signal), ::testing::KilledBySignal(signal), "") << signal;
    EXPECT_EQ(folderNames(dir), (std::vector<std::string>{"u.bin"})) << signal;
  }
  EXPECT_EQ(readText(name), "old");
}

}  // namespace
}  // namespace wind
