// The device build's engine entry. The delta update engine is not built into
// the agent yet, so every partition fails cleanly.
#include "engine_callbacks.h"
#include "engine_missing.h"

kvr_engine_entry_fn kvr_engine_entry = kvr_engine_missing;
