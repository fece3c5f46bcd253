#include "pipeline/MemoryTuning.h"

#include <malloc.h>

namespace keelwick {

void keepMemoryBetweenDrawings() {
    constexpr int kLargeBlock = 512 * 1024 * 1024;
    mallopt(M_MMAP_THRESHOLD, kLargeBlock);
    mallopt(M_TRIM_THRESHOLD, kLargeBlock);
}

}  // namespace keelwick
