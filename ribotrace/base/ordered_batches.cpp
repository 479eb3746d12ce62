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

}  // namespace

void ProduceInOrder(std::size_t n_items, std::size_t batch_size, int threads,
                    const ProduceItem& produce, const ConsumeBatch& consume) {
  batch_size = std::max<std::size_t>(batch_size, 1);
  const std::size_t n_batches = (n_items + batch_size - 1) / batch_size;
  if (threads <= 1 || n_batches <= 1) {
    Slot slot;
    for (std::size_t b = 0; b < n_batches; ++b) {
      FillBatch(b, n_items, batch_size, 0, produce, slot);
      if (slot.failure) std::rethrow_exception(slot.failure);
      consume(slot.text);
    }
    return;
  }

  // Batch b lives in slot b mod n_slots; a worker may start it once the
  // consumer is done with batch b - n_slots.
  const std::size_t n_slots = 2 * static_cast<std::size_t>(threads);
  std::vector<Slot> slots(n_slots);
  for (std::size_t s = 0; s < n_slots; ++s) slots[s].batch = s;
  std::mutex mutex;
  std::condition_variable changed;
  std::size_t next_batch = 0;
  bool stop = false;

  auto work = [&](int worker) {
    for (;;) {
      std::size_t b = 0;
      {
        std::unique_lock lock(mutex);
        if (stop || next_batch >= n_batches) return;
        b = next_batch++;
        changed.wait(lock, [&] { return stop || slots[b % n_slots].batch == b; });
        if (stop) return;
      }
      Slot& slot = slots[b % n_slots];
      FillBatch(b, n_items, batch_size, worker, produce, slot);
      {
        std::lock_guard lock(mutex);
        slot.ready = true;
      }
      changed.notify_all();
    }
  };

  std::vector<std::thread> workers;
  // Joins the workers on every way out, a failure included.
  struct Joiner {
    std::vector<std::thread>& workers;
    std::mutex& mutex;
    std::condition_variable& changed;
    bool& stop;
    ~Joiner() {
      {
        std::lock_guard lock(mutex);
        stop = true;
      }
      changed.notify_all();
      for (std::thread& worker : workers) worker.join();
    }
  } joiner{workers, mutex, changed, stop};
  for (int w = 0; w < threads; ++w) workers.emplace_back(work, w);

  for (std::size_t b = 0; b < n_batches; ++b) {
    Slot& slot = slots[b % n_slots];
    {
      std::unique_lock lock(mutex);
      changed.wait(lock, [&] { return slot.ready; });
    }
    if (slot.failure) std::rethrow_exception(slot.failure);
    consume(slot.text);
    {
      std::lock_guard lock(mutex);
      slot.ready = false;
      slot.batch = b + n_slots;
    }
    changed.notify_all();
  }
}
