#include "tests/common/allocationprobe.h"

#include <cstdlib>
#include <new>

namespace {

std::atomic<std::size_t> largestSize{0};

void* allocate(std::size_t size)
{
    std::size_t seen = largestSize.load(std::memory_order_relaxed);
    while (size > seen && !largestSize.compare_exchange_weak(seen, size))
        ;
    if (void* memory = std::malloc(size == 0 ? 1 : size))
        return memory;
    throw std::bad_alloc();
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
    std::free(memory);
}
void operator delete[](void* memory) noexcept
{
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept
{
    std::free(memory);
}
void operator delete[](void* memory, std::size_t) noexcept
{
    std::free(memory);
}
