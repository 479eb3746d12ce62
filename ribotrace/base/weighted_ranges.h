// Work split over threads by consecutive ranges of items. Each range is
// worked by one thread from start to end, so what a range computes does not
// depend on how many ranges or threads there are, only the wall time does.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

// Splits items 0 .. n - 1 (n = weights.size()) into consecutive non-empty
// ranges of about equal total weight, one per thread (the .cpp says why), and
// calls work(first, last) for each range [first, last) on `threads`
// threads (the calling thread one of them), each taking the next range as
// it becomes free.
// Returns when all are done; an exception from `work` is rethrown then, the
// one of the earliest range.
void WorkInWeightedRanges(const std::vector<double>& weights, int threads,
                          const std::function<void(std::size_t first, std::size_t last)>& work);
