#include "io/writers/output_table.h"

#include "io/writers/writers.h"

namespace {

constexpr bool Always(const OutputChoice&) { return true; }

constexpr OutputRow kOutputs[] = {
    {"", Always, MakeSamplesWriter, "Unable to open output file ptr."},
    {".par", Always, MakeSummaryWriter, "Unable to open p_out file ptr."},
    {".tree", Always, MakeTreeWriter},
    {".map.fa", Always, MakeMapWriter},
    {".state", [](const OutputChoice& c) { return c.site_tables; }, MakeStateWriter},
    {".pairs", [](const OutputChoice& c) { return c.site_tables; }, MakePairsWriter},
    {".html", [](const OutputChoice& c) { return c.report; }, MakeReportWriter},
    {".clades", [](const OutputChoice& c) { return c.over_sample; }, MakeCladesWriter},
    {".changes", [](const OutputChoice& c) { return c.changes; }, MakeChangesWriter},
    {".branches", [](const OutputChoice& c) { return c.changes; }, MakeBranchesWriter},
};

}  // namespace

std::span<const OutputRow> OutputTable() { return kOutputs; }
