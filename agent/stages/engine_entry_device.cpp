// The device build's engine entry: the delta update engine.
#include "delta_engine.h"
#include "engine_callbacks.h"

kvr_engine_entry_fn kvr_engine_entry = kvr_delta_engine_run;
