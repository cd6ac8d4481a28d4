#include "delta_reader.h"

#include "engine_callbacks.h"

#include <sodium.h>

#include <cstring>

namespace {

constexpr uint32_t kHashChunk = 64 * 1024;

uint32_t check_header(kvr_engine_run* run, const kvr_delta_header& header)
{
    const kvr_image_delta_fields& h = header.image;
    uint32_t flash_block = DE_GetBlockSize(run->ctx);
    if (h.block_size != flash_block) {
        DE_Trace(run->ctx, "%s: delta made for block size 0x%x, flash has 0x%x\n", run->part_name,
                 h.block_size, flash_block);
        return KVR_ENGINE_ERR_BLOCK_SIZE;
    }
    if (!kvr_transform_known(h.transform) || h.transform_start > h.transform_end) {
        DE_Trace(run->ctx, "%s: delta names code transform %u over 0x%x..0x%x, which this engine does not know\n",
                 run->part_name, h.transform, h.transform_start, h.transform_end);
        return KVR_ENGINE_ERR_HEADER;
    }
    bool sane = kvr_delta_codec_sane(header) && h.block_size > 0 && h.block_size <= KVR_DELTA_BLOCK_LIMIT &&
                h.block_count <= kvr_delta_blocks_for(h.target_size, h.block_size) &&
                (h.block_count == 0) == (header.frame_count == 0) && header.frame_count <= h.block_count &&
                kvr_delta_table_size(header) <= header.body_size;
    if (!sane) {
        DE_Trace(run->ctx, "%s: delta header is inconsistent\n", run->part_name);
        return KVR_ENGINE_ERR_HEADER;
    }
    return KVR_DE_OK;
}

// Hashes the frame bytes that follow the tables, in pieces, and compares the
// whole delta's hash.
uint32_t check_delta_hash(kvr_engine_run* run, crypto_hash_sha256_state* sha, const kvr_delta_header& header, uint32_t frames_at)
{
    uint32_t mark = kvr_heap_mark(&run->heap);
    uint8_t* chunk = static_cast<uint8_t*>(kvr_engine_alloc(run, kHashChunk));
    if (chunk == nullptr) return KVR_ENGINE_ERR_NO_MEMORY;
    uint32_t at = frames_at;
    uint32_t end = kvr_delta_header_size(header) + header.body_size;
    uint32_t result = KVR_DE_OK;
    while (result == KVR_DE_OK && at < end) {
        uint32_t size = end - at < kHashChunk ? end - at : kHashChunk;
        result = kvr_delta_read(run, chunk, at, size);
        crypto_hash_sha256_update(sha, chunk, size);
        at += size;
    }
    kvr_heap_release(&run->heap, mark);
    if (result != KVR_DE_OK) return result;
    uint8_t digest[KVR_DELTA_HASH_SIZE];
    crypto_hash_sha256_final(sha, digest);
    if (std::memcmp(digest, header.delta_hash, KVR_DELTA_HASH_SIZE) != 0) {
        DE_Trace(run->ctx, "%s: delta hash mismatch, the delta is damaged\n", run->part_name);
        return KVR_ENGINE_ERR_DELTA_HASH;
    }
    return KVR_DE_OK;
}

bool refs_valid(const kvr_delta_tables& t, const kvr_delta_block& b)
{
    uint32_t refs = t.header.image.ref_count;
    if (b.ref_first > refs || b.ref_count > refs - b.ref_first) return false;
    for (uint32_t r = 0; r < b.ref_count; ++r) {
        uint32_t ref = kvr_delta_ref_at(t, b.ref_first + r);
        if (ref >= kvr_delta_source_blocks(t.header)) return false;
        if (r > 0 && ref <= kvr_delta_ref_at(t, b.ref_first + r - 1)) return false;
    }
    return true;
}

// Frames tile the block table in order and their packed bytes tile the rest
// of the body; every block is named once, and reads only listed source blocks.
bool tables_valid(kvr_engine_run* run, const kvr_delta_tables& t, uint32_t table_size)
{
    const kvr_delta_header& h = t.header;
    uint32_t block_count = h.image.block_count;
    uint32_t target_blocks = kvr_delta_blocks_for(h.image.target_size, h.image.block_size);
    uint8_t* seen = static_cast<uint8_t*>(kvr_engine_alloc(run, target_blocks + 1));
    if (seen == nullptr) return false;
    std::memset(seen, 0, target_blocks + 1);
    uint64_t packed_at = table_size;
    uint32_t next_block = 0;
    for (uint32_t f = 0; f < h.frame_count; ++f) {
        kvr_delta_frame frame = kvr_delta_frame_at(t, f);
        if (!kvr_frame_follows(frame, h.dict_size, &packed_at) || frame.first_block != next_block ||
            frame.block_count == 0 || frame.block_count > block_count - next_block)
            return false;
        for (uint32_t i = frame.first_block; i < frame.first_block + frame.block_count; ++i) {
            kvr_delta_block b = kvr_delta_block_at(t, i);
            if (b.frame != f || b.index >= target_blocks || seen[b.index] || !refs_valid(t, b)) return false;
            seen[b.index] = 1;
        }
        next_block += frame.block_count;
    }
    return next_block == block_count && packed_at == h.body_size;
}

// Segments ascend and lie apart in the old image, inside both images.
bool code_map_valid(const kvr_delta_tables& t)
{
    uint64_t end = 0;
    for (uint32_t i = 0; i < t.code_map.count; ++i) {
        const uint8_t* entry = t.code_map.entries + uint64_t(i) * KVR_CODE_MAP_ENTRY_SIZE;
        uint64_t old_start = kvr_le32(entry), new_start = kvr_le32(entry + 4), length = kvr_le32(entry + 8);
        if (length == 0 || old_start < end || old_start + length > t.header.image.source_size ||
            new_start + length > t.header.image.target_size)
            return false;
        end = old_start + length;
    }
    return true;
}

} // namespace

