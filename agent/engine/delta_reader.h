// Reads a partition's delta through DE_GetDelta: the header and tables into
// the heap, every structural rule checked and the delta hash compared, before
// anything is written.
#pragma once

#include "code_transform.h"
#include "delta_format.h"
#include "engine_run.h"

struct kvr_delta_tables {
    kvr_delta_header header;
    const uint8_t* source_hashes;
    const uint8_t* blocks;
    const uint8_t* refs;
    kvr_code_map code_map;
    const uint8_t* frames;
    uint32_t frames_at; // delta offset of the first frame's packed bytes
};

// An image delta.
uint32_t kvr_delta_load(kvr_engine_run* run, kvr_delta_tables* tables);

// What every kind shares: delta bytes at an offset; the header, of the
// kind wanted; the tables (table_size bytes after the header) into the heap,
// with the whole delta's hash checked.
uint32_t kvr_delta_read(kvr_engine_run* run, uint8_t* buffer, uint32_t at, uint32_t size);
uint32_t kvr_delta_read_header(kvr_engine_run* run, uint32_t kind, uint8_t raw[KVR_DELTA_HEADER_MAX],
                               kvr_delta_header* header);
uint32_t kvr_delta_read_tables(kvr_engine_run* run, const uint8_t raw[KVR_DELTA_HEADER_MAX],
                               const kvr_delta_header& header, uint32_t table_size, const uint8_t** table);
// The codec, dictionary and body size that every kind checks alike.
bool kvr_delta_codec_sane(const kvr_delta_header& header);
// A frame's packed bytes start where the previous frame's ended (*packed_at,
// from the body start; advanced past this frame) and it unpacks within the
// dictionary.
bool kvr_frame_follows(const kvr_delta_frame& frame, uint32_t dict_size, uint64_t* packed_at);
// Entry i of a frame table.
kvr_delta_frame kvr_frame_entry(const uint8_t* frame_table, uint32_t i);

kvr_delta_block kvr_delta_block_at(const kvr_delta_tables& tables, uint32_t i);
kvr_delta_frame kvr_delta_frame_at(const kvr_delta_tables& tables, uint32_t i);
uint32_t kvr_delta_ref_at(const kvr_delta_tables& tables, uint32_t i);
