// The simulator's command line.
#pragma once

#include <cstdint>
#include <string>

namespace sim {

struct Options {
  int taxa = 50;
  std::string tree_file;
  double mean_length = 0.05;
  std::string structure;
  int stems = 60;
  int loops = 180;
  std::string params_file;
  double stem_alpha = -1.0;  // < 0: as the parameter file says
  double loop_alpha = -1.0;
  int categories = 4;
  double stem_multiplier = -1.0;  // < 0: as the parameter file says
  double loop_multiplier = -1.0;
  double insertion_rate = 0.0;  // 0 with a deletion rate: deletion rate x characters
  double deletion_rate = 0.0;
  double indel_shape = 0.0;
  int indel_categories = 4;
  bool anchors = true;
  std::uint64_t seed = 1;
  std::string folder;
};

extern const char* const kUsage;

// Throws std::invalid_argument naming the option at fault.
Options ParseOptions(int argc, char** argv);

}  // namespace sim
