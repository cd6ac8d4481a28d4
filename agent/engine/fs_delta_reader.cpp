#include "fs_delta_reader.h"

#include "delta_reader.h"
#include "engine_callbacks.h"

#include <sodium.h>

#include <cstring>

namespace {

bool header_sane(const kvr_delta_header& h)
{
    return kvr_delta_codec_sane(h) && kvr_fs_delta_table_size(h) <= h.body_size;
}

// A relative path: not empty, no leading "/", no "." or ".." part, no NUL.
bool path_valid(const uint8_t* path, uint32_t size)
{
    if (size == 0 || size > KVR_FS_PATH_LIMIT || path[0] == '/') return false;
    uint32_t part = 0;
    for (uint32_t i = 0; i <= size; ++i) {
        if (i < size && path[i] == 0) return false;
        if (i < size && path[i] != '/') continue;
        const uint8_t* start = path + part;
        uint32_t length = i - part;
        if (length == 0 || (length == 1 && start[0] == '.') || (length == 2 && start[0] == '.' && start[1] == '.'))
            return false;
        part = i + 1;
    }
    return true;
}

bool text_in(const kvr_delta_header& h, uint32_t at, uint32_t size)
{
    return at <= h.fs.text_size && size <= h.fs.text_size - at;
}

bool op_valid(const kvr_fs_tables& t, const kvr_fs_op& op, uint32_t index, uint32_t* next_frame)
{
    const kvr_delta_header& h = t.header;
    if (op.type < KVR_FS_CREATE_FOLDER || op.type > KVR_FS_ATTRIBUTES || !text_in(h, op.path_at, op.path_size) ||
        !text_in(h, op.extra_at, op.extra_size) || op.extra_size > KVR_FS_PATH_LIMIT ||
        !path_valid(t.text + op.path_at, op.path_size))
        return false;
    bool has_extra = op.type == KVR_FS_RENAME || op.type == KVR_FS_SYMLINK || op.type == KVR_FS_ATTRIBUTES;
    if (has_extra != (op.extra_size > 0)) return false;
    if (op.type == KVR_FS_RENAME && !path_valid(t.text + op.extra_at, op.extra_size)) return false;
    if (op.type == KVR_FS_SYMLINK) {
        uint8_t digest[KVR_DELTA_HASH_SIZE];
        crypto_hash_sha256(digest, t.text + op.extra_at, op.extra_size);
        if (std::memcmp(digest, op.target_hash, KVR_DELTA_HASH_SIZE) != 0) return false;
    }
    bool has_frames = op.type == KVR_FS_NEW_FILE || op.type == KVR_FS_CHANGED_FILE;
    if (!has_frames) return op.frame_count == 0;
    if (op.type == KVR_FS_NEW_FILE && op.source_size != 0) return false;
    if (op.first_frame != *next_frame || op.frame_count > h.frame_count - *next_frame) return false;
    for (uint32_t f = op.first_frame; f < op.first_frame + op.frame_count; ++f)
        if (kvr_fs_frame_at(t, f).first_block != index) return false;
    *next_frame += op.frame_count;
    return true;
}

// Operations are well formed and own their frames in order; the frames'
// packed bytes tile the rest of the body.
bool tables_valid(const kvr_fs_tables& t, uint32_t table_size)
{
    const kvr_delta_header& h = t.header;
    uint64_t packed_at = table_size;
    for (uint32_t f = 0; f < h.frame_count; ++f) {
        kvr_delta_frame frame = kvr_fs_frame_at(t, f);
        if (!kvr_frame_follows(frame, h.dict_size, &packed_at) || frame.block_count != 1) return false;
    }
    uint32_t next_frame = 0;
    for (uint32_t i = 0; i < h.fs.op_count; ++i)
        if (!op_valid(t, kvr_fs_op_at(t, i), i, &next_frame)) return false;
    return next_frame == h.frame_count && packed_at == h.body_size;
}

} // namespace

kvr_fs_op kvr_fs_op_at(const kvr_fs_tables& tables, uint32_t i)
{
    kvr_fs_op op;
    kvr_fs_op_read(tables.ops + uint64_t(i) * KVR_FS_OP_ENTRY_SIZE, &op);
    return op;
}

kvr_delta_frame kvr_fs_frame_at(const kvr_fs_tables& tables, uint32_t i)
{
    return kvr_frame_entry(tables.frames, i);
}

uint32_t kvr_fs_delta_load(kvr_engine_run* run, kvr_fs_tables* t)
{
    uint8_t raw[KVR_DELTA_HEADER_MAX];
    uint32_t result = kvr_delta_read_header(run, KVR_DELTA_FILE_SYSTEM, raw, &t->header);
    if (result != KVR_DE_OK) return result;
    const kvr_delta_header& h = t->header;
    if (!header_sane(h)) {
        DE_Trace(run->ctx, "%s: delta header is inconsistent\n", run->part_name);
        return KVR_ENGINE_ERR_HEADER;
    }
    uint32_t table_size = uint32_t(kvr_fs_delta_table_size(h));
    const uint8_t* table = nullptr;
    result = kvr_delta_read_tables(run, raw, h, table_size, &table);
    if (result != KVR_DE_OK) return result;
    t->ops = table;
    t->text = t->ops + uint64_t(h.fs.op_count) * KVR_FS_OP_ENTRY_SIZE;
    t->frames = t->text + h.fs.text_size;
    if (!tables_valid(*t, table_size)) {
        DE_Trace(run->ctx, "%s: delta operations are inconsistent\n", run->part_name);
        return KVR_ENGINE_ERR_HEADER;
    }
    return KVR_DE_OK;
}
