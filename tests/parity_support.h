// What the parity tests share: MrBayes's last sample as a parameter table
// that ribotrace reads, and ribotrace's loop posteriors compared with
// IQ-TREE's empirical Bayesian ancestral states.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "test_support.h"

// The header and the last row of a MrBayes .p file.
struct LastSample {
  std::vector<std::string> names;
  std::vector<std::string> values;
  double Value(const std::string& name) const {
    const auto at = std::find(names.begin(), names.end(), name);
    EXPECT_NE(at, names.end()) << name;
    return at == names.end() ? 0.0
                             : std::stod(values[static_cast<std::size_t>(at - names.begin())]);
  }
};

LastSample ReadLastSample(const std::string& p_file);

// The parameters of that sample as a summary table that ReadParameterFile
// reads: one row per parameter (TL, rates, frequencies, shapes).
std::string WriteSampleTable(const ScratchDir& dir, const LastSample& sample);

// Runs ribotrace --state and IQ-TREE --ancestral on the last tree of
// `t_file` with the loop model of `sample` (with a positive loop_alpha,
// +G4{loop_alpha}), on the loop columns alone, and compares the two
// programs' loop posteriors at the interior nodes, matched by the taxa
// around them. Leaves IQ-TREE's report in *report.
void CompareLoopPosteriorsWithIqTree(const std::string& data_file, const std::string& t_file,
                                     const LastSample& sample, double loop_alpha,
                                     std::string* report);
