#include "base/ordered_batches.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

int ResolveThreadCount(int requested) {
  if (requested > 0) return requested;
  return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

namespace {

struct Slot {
  std::size_t batch = 0;  // which batch the slot holds or awaits
  bool ready = false;
  TextBatch text;
  std::exception_ptr failure;
};

void FillBatch(std::size_t batch, std::size_t n_items, std::size_t batch_size, int worker,
               const ProduceItem& produce, Slot& slot) {
  slot.text.first = batch * batch_size;
  slot.text.count = std::min(batch_size, n_items - slot.text.first);
  slot.text.results.clear();
  slot.text.listing.clear();
  slot.failure = nullptr;
  try {
    for (std::size_t i = 0; i < slot.text.count; ++i) {
      produce(slot.text.first + i, worker, slot.text);
    }
  } catch (...) {
    slot.failure = std::current_exception();
  }
}

void ProduceOnCallingThread(std::size_t n_items, std::size_t batch_size, std::size_t n_batches,
                            const ProduceItem& produce, const ConsumeBatch& consume) {
  Slot slot;
  for (std::size_t b = 0; b < n_batches; ++b) {
    FillBatch(b, n_items, batch_size, 0, produce, slot);
    if (slot.failure) std::rethrow_exception(slot.failure);
    consume(slot.text);
  }
}

// The batches in flight between the workers and the consumer. Batch b lives
// in slot b mod n_slots; a worker may start it once the consumer is done
// with batch b - n_slots, which bounds the memory to n_slots batches.
class BatchRing {
 public:
  BatchRing(std::size_t n_items, std::size_t batch_size, std::size_t n_batches, int threads,
            const ProduceItem& produce)
      : n_items_(n_items),
        batch_size_(batch_size),
        n_batches_(n_batches),
        n_slots_(2 * static_cast<std::size_t>(threads)),
        produce_(produce),
        slots_(n_slots_) {
    for (std::size_t s = 0; s < n_slots_; ++s) slots_[s].batch = s;
  }

  // A worker's loop: takes the next batch, waits for its slot to be free,
  // fills it; until every batch is taken or Stop.
  void Work(int worker) {
    for (;;) {
      std::size_t b = 0;
      {
        std::unique_lock lock(mutex_);
        if (stop_ || next_batch_ >= n_batches_) return;
        b = next_batch_++;
        changed_.wait(lock, [&] { return stop_ || slots_[b % n_slots_].batch == b; });
        if (stop_) return;
      }
      Slot& slot = slots_[b % n_slots_];
      FillBatch(b, n_items_, batch_size_, worker, produce_, slot);
      {
        std::lock_guard lock(mutex_);
        slot.ready = true;
      }
      changed_.notify_all();
    }
  }

  // Waits for batch b, hands it to `consume` (or rethrows its failure) and
  // frees its slot for batch b + n_slots.
  void Consume(std::size_t b, const ConsumeBatch& consume) {
    Slot& slot = slots_[b % n_slots_];
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return slot.ready; });
    }
    if (slot.failure) std::rethrow_exception(slot.failure);
    consume(slot.text);
    {
      std::lock_guard lock(mutex_);
      slot.ready = false;
      slot.batch = b + n_slots_;
    }
    changed_.notify_all();
  }

  // Makes every worker return, waiting or not.
  void Stop() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
  }

 private:
  const std::size_t n_items_;
  const std::size_t batch_size_;
  const std::size_t n_batches_;
  const std::size_t n_slots_;
  const ProduceItem& produce_;
  std::vector<Slot> slots_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t next_batch_ = 0;
  bool stop_ = false;
};

}  // namespace

void ProduceInOrder(std::size_t n_items, std::size_t batch_size, int threads,
                    const ProduceItem& produce, const ConsumeBatch& consume) {
  batch_size = std::max<std::size_t>(batch_size, 1);
  const std::size_t n_batches = (n_items + batch_size - 1) / batch_size;
  if (threads <= 1 || n_batches <= 1) {
    ProduceOnCallingThread(n_items, batch_size, n_batches, produce, consume);
    return;
  }
  BatchRing ring(n_items, batch_size, n_batches, threads, produce);
  std::vector<std::thread> workers;
  // Joins the workers on every way out, a failure included.
  struct Joiner {
    BatchRing& ring;
    std::vector<std::thread>& workers;
    ~Joiner() {
      ring.Stop();
      for (std::thread& worker : workers) worker.join();
    }
  } joiner{ring, workers};
  for (int w = 0; w < threads; ++w) workers.emplace_back([&ring, w] { ring.Work(w); });
  for (std::size_t b = 0; b < n_batches; ++b) ring.Consume(b, consume);
}
