// pairnex: turns an alignment-and-structure file into the NEXUS file that
// MrBayes analyses, with stem pairs under the doublet model and loops under
// the 4by4 model.
#include <cstdio>
#include <iostream>
#include <new>

#include "bailout/bailout.h"
#include "convert_file.h"
#include "fasta_output.h"
#include "pairnex_input_values.h"
#include "version.h"

int main(int argc, char** argv) {
  try {
    const pairnex::ConverterOptions options = pairnex::ParseConverterOptions(argc, argv);
    if (options.help) {
      std::fputs(pairnex::PairnexHelp().c_str(), stdout);
      return 0;
    }
    if (options.version) {
      std::printf("pairnex %s\n", kProgramVersion);
      return 0;
    }
    std::string data_file;
    std::string output_file;
    const bool use_command_line = options.positional.size() > 1;
    pairnex::GetInputValues(options.positional, use_command_line, data_file, output_file, std::cin);
    if (options.fasta) {
      pairnex::WriteFasta(data_file, output_file);
    } else {
      pairnex::ConvertFile(data_file, output_file, options.run);
    }
    return 0;
  } catch (const FatalError& error) {
    return ReportFatalError(error);
  } catch (const std::bad_alloc&) {
    return ReportFatalError(FatalError("Out of memory.", ErrorForm::kBailout));
  }
}
