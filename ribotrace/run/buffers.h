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

// A zero-filled buffer of the product of `dims` elements, or a fatal error
// with `failure_message` in the given form.
template <typename T>
std::vector<T> AllocateBuffer(std::initializer_list<long long> dims,
                              const std::string& failure_message,
                              ErrorForm form = ErrorForm::kPlainLine) {
  const std::optional<std::size_t> count =
      CheckedProduct(dims, std::numeric_limits<std::ptrdiff_t>::max() / sizeof(T));
  if (count) {
    try {
      return std::vector<T>(*count);
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
  }
  throw FatalError(failure_message, form);
}