bool kvr_delta_codec_sane(const kvr_delta_header& h)
{
    return h.codec == KVR_DELTA_CODEC_LZMA2 && h.dict_size >= 4096 && h.dict_size <= KVR_DELTA_FRAME_LIMIT &&
           h.body_size <= UINT32_MAX - KVR_DELTA_HEADER_MAX;
}

bool kvr_frame_follows(const kvr_delta_frame& frame, uint32_t dict_size, uint64_t* packed_at)
{
    uint64_t unpacked = uint64_t(frame.control_size) + frame.difference_size + frame.literal_size;
    if (frame.offset != *packed_at || frame.packed_size == 0 || unpacked > dict_size) return false;
    *packed_at += frame.packed_size;
    return true;
}

kvr_delta_block kvr_delta_block_at(const kvr_delta_tables& tables, uint32_t i)
{
    kvr_delta_block block;
    kvr_delta_block_read(tables.blocks + uint64_t(i) * KVR_DELTA_BLOCK_ENTRY_SIZE, &block);
    return block;
}

kvr_delta_frame kvr_delta_frame_at(const kvr_delta_tables& tables, uint32_t i)
{
    return kvr_frame_entry(tables.frames, i);
}

kvr_delta_frame kvr_frame_entry(const uint8_t* frame_table, uint32_t i)
{
    kvr_delta_frame frame;
    kvr_delta_frame_read(frame_table + uint64_t(i) * KVR_DELTA_FRAME_ENTRY_SIZE, &frame);
    return frame;
}

uint32_t kvr_delta_ref_at(const kvr_delta_tables& tables, uint32_t i)
{
    return kvr_le32(tables.refs + uint64_t(i) * KVR_DELTA_REF_SIZE);
}

uint32_t kvr_delta_read(kvr_engine_run* run, uint8_t* buffer, uint32_t at, uint32_t size)
{
    if (DE_GetDelta(run->ctx, buffer, at, size) == KVR_DE_OK) return KVR_DE_OK;
    DE_Trace(run->ctx, "%s: delta read at 0x%x, 0x%x bytes failed\n", run->part_name, at, size);
    return KVR_ENGINE_ERR_IO;
}

