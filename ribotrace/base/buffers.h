// Allocation of the run's buffers. Every size is a product of counts read
// from the user's files; a negative count or a product that does not fit is
// reported with the buffer's own failure message, exactly like an allocation
// that the system refuses, and never turns into a smaller buffer.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <limits>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

#include "bailout/bailout.h"

// The product of the factors, or nullopt when one is negative or the
// product exceeds `limit`.
inline std::optional<std::size_t> CheckedProduct(
    std::initializer_list<long long> factors,
    std::size_t limit = std::numeric_limits<std::size_t>::max()) {
  std::size_t product = 1;
  for (const long long factor : factors) {
    if (factor < 0) return std::nullopt;
    const auto f = static_cast<std::size_t>(factor);
    if (f != 0 && product > limit / f) return std::nullopt;
    product *= f;
  }
  return product;
}

// An allocator for the largest arrays of a run, the node vectors. A tree
// of tens of thousands of taxa needs gigabytes of them; on 4 KiB pages,
// touching each page for the first time (a page fault) costs more than
// filling it, and passes that stride from node to node miss the TLB on
// every step. Arrays of 2 MiB or more are therefore aligned to 2 MiB and
// offered to the kernel as transparent huge pages. The advice is only
// advice: where the kernel declines, the array works as any other.
template <typename T>
struct LargePageAllocator {
  using value_type = T;
  static constexpr std::size_t kHugePageBytes = std::size_t{2} << 20;

  LargePageAllocator() = default;
  template <typename U>
  explicit LargePageAllocator(const LargePageAllocator<U>& /*other*/) noexcept {}

  T* allocate(std::size_t n) {
    if (n > std::numeric_limits<std::size_t>::max() / sizeof(T)) throw std::bad_array_new_length();
    const std::size_t bytes = n * sizeof(T);
    if (bytes < kHugePageBytes) return static_cast<T*>(::operator new(bytes));
    void* block = ::operator new (bytes, std::align_val_t{kHugePageBytes});
    madvise(block, bytes, MADV_HUGEPAGE);
    return static_cast<T*>(block);
  }
  void deallocate(T* block, std::size_t n) noexcept {
    if (n * sizeof(T) < kHugePageBytes) {
      ::operator delete(block);
    } else {
      ::operator delete (block, std::align_val_t{kHugePageBytes});
    }
  }
  friend bool operator==(const LargePageAllocator&, const LargePageAllocator&) { return true; }
};

// A zero-filled buffer of the product of `dims` elements, or a fatal error
// with `failure_message` in the given form.
template <typename T, typename Allocator = std::allocator<T>>
std::vector<T, Allocator> AllocateBuffer(std::initializer_list<long long> dims,
                                         const std::string& failure_message,
                                         ErrorForm form = ErrorForm::kPlainLine) {
  const std::optional<std::size_t> count =
      CheckedProduct(dims, std::numeric_limits<std::ptrdiff_t>::max() / sizeof(T));
  if (count) {
    try {
      return std::vector<T, Allocator>(*count);
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
  }
  throw FatalError(failure_message, form);
}

// A buffer that a run is about to allocate: the factors of its element
// count and the size of one element.
struct PlannedBuffer {
  std::vector<long long> dims;
  std::size_t element_bytes = 1;
};

// The bytes the buffers need together, saturated at the largest size_t.
// A buffer with a negative factor counts as empty: its own allocation
// reports it, with its own message.
inline std::size_t PlannedBytes(const std::vector<PlannedBuffer>& buffers) {
  constexpr std::size_t kMax = std::numeric_limits<std::size_t>::max();
  std::size_t total = 0;
  for (const PlannedBuffer& buffer : buffers) {
    std::vector<long long> factors = buffer.dims;
    factors.push_back(static_cast<long long>(buffer.element_bytes));
    bool negative = false;
    bool empty = false;
    for (const long long factor : factors) {
      negative = negative || factor < 0;
      empty = empty || factor == 0;
    }
    if (negative || empty) continue;
    std::size_t bytes = 1;
    for (const long long factor : factors) {
      const auto f = static_cast<std::size_t>(factor);
      bytes = bytes > kMax / f ? kMax : bytes * f;
    }
    total = bytes > kMax - total ? kMax : total + bytes;
  }
  return total;
}

// The machine's physical memory, or nullopt when the system does not say.
inline std::optional<std::size_t> PhysicalMemoryBytes() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long page_size = sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || page_size <= 0) return std::nullopt;
  return CheckedProduct({pages, page_size});
}

// Fails early, as "\n\nErr: <what> need ... more than this machine has",
// when the planned buffers cannot fit in physical memory: the run would
// otherwise swap for hours or be killed by the kernel part way through,
// with nothing said. `what` names the value that made them so large.
inline void RequireMemoryFor(const std::vector<PlannedBuffer>& buffers, const std::string& what,
                             std::optional<std::size_t> available = PhysicalMemoryBytes()) {
  if (!available) return;
  const std::size_t needed = PlannedBytes(buffers);
  if (needed <= *available) return;
  constexpr std::size_t kMiB = std::size_t{1} << 20;
  const std::string amount = needed == std::numeric_limits<std::size_t>::max()
                                 ? std::string("more memory than can be addressed")
                                 : "about " + std::to_string(needed / kMiB + 1) + " MiB of memory";
  Fail(what + " need " + amount + ", more than the " + std::to_string(*available / kMiB) +
       " MiB this machine has.");
}
