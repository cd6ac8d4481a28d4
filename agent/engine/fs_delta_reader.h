// Reads a file-system delta through DE_GetDelta: header, operations, path
// text and frame table into the heap, every structural rule checked and the
// delta hash compared, before anything is written.
#pragma once

#include "delta_format.h"
#include "engine_run.h"

struct kvr_fs_tables {
    kvr_delta_header header;
    const uint8_t* ops;
    const uint8_t* text; // header.fs.text_size bytes of path text
    const uint8_t* frames;
};

uint32_t kvr_fs_delta_load(kvr_engine_run* run, kvr_fs_tables* tables);

kvr_fs_op kvr_fs_op_at(const kvr_fs_tables& tables, uint32_t i);
kvr_delta_frame kvr_fs_frame_at(const kvr_fs_tables& tables, uint32_t i);
