// The engine's only memory: a bump arena over the heap of the parameter
// block. Allocation fails with null when the heap is full; memory is given
// back in stack order through marks.
#pragma once

#include <cstdint>

struct kvr_heap {
    uint8_t* base;
    uint32_t size;
    uint32_t used;
    uint32_t peak;
};

void kvr_heap_init(kvr_heap* heap, void* base, uint32_t size);
void* kvr_heap_alloc(kvr_heap* heap, uint64_t size);
uint32_t kvr_heap_mark(const kvr_heap* heap);
void kvr_heap_release(kvr_heap* heap, uint32_t mark);
