// Work produced in parallel and consumed in order. Items 0 .. n - 1 are
// grouped into batches of consecutive items; worker threads fill batches in
// any order, and the calling thread consumes them strictly in item order,
// so what it writes does not depend on the number of threads. At most a few
// batches per thread exist at a time, which bounds the memory.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

// The text of a batch of consecutive items.
struct TextBatch {
  std::size_t first = 0;  // first item
  std::size_t count = 0;  // number of items
  std::string results;    // what goes into the results file
  std::string listing;    // what goes to the diagnostic listing
};

// Produces item `item` by appending to `batch`; `worker` (0 .. threads - 1)
// identifies the calling thread for per-thread scratch space.
using ProduceItem = std::function<void(std::size_t item, int worker, TextBatch& batch)>;
using ConsumeBatch = std::function<void(const TextBatch& batch)>;

// The number of threads that --threads=N asks for: N, or every core for 0.
int ResolveThreadCount(int requested);

// Produces every item and consumes the batches in order. With one thread
// everything happens on the calling thread. An exception from `produce` is
// rethrown on the calling thread when the batch holding it is due, so the
// first failure in item order is the one reported, after every batch
// before it has been consumed.
void ProduceInOrder(std::size_t n_items, std::size_t batch_size, int threads,
                    const ProduceItem& produce, const ConsumeBatch& consume);
