#include "base/stage_timings.h"

#include <sys/resource.h>

long PeakResidentKilobytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

void StageTimings::Stop(const std::string& stage, std::uint64_t draws, std::uint64_t bytes) {
  const auto now = std::chrono::steady_clock::now();
  Add(stage, std::chrono::duration<double>(now - started_).count(), draws, bytes);
  started_ = now;
}

void StageTimings::Add(const std::string& stage, double seconds, std::uint64_t draws,
                       std::uint64_t bytes) {
  stages_.push_back({stage, seconds, draws, bytes, PeakResidentKilobytes()});
}

void StageTimings::Print(std::FILE* out) const {
  std::fprintf(out, "%-22s %10s %14s %14s %12s\n", "stage", "seconds", "draws/s", "bytes/s",
               "peak_kB");
  for (const Stage& s : stages_) {
    const double per = s.seconds > 0.0 ? 1.0 / s.seconds : 0.0;
    std::fprintf(out, "%-22s %10.3f %14.4g %14.4g %12ld\n", s.name.c_str(), s.seconds,
                 static_cast<double>(s.draws) * per, static_cast<double>(s.bytes) * per, s.peak_kb);
  }
}
