// Today's outputs of every run path, kept as size and 64-bit FNV-1a digest
// (tests/data/stored_runs/current), so that a change in how the program is
// put together cannot change a byte of what it writes: one tree and
// MrBayes's sample, each with every output file, standard output and
// standard error; the help text; the prompts. The runs use relative names
// in a scratch folder, so the texts hold no machine's paths.
// RIBOTRACE_STORE_DIGESTS=<file> writes the digests there instead of
// comparing (after a deliberate change of an output).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "test_support.h"

namespace {

const std::string kExamples = EXAMPLES_DIR;
const std::string kStoredDigests = std::string(TEST_DATA_DIR) + "/stored_runs/current";

std::string Digest(const std::string& text) {
  std::uint64_t hash = 0xcbf29ce484222325u;
  for (const char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3u;
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
  return std::to_string(text.size()) + " " + hex;
}

using Digests = std::map<std::string, std::string>;

void AddRun(Digests& digests, const std::string& name, const ScratchDir& dir,
            const std::vector<std::string>& args, const std::vector<std::string>& suffixes,
            const std::string& input = "") {
  const ProgramResult result = RunProgram(RIBOTRACE_BINARY, args, input, dir.Path(""));
  ASSERT_EQ(result.status, 0) << name << ": " << result.output << result.errors;
  digests[name + ".stdout"] = Digest(result.output);
  digests[name + ".stderr"] = Digest(result.errors);
  for (const std::string& suffix : suffixes) {
    digests[name + ".fa" + suffix] = Digest(ReadFile(dir.Path(name + ".fa" + suffix)));
  }
}

}  // namespace

TEST(CurrentOutputs, EveryPathWritesTheSameBytes) {
  ScratchDir dir;
  for (const std::string file :
       {"plant_srp10.txt", "plant_srp10.nex.con.tre", "plant_srp10.nex.pstat",
        "plant_srp10_2runs.nex.run1.t", "plant_srp10_2runs.nex.run2.t",
        "plant_srp10_2runs.nex.run1.p", "plant_srp10_2runs.nex.run2.p"}) {
    dir.Write(file, ReadFile(kExamples + "/" + file));
  }
  Digests digests;
  const std::vector<std::string> all = {"",       ".par",   ".tree", ".map.fa",
                                        ".state", ".pairs", ".html"};
  AddRun(digests, "one", dir,
         {"--seed=5", "--state", "--report", "--gaps=tree", "--loglik", "plant_srp10.txt",
          "plant_srp10.nex.con.tre", "plant_srp10.nex.pstat", "one.fa", "1", "1.0", "2", "1", "1",
          "0"},
         all);
  AddRun(digests, "debug", dir,
         {"--seed=6", "--threads=2", "plant_srp10.txt", "plant_srp10.nex.con.tre",
          "plant_srp10.nex.pstat", "debug.fa", "0", "0.5", "1", "0", "0", "1"},
         {"", ".par", ".tree", ".map.fa"});
  std::vector<std::string> all_clades = all;
  all_clades.push_back(".clades");
  AddRun(digests, "many", dir,
         {"--seed=5", "--state", "--report", "--gaps=tree", "--loglik", "--trees=20",
          "plant_srp10.txt", "plant_srp10_2runs.nex.run1.t,plant_srp10_2runs.nex.run2.t",
          "plant_srp10_2runs.nex.run1.p,plant_srp10_2runs.nex.run2.p", "many.fa", "0", "1.0", "2",
          "0", "1", "0"},
         all_clades);
  AddRun(digests, "prompted", dir, {"--seed=8"}, {"", ".par", ".tree", ".map.fa"},
         "plant_srp10.txt\nplant_srp10.nex.con.tre\nplant_srp10.nex.pstat\nprompted.fa\n1\n1.0\n"
         "1\n0\n0\n0\n");
  digests["help.stdout"] = Digest(RunProgram(RIBOTRACE_BINARY, {"--help"}).output);

  if (const char* store = std::getenv("RIBOTRACE_STORE_DIGESTS")) {
    std::ofstream out(store);
    for (const auto& [name, digest] : digests) out << name << ' ' << digest << '\n';
    GTEST_SKIP() << "digests written to " << store;
  }
  Digests stored;
  std::istringstream lines(ReadFile(kStoredDigests));
  for (std::string name, size, hash; lines >> name >> size >> hash;)
    stored[name] = size + " " + hash;
  ASSERT_EQ(stored.size(), digests.size());
  for (const auto& [name, digest] : digests) EXPECT_EQ(digest, stored[name]) << name;
}
