// SPDX-License-Identifier: GPL-3.0-or-later
#include "HeapPeak.h"

#include <atomic>
#include <cstdlib>
#include <malloc.h>
#include <new>

namespace {

std::atomic<std::size_t> g_held{0};
std::atomic<std::size_t> g_peak{0};
std::atomic<std::size_t> g_base{0};

void* Counted(std::size_t size)
{
    void* p = std::malloc(size == 0 ? 1 : size);
    if (!p)
        throw std::bad_alloc();
    const std::size_t held = g_held += malloc_usable_size(p);
    for (std::size_t peak = g_peak; held > peak && !g_peak.compare_exchange_weak(peak, held);) {
    }
    return p;
}

void Uncounted(void* p) noexcept
{
    if (!p)
        return;
    g_held -= malloc_usable_size(p);
    std::free(p);
}

} // namespace

void* operator new(std::size_t size)
{
    return Counted(size);
}
void* operator new[](std::size_t size)
{
    return Counted(size);
}
void operator delete(void* p) noexcept
{
    Uncounted(p);
}
void operator delete[](void* p) noexcept
{
    Uncounted(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    Uncounted(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    Uncounted(p);
}
// The nothrow forms too (the standard library's temporary buffers use them): otherwise the
// sanitizer's own would allocate what the replaced delete frees.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return Counted(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return Counted(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void operator delete(void* p, const std::nothrow_t&) noexcept
{
    Uncounted(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    Uncounted(p);
}

namespace keld::test {

void ResetHeapPeak()
{
    g_base = g_held.load();
    g_peak = g_held.load();
}

std::size_t HeapPeakSinceReset()
{
    return g_peak - g_base;
}

} // namespace keld::test
