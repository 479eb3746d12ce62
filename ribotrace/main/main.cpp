// ribotrace: samples ancestral RNA sequences under a doublet model for stems
// and a GTR model for loops, on a tree and parameters estimated by MrBayes.
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <new>

#include "run/analysis_driver.h"
#include "bailout/bailout.h"
#include "input_values.h"
#include "version.h"

int main(int argc, char** argv) {
  try {
    const EntryOptions options = ParseEntryOptions(argc, argv);
    if (options.help) {
      std::printf("%s\n%s", kRibotraceUsage, kRibotraceHelp);
      return 0;
    }
    if (options.version) {
      std::printf("ribotrace %s\n", kProgramVersion);
      return 0;
    }
    RunValues values;
    values.seed = options.seed;
    values.threads = options.threads;
    values.timings = options.timings;
    values.marginal = !options.classic;
    values.loglik = options.loglik;
    values.outgroup = options.outgroup;
    values.state_tables = options.state;
    values.report = options.report;
    values.gamma_categories = options.gamma_categories;
    values.gaps_on_tree = options.gaps_on_tree;
    values.burnin = options.burnin;
    values.n_trees = options.n_trees;
    values.min_clade = options.min_clade;
    values.allow_lnl_mismatch = options.allow_lnl_mismatch;
    for (const char* sample_only : {"--burnin", "--trees", "--min-clade", "--allow-lnl-mismatch"}) {
      if (std::find(options.given.begin(), options.given.end(), sample_only) != options.given.end()) {
        values.sample_options_given.push_back(sample_only);
      }
    }
    const bool use_command_line = options.positional.size() >= 2;
    if (GetInputValues(options.positional, use_command_line, values, std::cin) == 1) {
      PrintErrorAndExitSafely(
          std::string("A problem with the input or commandline values was encountered. Check and "
                      "retry.\n") +
          kRibotraceUsage);
    }
    CalcAncestralStates(values);
    return 0;
  } catch (const FatalError& error) {
    return ReportFatalError(error);
  } catch (const std::bad_alloc&) {
    return ReportFatalError(FatalError("Out of memory.", ErrorForm::kBailout));
  }
}
