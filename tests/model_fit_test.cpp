// The maximum-likelihood fit: its likelihood and branch derivatives, its
// parity with the real IQ-TREE where only the loop model applies, and that
// it never ends below MrBayes's own estimates.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <span>
#include <map>
#include <regex>

#include "fit/branch_lengths.h"
#include "fit/model_fit.h"
#include "fit/partition_likelihood.h"
#include "io/fit_tree_output.h"
#include "io/parameter_file.h"
#include "io/tree_file.h"
#include "model/gamma_rates.h"
#include "sequence/state_coding.h"
#include "test_support.h"
#include "tree/tree_construction.h"

namespace {

const std::string kExample = std::string(EXAMPLES_DIR) + "/plant_srp10";

FitTree ExampleTree(const Alignment& alignment) {
  std::vector<NodeStruct> nodes(static_cast<std::size_t>(2 * alignment.n_taxa - 1));
  std::vector<NodeStruct*> up(nodes.size()), down(nodes.size());
  SetUpTree(nodes, up, down, alignment.Names, ReadTreeFile(kExample + ".nex.con.tre"),
            alignment.n_taxa);
  return MakeFitTree(up, 1e-6);
}

// The example without its structure: every column a loop column.
Alignment LoopsOnly(Alignment alignment) {
  std::fill(alignment.structure.begin(), alignment.structure.end(), 0);
  return alignment;
}

// The example's names, and the fit's tree of a Newick text over them,
// written to `file` first.
std::vector<std::string> ExampleNames(const Alignment& alignment) {
  std::vector<std::string> names;
  for (const TaxonName& taxon : alignment.Names) names.push_back(taxon.name);
  return names;
}

// Seven members at the top, three in one group.
std::string PolytomousNewick(const std::vector<std::string>& n) {
  return "(" + n[0] + ":0.1," + n[1] + ":0.2,(" + n[2] + ":0.1," + n[3] + ":0.3," + n[4] +
         ":0.1):0.05," + n[5] + ":0.1,(" + n[6] + ":0.2," + n[7] + ":0.1):0.1," + n[8] + ":0.1," +
         n[9] + ":0.2);";
}

FitTree TreeOfText(const Alignment& alignment, const std::string& newick, const std::string& file) {
  { std::ofstream(file) << newick << "\n"; }
  std::vector<NodeStruct> nodes(static_cast<std::size_t>(2 * alignment.n_taxa - 1));
  std::vector<NodeStruct*> up(nodes.size()), down(nodes.size());
  SetUpTree(nodes, up, down, alignment.Names, ReadTreeFile(file), alignment.n_taxa);
  return MakeFitTree(up, 1e-6);
}

TEST(ModelFit, BranchDerivativesMatchFiniteDifferences) {
  const Alignment alignment = ReadAlignment(kExample + ".txt");
  const FitTree tree = ExampleTree(alignment);
  const SitePatterns stems = StemPatterns(alignment);
  ModelParams params = ReadParameterFile(kExample + ".nex.pstat", true);
  PartitionLikelihood likelihood(stems, tree);
  likelihood.SetModel(SubstitutionModel::ForStems(params.stem), DiscreteGammaMeanRates(0.7, 4),
                      2.0);
  // The likelihood that keeps no partials does the same products in
  // another order of nodes and must agree to the last bit.
  EXPECT_EQ(likelihood.LogLikelihood(tree), likelihood.Evaluate(tree));
  likelihood.SetRootMessages(tree);
  const int node = tree.Children(0)[0];  // its message above is the one just set
  const double t = tree.length[static_cast<std::size_t>(node)], h = 1e-5;
  const auto lnl = [&](double length) {
    FitTree changed = tree;
    changed.length[static_cast<std::size_t>(node)] = length;
    return likelihood.Evaluate(changed);
  };
  likelihood.PrepareBranch(node);
  const BranchDerivatives d = likelihood.Derivatives(t);
  EXPECT_NEAR(d.log_likelihood, lnl(t), 1e-8);
  EXPECT_NEAR(d.first, (lnl(t + h) - lnl(t - h)) / (2 * h), 1e-4 * std::abs(d.first) + 1e-4);
  EXPECT_NEAR(d.second, (lnl(t + h) - 2 * lnl(t) + lnl(t - h)) / (h * h),
              1e-2 * std::abs(d.second) + 1e-2);
}

// The whole route: the fit, its files, then the analysis reading them. The
// analysis's own likelihood of the written files is the fit's, and that is
// at least the consensus tree's under MrBayes's mean parameters.
TEST(ModelFit, FitThenAnalysisNeverBelowMrBayesMeans) {
  const Alignment alignment = ReadAlignment(kExample + ".txt");
  const ModelParams mrbayes = ReadParameterFile(kExample + ".nex.pstat", true);
  const double at_mean = FitLogLikelihood(alignment, ExampleTree(alignment), mrbayes, 4);
  const auto dir =
      std::filesystem::temp_directory_path() / ("fit_run_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const ProgramResult run = RunProgram(
      RIBOTRACE_BINARY, {"--fit", "--loglik", kExample + ".txt", kExample + ".nex.con.tre", "-",
                         (dir / "out").string(), "0", "1", "1", "0", "0"});
  ASSERT_EQ(run.status, 0) << run.output;
  std::smatch fit, analysis;
  ASSERT_TRUE(std::regex_search(run.output, fit, std::regex(R"(Fit: log-likelihood (-[0-9.]+))")));
  ASSERT_TRUE(std::regex_search(run.output, analysis, std::regex(R"(Log-likelihood: (-[0-9.]+))")));
  EXPECT_NEAR(std::stod(fit[1]), std::stod(analysis[1]), 1e-4);
  EXPECT_GE(std::stod(fit[1]), at_mean);
  // The summary keeps the fit's figures.
  std::ifstream par(dir / "out.par");
  std::map<std::string, double> summary;
  for (std::string name, value; par >> name >> value;) summary[name] = std::stod(value);
  EXPECT_NEAR(summary["fit_log_likelihood"], std::stod(fit[1]), 1e-4);
  EXPECT_GT(summary["fit_free_parameters"], 20);
  EXPECT_NEAR(summary["fit_AIC"],
              2 * summary["fit_free_parameters"] - 2 * summary["fit_log_likelihood"], 1e-4);
  std::filesystem::remove_all(dir);
}

// GTR+G with frequencies estimated, on IQ-TREE's own fixed topology: the two
// maxima agree within 0.05 log units, and ours is never lower by more.
TEST(ModelFit, MatchesIqTreeOnLoopsOnly) {
  if (FindOnPath("iqtree2").empty()) GTEST_SKIP() << "iqtree2 not installed";
  const Alignment alignment = LoopsOnly(ReadAlignment(kExample + ".txt"));
  const FitTree start = ExampleTree(alignment);
  const auto dir =
      std::filesystem::temp_directory_path() / ("fit_iqtree_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  {
    std::ofstream fasta(dir / "loops.fa"), newick(dir / "start.tre");
    for (const TaxonName& taxon : alignment.Names) {
      fasta << ">" << taxon.name << "\n";
      for (int site = 0; site < alignment.n_sites; ++site)
        fasta << NucIntToChar(alignment.Code(taxon.taxon_number, site));
      fasta << "\n";
    }
    newick << FitTreeNewick(start, alignment.Names);
  }
  const ProgramResult iqtree = RunProgram(
      FindOnPath("iqtree2"),
      {"-s", (dir / "loops.fa").string(), "-te", (dir / "start.tre").string(), "-m", "GTR+FO+G4",
       "-nt", "1", "-seed", "1", "--prefix", (dir / "iq").string(), "-quiet"});
  ASSERT_EQ(iqtree.status, 0) << iqtree.output;
  std::smatch match;
  const std::string log = ReadFile((dir / "iq.iqtree").string());
  ASSERT_TRUE(
      std::regex_search(log, match, std::regex(R"(Log-likelihood of the tree: (-[0-9.]+))")));
  const double theirs = std::stod(match[1]);
  FitOptions options;
  options.gamma = true;
  const FitResult ours = FitModel(alignment, start, options);
  EXPECT_NEAR(ours.log_likelihood, theirs, 0.05) << ours.params.loop.alpha;
  std::filesystem::remove_all(dir);
}

}  // namespace

