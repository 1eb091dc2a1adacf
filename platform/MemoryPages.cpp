#include "platform/MemoryPages.h"

#include <cstdint>
#include <sys/mman.h>
#include <unistd.h>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

namespace {

// Below this a block is a few pages, which their first touch brings in as cheaply.
constexpr size_t kSmallestBlock = size_t(64) << 10;

} // namespace

void PrefaultForWriting(void* data, size_t bytes)
{
    if (!data || bytes < kSmallestBlock)
        return;
    static const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
    // Only the pages wholly inside the block: the partial ones at its ends may hold other
    // blocks, which are touched as they are used.
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + page - 1) & ~(page - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(page - 1);
    if (end > begin)
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
}
