// The delta update engine's entry. The agent points kvr_engine_entry at it.
#pragma once

#include <cstdint>

// Runs the partition that the parameter block describes: verify when word 0
// is 1, apply otherwise. 0, or one of the KVR_ENGINE_ERR_ codes.
uint32_t kvr_delta_engine_run(uintptr_t* params);
