#include "engine_heap.h"

namespace {
constexpr uintptr_t kAlign = 16;
}

void kvr_heap_init(kvr_heap* heap, void* base, uint32_t size)
{
    uintptr_t address = reinterpret_cast<uintptr_t>(base);
    uint32_t skip = uint32_t((kAlign - address % kAlign) % kAlign);
    heap->base = static_cast<uint8_t*>(base) + (skip < size ? skip : size);
    heap->size = skip < size ? size - skip : 0;
    heap->used = 0;
    heap->peak = 0;
}

void* kvr_heap_alloc(kvr_heap* heap, uint64_t size)
{
    uint64_t rounded = (size + kAlign - 1) / kAlign * kAlign;
    if (rounded > heap->size - heap->used) return nullptr;
    void* result = heap->base + heap->used;
    heap->used += uint32_t(rounded);
    if (heap->used > heap->peak) heap->peak = heap->used;
    return result;
}

uint32_t kvr_heap_mark(const kvr_heap* heap)
{
    return heap->used;
}

void kvr_heap_release(kvr_heap* heap, uint32_t mark)
{
    if (mark < heap->used) heap->used = mark;
}
