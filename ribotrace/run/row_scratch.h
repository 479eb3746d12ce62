// Rows of the results file that are produced out of their file order (the
// draws of a clade come from the trees that hold it, one tree after
// another): kept on disk in fixed-size slots, so memory holds none of
// them, and read back in order at the end.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

class RowScratch {
 public:
  // An unnamed file of n_rows slots of row_size bytes, in the folder of
  // `beside` (else $TMPDIR, else /tmp); it is unlinked at once, so nothing
  // remains after the run, however it ends.
  RowScratch(std::size_t n_rows, std::size_t row_size, const std::string& beside);
  ~RowScratch();
  RowScratch(const RowScratch&) = delete;
  RowScratch& operator=(const RowScratch&) = delete;

  // Stores the row_size bytes of `row`.
  void Put(std::size_t row, std::string_view characters);
  // Hands every row in order to `take`.
  void ReadInOrder(const std::function<void(std::size_t row, std::string_view characters)>& take);

 private:
  int fd_ = -1;
  std::size_t n_rows_;
  std::size_t row_size_;
};
