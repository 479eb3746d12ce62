// The fit's work split over site patterns: fixed chunks of patterns, so
// that what is computed (and the order in which per-chunk sums are added)
// is the same on any number of threads, and a fit is reproducible to the
// last bit whatever --threads says.
#pragma once

#include <algorithm>
#include <vector>

// Patterns per chunk: large enough that the matrix products stay efficient,
// small enough that a few hundred patterns still spread over the threads.
constexpr int kPatternChunk = 128;

struct PatternChunk {
  int index;  // chunk number
  int first;  // first pattern
  int count;  // patterns in it
};

class PatternChunks {
 public:
  PatternChunks(int n_patterns, int threads, int chunk = kPatternChunk)
      : n_patterns_(n_patterns), threads_(std::max(1, threads)), chunk_(chunk) {}

  int size() const { return (n_patterns_ + chunk_ - 1) / chunk_; }
  int chunk() const { return chunk_; }
  int threads() const { return threads_; }

  // Calls work(chunk, thread) once per chunk, in parallel over `threads`;
  // `thread` (below threads()) indexes the caller's per-thread scratch.
  template <class Work>
  void ForEach(Work&& work) const {
    const int n = size();
#pragma omp parallel for schedule(dynamic) num_threads(threads_) if (threads_ > 1 && n > 1)
    for (int k = 0; k < n; ++k) {
      const int first = k * chunk_;
      work(PatternChunk{k, first, std::min(chunk_, n_patterns_ - first)}, ThreadIndex());
    }
  }

  // The sum of value(chunk) over the chunks, added in chunk order.
  template <class Total, class Value>
  Total Sum(Value&& value) const {
    std::vector<Total> parts(static_cast<std::size_t>(size()));
    ForEach([&](const PatternChunk& chunk, int) { parts[chunk.index] = value(chunk); });
    Total total{};
    for (const Total& part : parts) total += part;
    return total;
  }

 private:
  static int ThreadIndex();

  int n_patterns_;
  int threads_;
  int chunk_;
};
