// The engine entry of a build without the delta update engine.
#pragma once

#include <cstdint>

// Writes why to the fatal log and the engine trace and returns 0x80000000:
// no partition can be updated or verified.
uint32_t kvr_engine_missing(uintptr_t* params);
