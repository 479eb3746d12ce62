// Per-stage figures of a run for --timings: time, random draws, bytes
// written and the peak resident memory so far, printed on standard error
// so that standard output stays as it is without the option.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class StageTimings {
 public:
  // Starts the clock of the next stage.
  void Start() { started_ = std::chrono::steady_clock::now(); }
  // Records the stage that ran since Start() and restarts the clock.
  void Stop(const std::string& stage, std::uint64_t draws = 0, std::uint64_t bytes = 0);
  // Records a stage timed elsewhere (e.g. summed over threads).
  void Add(const std::string& stage, double seconds, std::uint64_t draws, std::uint64_t bytes);
  // One line per stage: name, seconds, draws/s, bytes/s, peak memory in kB.
  void Print(std::FILE* out) const;

 private:
  struct Stage {
    std::string name;
    double seconds;
    std::uint64_t draws;
    std::uint64_t bytes;
    long peak_kb;
  };
  std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
  std::vector<Stage> stages_;
};

// The peak resident memory of the process so far, in kB.
long PeakResidentKilobytes();
