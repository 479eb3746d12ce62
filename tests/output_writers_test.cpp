#include "io/output_writers.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "inference_test_support.h"
#include "io/writers/sample_blocks.h"
#include "sequence/state_coding.h"
#include "test_support.h"

namespace {

// Four taxa; the node joining t2 and t3 is the last entry before the root
// in the down-pass sequence. Pre-order: root 0, (t0,t1) 1, (t2,t3) 4.
struct Written {
  HandTree tree = BuildTree("((t0:0.1,t1:0.2):0.3,(t2:0.2,t3:0.1):0.3)");
  Alignment alignment =
      MakeAlignment({1, 1, 0, 0, -1, -1}, {"GCAAGC", "GC-AGU", "ACGU?N", "RYKMSW"});
  std::vector<int> anc_seqs;

  explicit Written(int n_samples) {
    const std::size_t rows = 2 * 2 * static_cast<std::size_t>(n_samples);
    for (std::size_t r = 0; r < rows; ++r) {
      for (int c = 0; c < 6; ++c) anc_seqs.push_back(static_cast<int>((r + c) % 4));
    }
  }
  // Writes the rows as the sampling stages hand them over: each sampled
  // node's S rows, then each node's S hidden rows.
  void Write(const std::string& out_file, int include_data, int n_samples, int is_harmonic) {
    const std::vector<SiteRecord> SS;
    OutputWriters outputs(out_file, {}, {}, {alignment, SS, include_data});
    const std::size_t half = anc_seqs.size() / 6 / 2;
    outputs.Head();
    for (std::size_t r = 0; r < 2 * half; ++r) {
      const bool hidden = r >= half;
      const std::size_t within = hidden ? r - half : r;
      const int index = within / n_samples == 0 ? 1 : 4;
      std::string row;
      AppendSequenceCharacters(row, anc_seqs.data() + r * 6, 6);
      std::string block;
      AppendNamedSampleBlock(block, (hidden ? "psr_" : "anc_") + std::to_string(index),
                             within % n_samples + 1, row);
      outputs.Rows(block);
    }
    RunResults results;
    results.summary = {tree.down_pass.front()->scaled_length, n_samples, 0.5, is_harmonic, {}};
    outputs.End(results);
    outputs.CommitAll();
  }
};

}  // namespace

TEST(OutputWriters, HoldsStructureDataAndEveryNodesSampledAndHiddenRows) {
  ScratchDir dir;
  Written w(2);
  w.anc_seqs[5 * 6 + 2] = kGapCode;
  for (NodeStruct& node : w.tree.nodes) {
    if (node.anc != nullptr) node.scaled_length = 1.2;
  }
  const std::string out = dir.Path("samples.fa");
  w.Write(out, 2, 2, 1);
  EXPECT_EQ(ReadFile(out),
            ">SS_cons\n((--))\n"
            ">t0\nGCAAGC\n>t1\nGC-AGU\n>t2\nACGU?N\n>t3\nRYKMSW\n"
            ">anc_1_1\nACGUAC\n>anc_1_2\nCGUACG\n>anc_4_1\nGUACGU\n>anc_4_2\nUACGUA\n"
            ">psr_1_1\nACGUAC\n>psr_1_2\nCG-ACG\n>psr_4_1\nGUACGU\n>psr_4_2\nUACGUA\n");
  EXPECT_EQ(ReadFile(out + ".par"), "h_mean\t1.200000\nlambda\t0.500000\nsize\t2\n");
}

TEST(OutputWriters, WithoutSamplesOrDataHoldsTheStructureAndTheBranchLength) {
  ScratchDir dir;
  Written w(0);
  const std::string out = dir.Path("none.fa");
  w.Write(out, 0, 0, 0);
  EXPECT_EQ(ReadFile(out), ">SS_cons\n((--))\n");
  EXPECT_EQ(ReadFile(out + ".par"), "prd_brlen\t1.000000\nsize\t0\n");
}

TEST(OutputWriters, FilesThatCannotBeCreatedOrWrittenAreFatal) {
  ScratchDir dir;
  Written w(1);
  const std::string missing = dir.Path("missing/out.fa");
  EXPECT_EQ(FatalOutput([&] { w.Write(missing, 1, 1, 1); }),
            "\n\nErr: WriteResultsToFile Error: Unable to open output file ptr '" + missing +
                "': No such file or directory.\n");

  const std::string blocked = dir.Path("blocked.fa");
  std::filesystem::create_directory(blocked + ".par");
  EXPECT_EQ(FatalOutput([&] { w.Write(blocked, 1, 1, 1); }),
            "\n\nErr: WriteResultsToFile Error: Unable to open p_out file ptr '" + blocked +
                ".par': Is a directory.\n");
  EXPECT_FALSE(std::filesystem::exists(blocked))
      << "both files are opened before anything is written";

  // A node file that cannot be opened stops the run before anything is
  // written, and leaves no temporary file of the others behind.
  ScratchDir tables_dir;
  const std::string tables = tables_dir.Path("tables.fa");
  std::filesystem::create_directory(tables + ".pairs");
  const std::vector<SiteRecord> SS;
  const OutputChoice site_tables{.site_tables = true};
  EXPECT_EQ(FatalOutput([&] {
              OutputWriters outputs(tables, {}, site_tables, {w.alignment, SS});
            }),
            "\n\nErr: WriteResultsToFile Error: Unable to open file '" + tables +
                ".pairs': Is a directory.\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tables_dir.Path("")), {}), 1);

  // A link at a side file is refused before anything is written.
  const std::string linked = dir.Path("linked.fa");
  std::filesystem::create_symlink("/dev/full", linked + ".par");
  EXPECT_EQ(FatalOutput([&] { w.Write(linked, 1, 1, 1); }),
            "\n\nErr: WriteResultsToFile Error: Unable to open p_out file ptr '" + linked +
                ".par': it is a symbolic link, and a file named after the output is only ever "
                "written as a new regular file (remove it, or choose another output name).\n");
  EXPECT_FALSE(std::filesystem::exists(linked));
}
