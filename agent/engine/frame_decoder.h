// Unpacks one frame of operations: its packed bytes come through DE_GetDelta
// and LZMA2 decodes them with memory from the engine heap only.
#pragma once

#include "delta_reader.h"

// out receives exactly the frame's control, difference and literal sections.
// dict_size is the delta header's.
uint32_t kvr_frame_unpack(kvr_engine_run* run, const kvr_delta_header& header, const kvr_delta_frame& frame,
                          uint8_t* out);
