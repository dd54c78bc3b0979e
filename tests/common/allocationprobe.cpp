#include "tests/common/allocationprobe.h"

#include <cstdlib>
#include <malloc.h>
#include <new>

namespace {

std::atomic<std::size_t> largestSize{0};
std::atomic<std::size_t> liveBytes{0};

void* allocate(std::size_t size)
{
    std::size_t seen = largestSize.load(std::memory_order_relaxed);
    while (size > seen && !largestSize.compare_exchange_weak(seen, size))
        ;
    void* memory = std::malloc(size == 0 ? 1 : size);
    if (!memory)
        throw std::bad_alloc();
    liveBytes += ::malloc_usable_size(memory);
    return memory;
}

void release(void* memory)
{
    if (memory)
        liveBytes -= ::malloc_usable_size(memory);
    std::free(memory);
}

} // namespace

void allocationprobe::reset()
{
    largestSize = 0;
}
std::size_t allocationprobe::largest()
{
    return largestSize.load();
}
std::size_t allocationprobe::live()
{
    return liveBytes.load();
}

void* operator new(std::size_t size)
{
    return allocate(size);
}
void* operator new[](std::size_t size)
{
    return allocate(size);
}
void operator delete(void* memory) noexcept
{
    release(memory);
}
void operator delete[](void* memory) noexcept
{
    release(memory);
}
void operator delete(void* memory, std::size_t) noexcept
{
    release(memory);
}
void operator delete[](void* memory, std::size_t) noexcept
{
    release(memory);
}
