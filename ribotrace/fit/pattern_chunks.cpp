#include "fit/pattern_chunks.h"

#ifdef _OPENMP
#include <omp.h>
#endif

int PatternChunks::ThreadIndex() {
#ifdef _OPENMP
  return omp_get_thread_num();
#else
  return 0;
#endif
}
