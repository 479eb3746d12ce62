// The writer of each output file, as the output table makes them.
#pragma once

#include <memory>

#include "io/output_writer.h"
#include "output/safe_output_file.h"

// The results file: ">SS_cons" and the structure line, the taxa's
// sequences when asked, then every sample row's block.
std::unique_ptr<OutputWriter> MakeSamplesWriter(SafeOutputFile& file, const AnalysedData& data);
// ".par": the summary's "name<tab>value" lines.
std::unique_ptr<OutputWriter> MakeSummaryWriter(SafeOutputFile& file, const AnalysedData& data);
// ".tree": the rooted tree with the units' names, or the consensus.
std::unique_ptr<OutputWriter> MakeTreeWriter(SafeOutputFile& file, const AnalysedData& data);
// ".map.fa": every unit's most probable sequence.
std::unique_ptr<OutputWriter> MakeMapWriter(SafeOutputFile& file, const AnalysedData& data);
// ".state": every unit's probabilities of A, C, G, U at every column.
std::unique_ptr<OutputWriter> MakeStateWriter(SafeOutputFile& file, const AnalysedData& data);
// ".pairs": every unit's probabilities of the 16 doublets at every stem pair.
std::unique_ptr<OutputWriter> MakePairsWriter(SafeOutputFile& file, const AnalysedData& data);
// ".html": the report page.
std::unique_ptr<OutputWriter> MakeReportWriter(SafeOutputFile& file, const AnalysedData& data);
// ".clades": the clades of a posterior sample.
std::unique_ptr<OutputWriter> MakeCladesWriter(SafeOutputFile& file, const AnalysedData& data);
// ".changes": what happened on each branch at each stem pair.
std::unique_ptr<OutputWriter> MakeChangesWriter(SafeOutputFile& file, const AnalysedData& data);
// ".branches": each branch's sums over its stem pairs and loop columns.
std::unique_ptr<OutputWriter> MakeBranchesWriter(SafeOutputFile& file, const AnalysedData& data);
