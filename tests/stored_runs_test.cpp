// Whole runs on the bundled example against the outputs that the build of
// 34e193a wrote for the same seeds, before the likelihood and posterior
// arrays took their compact layout and the passes their threads: the
// default exact posteriors, --classic and gamma rates, each with its
// diagnostic listing (every fractional likelihood and posterior printed),
// on one, two and every thread. Small files are stored whole; the tables
// and the listing as size and 64-bit FNV-1a digest (tests/data/stored_runs).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <sstream>

#include "test_support.h"

namespace {

const std::string kExamples = EXAMPLES_DIR;
const std::string kStored = std::string(TEST_DATA_DIR) + "/stored_runs/";

std::string Digest(const std::string& text) {
  std::uint64_t hash = 0xcbf29ce484222325u;
  for (const char c : text) {
    hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3u;
  }
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
  return std::to_string(text.size()) + " " + hex;
}

// A table without its p_gap column, which every run now adds: `from_end`
// columns before the last (1 in .state, before Pair; 0 in .pairs).
std::string WithoutGapColumn(const std::string& table, std::size_t from_end) {
  std::istringstream lines(table);
  std::string line;
  std::string kept;
  while (std::getline(lines, line)) {
    std::vector<std::string> cells;
    std::istringstream fields(line);
    for (std::string cell; std::getline(fields, cell, '\t');) cells.push_back(cell);
    cells.erase(cells.end() - 1 - static_cast<std::ptrdiff_t>(from_end));
    for (std::size_t c = 0; c < cells.size(); ++c) kept += (c == 0 ? "" : "\t") + cells[c];
    kept += '\n';
  }
  return kept;
}

// The most probable sequences with the stored characters where the tree's
// reconstruction now puts gaps: the rest must be as stored.
std::string WithStoredCharactersAtGaps(std::string map, const std::string& stored) {
  if (map.size() != stored.size()) return map;
  for (std::size_t i = 0; i < map.size(); ++i) {
    if (map[i] == '-') map[i] = stored[i];
  }
  return map;
}

std::string WithoutComments(std::string text) {
  for (std::size_t at = text.find('['); at != std::string::npos; at = text.find('[', at)) {
    text.erase(at, text.find(']', at) + 1 - at);
  }
  return text;
}

// The listing without the gap reconstruction's line (the indel rates by
// default, the two-state rate with --gaps=tree), now in every run.
std::string WithoutGapRateLine(const std::string& listing) {
  std::size_t at = listing.find("\nGap rate = ");
  if (at == std::string::npos) at = listing.find("\nInsertion rate = ");
  if (at == std::string::npos) return listing;
  return listing.substr(0, at) + listing.substr(listing.find('\n', at + 1) + 1);
}

struct StoredRun {
  std::string name;
  std::vector<std::string> options;
  std::string param_file;
  std::vector<std::string> values;
};

}  // namespace

TEST(StoredRuns, EveryModeWritesWhatTheEarlierLayoutWroteOnAnyNumberOfThreads) {
  std::map<std::string, std::string> digests;
  std::istringstream lines(ReadFile(kStored + "digests"));
  std::string name;
  std::string size;
  std::string hash;
  while (lines >> name >> size >> hash) digests[name] = size + " " + hash;
  ASSERT_EQ(digests.size(), 9u);

  const std::string pstat = kExamples + "/plant_srp10.nex.pstat";
  const std::vector<StoredRun> runs = {
      {"default", {"--seed=5"}, pstat, {"1", "1.0", "2", "0", "1", "1"}},
      {"classic", {"--seed=7", "--classic"}, pstat, {"0", "0.5", "2", "0", "0", "1"}},
      {"gamma", {"--seed=9"}, kStored + "gamma.pstat", {"1", "1.0", "2", "0", "1", "1"}}};
  for (const StoredRun& run : runs) {
    for (const std::string threads : {"1", "2", "0"}) {
      SCOPED_TRACE(run.name + ", --threads=" + threads);
      ScratchDir dir;
      const std::string out = dir.Path(run.name + ".fa");
      std::vector<std::string> args = run.options;
      for (const std::string& arg : {"--threads=" + threads, std::string("--state"),
                                     std::string("--loglik"), kExamples + "/plant_srp10.txt",
                                     kExamples + "/plant_srp10.nex.con.tre", run.param_file, out}) {
        args.push_back(arg);
      }
      args.insert(args.end(), run.values.begin(), run.values.end());
      const ProgramResult result = RunProgram(RIBOTRACE_BINARY, args);
      ASSERT_EQ(result.status, 0) << result.errors;
      const std::string stored = kStored + run.name + ".fa";
      for (const std::string suffix : {"", ".par"}) {
        EXPECT_TRUE(ReadFile(out + suffix) == ReadFile(stored + suffix)) << suffix;
      }
      // The tree now carries the consensus's clade probabilities.
      EXPECT_EQ(WithoutComments(ReadFile(out + ".tree")), ReadFile(stored + ".tree"));
      // What the tree's reconstruction of the gaps adds to every run: gaps
      // in the most probable sequences, and p_gap.
      EXPECT_TRUE(
          WithStoredCharactersAtGaps(ReadFile(out + ".map.fa"), ReadFile(stored + ".map.fa")) ==
          ReadFile(stored + ".map.fa"));
      EXPECT_EQ(Digest(WithoutGapColumn(ReadFile(out + ".state"), 1)),
                digests[run.name + ".fa.state"]);
      EXPECT_EQ(Digest(WithoutGapColumn(ReadFile(out + ".pairs"), 0)),
                digests[run.name + ".fa.pairs"]);
      // The listing from its second line on: the first names the data file's path.
      const std::string listing = result.output.substr(result.output.find('\n') + 1);
      EXPECT_EQ(Digest(WithoutGapRateLine(listing)), digests[run.name + ".stdout"]);
    }
  }
}
