// One output file of a run. The run calls every writer's hooks in the
// order of its work; a writer uses the ones its file needs.
#pragma once

#include <string_view>

#include "io/run_results.h"

class OutputWriter {
 public:
  virtual ~OutputWriter() = default;
  // Before the first row.
  virtual void Head() {}
  // Sample rows' blocks, in file order, as they are drawn; they are never
  // all in memory at once.
  virtual void Rows(std::string_view /*blocks*/) {}
  // Each result unit, in table order (pre-order), once the means are final
  // and before drawing rows has conditioned any posterior.
  virtual void Unit(const UnitResult& /*unit*/) {}
  // After the last row.
  virtual void End(const RunResults& /*results*/) {}
};
