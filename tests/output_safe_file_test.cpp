#include "output/safe_output_file.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "test_support.h"

namespace fs = std::filesystem;

namespace {

// The names in the folder, temporary files included.
std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

TEST(SafeOutputFile, TheFileAppearsWholeOnlyAtCommit) {
  ScratchDir dir;
  const std::string path = dir.Write("out.txt", "old results\n");
  {
    SafeOutputFile file(path, "open failed", "Test Error");
    file.Write("new ");
    file.Printf("%d\n", 42);
    EXPECT_EQ(ReadFile(path), "old results\n") << "nothing replaced before the commit";
    EXPECT_EQ(Entries(dir.Path("")).size(), 2u) << "a temporary file next to it";
    file.Commit();
  }
  EXPECT_EQ(ReadFile(path), "new 42\n");
  EXPECT_EQ(Entries(dir.Path("")), std::vector<std::string>{"out.txt"});
  EXPECT_NE(fs::status(path).permissions() & fs::perms::others_read, fs::perms::none)
      << "an ordinary file, not a private temporary one";
}

TEST(SafeOutputFile, AFailedRunLeavesNoFileBehind) {
  ScratchDir dir;
  const std::string path = dir.Path("out.txt");
  EXPECT_THROW(
      {
        SafeOutputFile file(path, "open failed", "Test Error");
        file.Write("half of it");
        throw FatalError("stage failed", ErrorForm::kBailout);
      },
      FatalError);
  EXPECT_TRUE(Entries(dir.Path("")).empty());
}

TEST(SafeOutputFile, UnwritablePathsFailAtOpenNamingThePathAndTheReason) {
  ScratchDir dir;
  fs::create_directory(dir.Path("folder"));
  EXPECT_EQ(
      FatalOutput(
          [&] { SafeOutputFile file(dir.Path("missing/out.txt"), "Cannot open.", "Test Error"); }),
      "\n\nErr: Cannot open '" + dir.Path("missing/out.txt") + "': No such file or directory.\n");
  EXPECT_EQ(FatalOutput([&] { SafeOutputFile file(dir.Path("folder"), "Cannot open.", "E"); }),
            "\n\nErr: Cannot open '" + dir.Path("folder") + "': Is a directory.\n");
}

TEST(SafeOutputFile, DevicesAreWrittenInPlaceAndLinksKeepPointingAtTheirFile) {
  ScratchDir dir;
  {
    SafeOutputFile sink("/dev/null", "open failed", "Test Error");
    sink.Write("discarded");
    sink.Commit();
  }
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  EXPECT_EQ(FatalOutput([&] {
              SafeOutputFile full("/dev/full", "open failed", "Test Error");
              full.Write("x");
              full.Commit();
            }),
            "\n\nErr: Test Error: Unable to write file '/dev/full': No space left on device.\n");

  const std::string target = dir.Write("target.txt", "old");
  const std::string link = dir.Path("link.txt");
  fs::create_symlink(target, link);
  {
    SafeOutputFile file(link, "open failed", "Test Error");
    file.Write("new");
    file.Commit();
  }
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadFile(target), "new");
}

TEST(SafeOutputFile, LinksAndFifosThatAnotherUserPlantedInASharedFolderAreRefused) {
  // A folder like /tmp: everybody writes, only owners delete. The test runs
  // as root in CI and here, so it can hand the planted entries to "nobody".
  if (geteuid() != 0) GTEST_SKIP() << "needs root to plant files as another user";
  ScratchDir dir;
  const std::string shared = dir.Path("shared");
  fs::create_directory(shared);
  fs::permissions(shared, fs::perms::all | fs::perms::sticky_bit);
  const std::string victim = dir.Write("thesis.tex", "years of work\n");
  const std::string link = shared + "/results.fa";
  const std::string fifo = shared + "/other.fa";
  fs::create_symlink(victim, link);
  ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
  constexpr uid_t kNobody = 65534;
  ASSERT_EQ(lchown(link.c_str(), kNobody, kNobody), 0);
  ASSERT_EQ(chown(fifo.c_str(), kNobody, kNobody), 0);
  for (const auto& [path, what] : std::vector<std::pair<std::string, std::string>>{
           {link, "a symbolic link"}, {fifo, "a FIFO"}}) {
    EXPECT_EQ(FatalOutput([&] { SafeOutputFile file(path, "open failed.", "Test Error"); }),
              "\n\nErr: open failed '" + path + "': it is " + what +
                  " that another user owns in a shared folder, and nothing is written through "
                  "it.\n");
  }
  EXPECT_EQ(ReadFile(victim), "years of work\n");
  // The user's own link there is still followed.
  ASSERT_EQ(lchown(link.c_str(), 0, 0), 0);
  SafeOutputFile own(link, "open failed.", "Test Error");
  own.Write("new\n");
  own.Commit();
  EXPECT_EQ(ReadFile(victim), "new\n");
}
