// libFuzzer entry for fuzz_harness::AnswersInput (see harnesses.h).
#include <cstddef>
#include <cstdint>

#include "harnesses.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz_harness::AnswersInput({data, size});
  return 0;
}