// A topology without lengths and with polytomies (a consensus tree as
// drawn by hand): every branch starts at one length, and the polytomies
// stay polytomies, their resolution's branches fixed at 0 rather than
// fitted as if the tree said how to resolve them.
// A tree with polytomies, as IQ-TREE writes every tree (three branches at
// its root): the nodes that resolve them are numbered after all others, so
// a pass by node number would read their partials before computing them.
// The fit's likelihood of it is the analysis's.
TEST(ModelFit, LikelihoodOnAPolytomousTreeIsTheAnalysis) {
  const Alignment alignment = ReadAlignment(kExample + ".txt");
  const std::string newick = PolytomousNewick(ExampleNames(alignment));
  const auto dir =
      std::filesystem::temp_directory_path() / ("fit_lnl_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string tree_file = (dir / "poly.nwk").string();
  const double fit = FitLogLikelihood(alignment, TreeOfText(alignment, newick, tree_file),
                                      ReadParameterFile(kExample + ".nex.pstat", true), 4);
  const ProgramResult run = RunProgram(
      RIBOTRACE_BINARY, {"--loglik", kExample + ".txt", tree_file, kExample + ".nex.pstat",
                         (dir / "out").string(), "0", "1", "1", "0", "0"});
  ASSERT_EQ(run.status, 0) << run.output;
  std::smatch analysis;
  ASSERT_TRUE(std::regex_search(run.output, analysis, std::regex(R"(Log-likelihood: (-[0-9.]+))")));
  EXPECT_NEAR(fit, std::stod(analysis[1]), 1e-4);
  std::filesystem::remove_all(dir);
}

// The tree with every node that only resolves a polytomy taken out, and
// an interior child of a root of two, whose branch is one with its
// sibling's: their children become their parent's, so nodes have more than
// two children. A node taken out stays in the arrays, attached to nothing.
FitTree Unresolved(const FitTree& tree) {
  const std::span<const int> root = tree.Children(0);
  const int opened = tree.IsTip(root[0]) ? root[1] : root[0];
  const auto taken_out = [&](int node) {
    return !tree.IsTip(node) && (tree.IsMerged(node) || node == opened);
  };
  FitTree out = tree;
  out.length[static_cast<std::size_t>(opened == root[0] ? root[1] : root[0])] +=
      tree.length[static_cast<std::size_t>(opened)];
  std::vector<std::vector<int>> children(static_cast<std::size_t>(tree.size()));
  const std::function<void(int, std::vector<int>&)> gather = [&](int node, std::vector<int>& to) {
    for (const int child : tree.Children(node)) {
      if (taken_out(child)) {
        out.parent[static_cast<std::size_t>(child)] = -1;
        gather(child, to);
      } else {
        out.parent[static_cast<std::size_t>(child)] = node;
        to.push_back(child);
      }
    }
  };
  out.children_first.clear();
  for (const int node : tree.children_first) {
    if (taken_out(node)) continue;
    gather(node, children[static_cast<std::size_t>(node)]);
    out.children_first.push_back(node);
  }
  out.first_child.assign(1, 0);
  out.child.clear();
  for (const std::vector<int>& of : children) {
    out.child.insert(out.child.end(), of.begin(), of.end());
    out.first_child.push_back(static_cast<int>(out.child.size()));
  }
  return out;
}

// A node of many children is the polytomy it stands for, resolved with
// branches of length 0: the same likelihood, with and without kept
// partials, and the same branch lengths from the Newton-Raphson passes,
// whose messages from above then combine several siblings.
TEST(ModelFit, NodesOfManyChildrenAreThePolytomyResolved) {
  const Alignment alignment = ReadAlignment(kExample + ".txt");
  const std::string newick = PolytomousNewick(ExampleNames(alignment));
  const auto file =
      std::filesystem::temp_directory_path() / ("fit_many_" + std::to_string(::getpid()) + ".nwk");
  FitTree resolved = TreeOfText(alignment, newick, file.string());
  std::filesystem::remove(file);
  FitTree many = Unresolved(resolved);
  ASSERT_GE(many.Children(0).size(), 3u);
  const SitePatterns stems = StemPatterns(alignment);
  const ModelParams params = ReadParameterFile(kExample + ".nex.pstat", true);
  PartitionLikelihood on_resolved(stems, resolved), on_many(stems, many);
  for (PartitionLikelihood* p : {&on_resolved, &on_many}) {
    p->SetModel(SubstitutionModel::ForStems(params.stem), DiscreteGammaMeanRates(0.7, 4), 2.0);
  }
  const double lnl = on_resolved.Evaluate(resolved);
  EXPECT_NEAR(on_many.Evaluate(many), lnl, 1e-9 * std::abs(lnl));
  EXPECT_NEAR(on_many.LogLikelihood(many), lnl, 1e-9 * std::abs(lnl));
  // Passes to convergence: one pass visits the branches in another order.
  const auto converged = [](FitTree& tree, PartitionLikelihood& likelihood) {
    double last = -HUGE_VAL, now = OptimiseBranchLengths(tree, {&likelihood})[0];
    for (int pass = 0; pass < 500 && now - last > 1e-10; ++pass) {
      last = now;
      now = OptimiseBranchLengths(tree, {&likelihood})[0];
    }
    return now;
  };
  const double best = converged(resolved, on_resolved);
  EXPECT_NEAR(converged(many, on_many), best, 1e-6);
  for (int node = 1; node < many.size(); ++node) {
    if (many.parent[static_cast<std::size_t>(node)] <= 0) continue;  // the root's own differ
    EXPECT_NEAR(many.length[static_cast<std::size_t>(node)],
                resolved.length[static_cast<std::size_t>(node)], 1e-4)
        << node;
  }
}

TEST(ModelFit, TopologyWithoutLengthsKeepsItsPolytomies) {
  const Alignment alignment = ReadAlignment(kExample + ".txt");
  const std::vector<std::string> names = ExampleNames(alignment);
  ASSERT_EQ(names.size(), 10u);
  const std::string topology = "(" + names[0] + "," + names[1] + "," + names[2] + "," + names[3] +
                               ",(" + names[4] + "," + names[5] + "," + names[6] + ")," + names[7] +
                               "," + names[8] + "," + names[9] + ");";
  const auto dir =
      std::filesystem::temp_directory_path() / ("fit_poly_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  { std::ofstream((dir / "star.nwk").string()) << topology << "\n"; }
  const ProgramResult run =
      RunProgram(RIBOTRACE_BINARY, {"--fit", kExample + ".txt", (dir / "star.nwk").string(), "-",
                                    (dir / "out").string(), "0", "1", "1", "0", "0"});
  ASSERT_EQ(run.status, 0) << run.output;
  std::string fitted;
  std::getline(std::ifstream((dir / "out.fit.tre").string()), fitted);
  // The same groups: eight members at the top, three in the one group.
  int depth = 0, top = 1, inner = 1;
  for (const char c : fitted.substr(1)) {
    depth += c == '(' ? 1 : c == ')' ? -1 : 0;
    if (c == ',' && depth == 0) ++top;
    if (c == ',' && depth == 1) ++inner;
  }
  EXPECT_EQ(top, 8) << fitted;
  EXPECT_EQ(inner, 3) << fitted;
  std::filesystem::remove_all(dir);
}

// Threads share the site patterns in fixed chunks and add the chunks' sums
// in one order: the likelihood and its derivatives, and so the fit, are the
// same to the last bit on any thread count.
TEST(ModelFit, SameLikelihoodOnAnyNumberOfThreads) {
  const Alignment alignment = ReadAlignment(kExample + ".txt");
  const FitTree tree = ExampleTree(alignment);
  const SitePatterns stems = StemPatterns(alignment);
  const ModelParams params = ReadParameterFile(kExample + ".nex.pstat", true);
  const auto figures = [&](int threads) {
    PartitionLikelihood likelihood(stems, tree, threads, 8);
    likelihood.SetModel(SubstitutionModel::ForStems(params.stem), DiscreteGammaMeanRates(0.7, 4),
                        2.0);
    const double lnl = likelihood.Evaluate(tree);
    likelihood.SetRootMessages(tree);
    likelihood.PrepareBranch(tree.Children(0)[0]);
    const BranchDerivatives d = likelihood.Derivatives(0.05);
    return std::array<double, 4>{lnl, d.log_likelihood, d.first, d.second};
  };
  ASSERT_GT(stems.size(), 3 * 8);  // several chunks to share
  EXPECT_EQ(figures(1), figures(3));
}