uint32_t kvr_delta_read_header(kvr_engine_run* run, uint32_t kind, uint8_t raw[KVR_DELTA_HEADER_MAX],
                               kvr_delta_header* header)
{
    // At most three reads: the common part, an image's words up to its
    // transform, the rest.
    uint32_t have = 0, need = KVR_DELTA_HEADER_PREFIX;
    while (need > have) {
        uint32_t result = kvr_delta_read(run, raw + have, have, need - have);
        if (result != KVR_DE_OK) return result;
        have = need;
        need = kvr_delta_header_bytes(raw, have);
    }
    if (need == 0 || !kvr_delta_header_read(raw, have, header)) {
        DE_Trace(run->ctx, "%s: not a delta of version %u\n", run->part_name, KVR_DELTA_VERSION);
        return KVR_ENGINE_ERR_HEADER;
    }
    if (header->kind != kind) {
        DE_Trace(run->ctx, "%s: delta of kind %u, the partition wants kind %u\n", run->part_name, header->kind, kind);
        return KVR_ENGINE_ERR_UNSUPPORTED;
    }
    return KVR_DE_OK;
}

uint32_t kvr_delta_read_tables(kvr_engine_run* run, const uint8_t raw[KVR_DELTA_HEADER_MAX],
                               const kvr_delta_header& header, uint32_t table_size, const uint8_t** table)
{
    uint8_t* tables = static_cast<uint8_t*>(kvr_engine_alloc(run, table_size));
    if (tables == nullptr) return KVR_ENGINE_ERR_NO_MEMORY;
    uint32_t header_size = kvr_delta_header_size(header);
    uint32_t result = kvr_delta_read(run, tables, header_size, table_size);
    if (result != KVR_DE_OK) return result;
    *table = tables;
    crypto_hash_sha256_state sha;
    crypto_hash_sha256_init(&sha);
    crypto_hash_sha256_update(&sha, raw, header_size - KVR_DELTA_HASH_SIZE);
    crypto_hash_sha256_update(&sha, tables, table_size);
    return check_delta_hash(run, &sha, header, header_size + table_size);
}

uint32_t kvr_delta_load(kvr_engine_run* run, kvr_delta_tables* t)
{
    uint8_t raw[KVR_DELTA_HEADER_MAX];
    uint32_t result = kvr_delta_read_header(run, KVR_DELTA_IMAGE, raw, &t->header);
    if (result == KVR_DE_OK) result = check_header(run, t->header);
    if (result != KVR_DE_OK) return result;
    const kvr_delta_header& h = t->header;
    uint32_t table_size = uint32_t(kvr_delta_table_size(h));
    const uint8_t* table = nullptr;
    result = kvr_delta_read_tables(run, raw, h, table_size, &table);
    if (result != KVR_DE_OK) return result;
    t->source_hashes = table;
    t->blocks = t->source_hashes + uint64_t(kvr_delta_source_blocks(h)) * KVR_DELTA_BLOCK_HASH_SIZE;
    t->refs = t->blocks + uint64_t(h.image.block_count) * KVR_DELTA_BLOCK_ENTRY_SIZE;
    t->code_map = {t->refs + uint64_t(h.image.ref_count) * KVR_DELTA_REF_SIZE, h.image.map_count};
    t->frames = t->code_map.entries + uint64_t(h.image.map_count) * KVR_CODE_MAP_ENTRY_SIZE;
    t->frames_at = kvr_delta_header_size(h) + table_size;
    uint32_t mark = kvr_heap_mark(&run->heap);
    bool valid = tables_valid(run, *t, table_size) && code_map_valid(*t);
    kvr_heap_release(&run->heap, mark);
    if (!valid) {
        DE_Trace(run->ctx, "%s: delta tables are inconsistent\n", run->part_name);
        return KVR_ENGINE_ERR_HEADER;
    }
    return KVR_DE_OK;
}
