// Turns one block's operations into its new content: copies read the old
// flash through the source read and add the difference bytes, literals are
// taken as they are, and the rest of the block is 0xFF.
#pragma once

#include "delta_reader.h"

// Where the next block's operations start in an unpacked frame.
struct kvr_frame_cursor {
    const uint8_t* control;
    const uint8_t* control_end;
    const uint8_t* difference;
    const uint8_t* difference_end;
    const uint8_t* literal;
    const uint8_t* literal_end;
    uint32_t source_at; // end of the frame's previous copy
};

void kvr_frame_cursor_init(kvr_frame_cursor* cursor, const kvr_delta_frame& frame, const uint8_t* unpacked);

// Builds the block into out (block size bytes) when out is not null, else
// only steps over its operations. Every copy must lie inside one source block
// that the block lists. Under a code transform the source bytes of each copy
// get the branch prediction before the difference is added.
uint32_t kvr_block_build(kvr_engine_run* run, const kvr_delta_tables& tables, const kvr_delta_block& block,
                         kvr_frame_cursor* cursor, uint8_t* out);

// Bytes of the target image inside the block (block size but for the last).
uint32_t kvr_block_image_bytes(const kvr_delta_header& header, uint32_t index);
