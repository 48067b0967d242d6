#include "AllocationCounter.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace {

std::atomic<long> liveCount{0};
thread_local int pauseDepth = 0;

// Each block carries a header that says whether it was counted, so a block
// allocated during a pause is not uncounted when it is released.
constexpr std::size_t headerSize = 16; // keeps the default new alignment
constexpr std::uint32_t countedMark = 0xC0C0C0C0u;

void* allocate(std::size_t size)
{
    auto* block = static_cast<unsigned char*>(std::malloc(size + headerSize));
    if (!block)
        throw std::bad_alloc();
    const std::uint32_t mark = pauseDepth == 0 ? countedMark : 0;
    *reinterpret_cast<std::uint32_t*>(block) = mark;
    if (mark == countedMark)
        ++liveCount;
    return block + headerSize;
}

void release(void* p) noexcept
{
    if (!p)
        return;
    auto* block = static_cast<unsigned char*>(p) - headerSize;
    if (*reinterpret_cast<std::uint32_t*>(block) == countedMark)
        --liveCount;
    std::free(block);
}

void* allocateNoThrow(std::size_t size) noexcept
{
    try {
        return allocate(size);
    } catch (...) {
        return nullptr;
    }
}

} // namespace

long AllocationCounter::live() { return liveCount.load(); }
AllocationCounter::Pause::Pause() { ++pauseDepth; }
AllocationCounter::Pause::~Pause() { --pauseDepth; }

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocateNoThrow(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocateNoThrow(size); }
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { release(p); }
