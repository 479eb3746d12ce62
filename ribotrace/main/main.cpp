// ribotrace: samples ancestral RNA sequences under a doublet model for stems
// and a GTR model for loops, on a tree and parameters estimated by MrBayes.
#include <cstdio>
#include <iostream>
#include <new>

#include "bailout/bailout.h"
#include "option_table.h"
#include "run/analysis_driver.h"
#include "run/fit_step.h"
#include "version.h"

int main(int argc, char** argv) {
  try {
    CommandLine line = ParseCommandLine(argc, argv);
    if (line.help) {
      std::printf("%s\n%s", RibotraceUsage().c_str(), RibotraceHelp().c_str());
      return 0;
    }
    if (line.version) {
      std::printf("ribotrace %s\n", kProgramVersion);
      return 0;
    }
    if (!line.named.empty()) {
      CompleteNamedValues(line);
    } else if (GetInputValues(line.positional, line.positional.size() >= 2, line.values,
                              std::cin) == 1) {
      PrintErrorAndExitSafely(
          "A problem with the input or commandline values was encountered. Check and retry.\n" +
          RibotraceUsage());
    }
    if (line.values.fit) line.values = FitBeforeAnalysis(line.values);
    CalcAncestralStates(line.values);
    return 0;
  } catch (const FatalError& error) {
    return ReportFatalError(error);
  } catch (const std::bad_alloc&) {
    return ReportFatalError(FatalError("Out of memory.", ErrorForm::kBailout));
  }
}
