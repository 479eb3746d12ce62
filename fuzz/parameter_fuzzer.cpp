// libFuzzer entry for fuzz_harness::ParameterInput (see harnesses.h).
#include <cstddef>
#include <cstdint>

#include "harnesses.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz_harness::ParameterInput({data, size});
  return 0;
}
