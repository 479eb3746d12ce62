// Absurd sizes: files too large to read, and sample counts whose buffers
// could never fit, fail early with a message that names the value instead
// of exhausting the machine.
#include <gtest/gtest.h>

#include <filesystem>
#include <limits>
#include <thread>

#include <unistd.h>

#include "alignment/alignment_reader.h"
#include "file_text/file_text.h"
#include "io/parameter_file.h"
#include "io/tree_file.h"
#include "base/buffers.h"
#include "test_support.h"

namespace {

constexpr std::size_t kMax = std::numeric_limits<std::size_t>::max();

TEST(PlannedBytes, AddsBuffersAndSaturatesInsteadOfWrapping) {
  EXPECT_EQ(PlannedBytes({{{2, 3}, 8}, {{5}, 4}}), 68u);
  // A negative factor is left to the buffer's own allocation to report.
  EXPECT_EQ(PlannedBytes({{{2, -1, 7}, 8}, {{5}, 4}}), 20u);
  EXPECT_EQ(PlannedBytes({{{0, std::numeric_limits<long long>::max()}, 8}}), 0u);
  // Products and sums beyond size_t must not wrap around to small sizes.
  EXPECT_EQ(PlannedBytes({{{1LL << 40, 1LL << 30}, 8}}), kMax);
  EXPECT_EQ(PlannedBytes({{{1LL << 62}, 4}, {{1LL << 62}, 4}}), kMax);
}

TEST(RequireMemoryFor, FailsNamingTheValueOnlyBeyondTheMachine) {
  const std::size_t mib = std::size_t{1} << 20;
  EXPECT_NO_THROW(RequireMemoryFor({{{1024, 1024}, 1}}, "fits", mib));
  EXPECT_NO_THROW(RequireMemoryFor({{{1LL << 50}, 8}}, "unknown machine", std::nullopt));
  EXPECT_EQ(FatalOutput([&] {
              RequireMemoryFor({{{1024, 1025}, 1}}, "X: 7 samples", mib);
            }),
            "\n\nErr: X: 7 samples need about 2 MiB of memory, more than the 1 MiB this machine "
            "has.\n");
  EXPECT_EQ(FatalOutput([&] {
              RequireMemoryFor({{{1LL << 40, 1LL << 40}, 8}}, "Y", mib);
            }),
            "\n\nErr: Y need more memory than can be addressed, more than the 1 MiB this machine "
            "has.\n");
}

TEST(AbsurdSampleCount, TheRunFailsBeforeAllocatingAndNamesTheCount) {
  ScratchDir dir;
  const std::string examples = EXAMPLES_DIR;
  const ProgramResult run = RunProgram(
      RIBOTRACE_BINARY,
      {"--seed=3", examples + "/plant_srp10.txt", examples + "/plant_srp10.nex.con.tre",
       examples + "/plant_srp10.nex.pstat", dir.Path("out.fa"), "1", "5", "2000000000", "0", "0"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.output.find("\n\nErr: CalcAncestralStates Error: 2000000000 ancestral samples of "
                            "8 interior nodes and 367 columns would write about "),
            std::string::npos)
      << run.output;
  EXPECT_FALSE(std::filesystem::exists(dir.Path("out.fa")));
}

TEST(AbsurdFileSize, EveryReaderRefusesAFileOfTwoGibibytesBeforeReadingIt) {
  ScratchDir dir;
  // Sparse: it takes no disk space, and none of it may be read.
  const std::string huge = dir.Write("huge", ">h\n");
  std::filesystem::resize_file(huge, std::uintmax_t{3} << 30);
  EXPECT_EQ(FatalOutput([&] { LoadAlignment(huge, {}); }),
            "\n\nErr: GetNumberOfTaxaSitesAndAllocate Error: The file '" + huge +
                "' is too large (2 GiB or more).\n");
  EXPECT_EQ(FatalOutput([&] { ReadTreeFile(huge); }),
            "ReadTreeFile Error: The file '" + huge + "' is too large (2 GiB or more).\n");
  EXPECT_EQ(FatalOutput([&] { ReadParameterFile(huge, true); }),
            "ReadParameterFile Error: The file '" + huge + "' is too large (2 GiB or more).\n");
}

TEST(ReadFileText, StopsAtTheCeilingForFilesAndStreams) {
  ScratchDir dir;
  using Kind = FileTextError::Kind;
  const std::string ten = dir.Write("ten", "0123456789");
  EXPECT_EQ(std::get<std::string>(ReadFileText(ten, 10)), "0123456789");
  EXPECT_EQ(std::get<FileTextError>(ReadFileText(ten, 9)).kind, Kind::kTooLarge);
  // A pipe has no size to check first; reading must stop by itself one
  // byte beyond the ceiling.
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  constexpr std::size_t kCeiling = std::size_t{1} << 20;
  std::thread writer([&] {
    const std::string text(kCeiling + 1, 'a');
    EXPECT_EQ(write(ends[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(ends[1]);
  });
  EXPECT_EQ(
      std::get<FileTextError>(ReadFileText("/dev/fd/" + std::to_string(ends[0]), kCeiling)).kind,
      Kind::kTooLarge);
  writer.join();
  close(ends[0]);
  const FileTextError absent = std::get<FileTextError>(ReadFileText(dir.Path("absent")));
  EXPECT_EQ(absent.kind, Kind::kUnreadable);
  EXPECT_EQ(absent.system_error, ENOENT);
}

}  // namespace
