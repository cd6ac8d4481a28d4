#include "fs_file_builder.h"

#include "block_builder.h"
#include "engine_callbacks.h"
#include "frame_decoder.h"
#include "fs_files.h"

#include <sodium.h>

namespace {

struct file_build {
    kvr_engine_run* run;
    const kvr_fs_op* op;
    int32_t source;   // handle, or -1 without an old file
    int32_t out;
    uint8_t* chunk;
    uint32_t written; // bytes of the new content so far
    uint32_t source_at;
    crypto_hash_sha256_state sha;
};

uint32_t io_failed(file_build* b, const char* what)
{
    DE_Trace(b->run->ctx, "%s: %s failed at 0x%x of a file\n", b->run->part_name, what, b->written);
    return KVR_ENGINE_ERR_IO;
}

uint32_t put(file_build* b, const uint8_t* data, uint32_t size)
{
    if (DE_WriteFile(b->run->ctx, b->out, b->written, data, size) != KVR_DE_OK) return io_failed(b, "write");
    crypto_hash_sha256_update(&b->sha, data, size);
    b->written += size;
    return KVR_DE_OK;
}

uint32_t copy(file_build* b, uint32_t source, uint32_t size, const uint8_t* difference)
{
    uint32_t result = KVR_DE_OK;
    for (uint32_t done = 0; done < size && result == KVR_DE_OK; done += KVR_FS_CHUNK) {
        uint32_t piece = size - done < KVR_FS_CHUNK ? size - done : KVR_FS_CHUNK;
        if (DE_ReadFile(b->run->ctx, b->source, source + done, b->chunk, piece) != KVR_DE_OK)
            return io_failed(b, "old file read");
        for (uint32_t k = 0; k < piece; ++k) b->chunk[k] = uint8_t(b->chunk[k] + difference[done + k]);
        result = put(b, b->chunk, piece);
    }
    return result;
}

uint32_t malformed(file_build* b)
{
    DE_Trace(b->run->ctx, "%s: file operations malformed at 0x%x\n", b->run->part_name, b->written);
    return KVR_ENGINE_ERR_DECODE;
}

// Runs the operations of one unpacked frame.
uint32_t run_frame(file_build* b, const kvr_delta_frame& frame, const uint8_t* unpacked)
{
    kvr_frame_cursor c;
    kvr_frame_cursor_init(&c, frame, unpacked);
    c.source_at = b->source_at;
    uint32_t result = KVR_DE_OK;
    while (result == KVR_DE_OK && c.control < c.control_end) {
        uint32_t copy_size, zigzag, literal;
        if (!kvr_get_varint(&c.control, c.control_end, &copy_size) ||
            !kvr_get_varint(&c.control, c.control_end, &zigzag) ||
            !kvr_get_varint(&c.control, c.control_end, &literal))
            return malformed(b);
        uint32_t source = c.source_at + uint32_t(kvr_unzigzag(zigzag));
        uint32_t room = b->op->target_size - b->written;
        if ((copy_size > 0 && (b->source < 0 || source > b->op->source_size ||
                               copy_size > b->op->source_size - source)) ||
            copy_size > room || literal > room - copy_size ||
            copy_size > uint32_t(c.difference_end - c.difference) || literal > uint32_t(c.literal_end - c.literal))
            return malformed(b);
        if (copy_size > 0) result = copy(b, source, copy_size, c.difference);
        c.difference += copy_size;
        c.source_at = source + copy_size;
        if (result == KVR_DE_OK && literal > 0) result = put(b, c.literal, literal);
        c.literal += literal;
    }
    b->source_at = c.source_at;
    if (result == KVR_DE_OK && (c.difference != c.difference_end || c.literal != c.literal_end)) return malformed(b);
    return result;
}

uint32_t run_frames(file_build* b, const kvr_fs_tables& t)
{
    uint32_t result = KVR_DE_OK;
    for (uint32_t f = b->op->first_frame; f < b->op->first_frame + b->op->frame_count && result == KVR_DE_OK; ++f) {
        kvr_delta_frame frame = kvr_fs_frame_at(t, f);
        uint32_t mark = kvr_heap_mark(&b->run->heap);
        uint8_t* unpacked = static_cast<uint8_t*>(
            kvr_engine_alloc(b->run, uint64_t(frame.control_size) + frame.difference_size + frame.literal_size));
        result = unpacked == nullptr ? KVR_ENGINE_ERR_NO_MEMORY
                                     : kvr_frame_unpack(b->run, t.header, frame, unpacked);
        if (result == KVR_DE_OK) result = run_frame(b, frame, unpacked);
        kvr_heap_release(&b->run->heap, mark);
    }
    if (result == KVR_DE_OK && b->written != b->op->target_size) return malformed(b);
    return result;
}

} // namespace

uint32_t kvr_fs_build_file(kvr_engine_run* run, const kvr_fs_tables& t, const kvr_fs_op& op, const char* source_path,
                           const char* out_path, uint8_t* chunk, uint8_t digest[KVR_DELTA_HASH_SIZE])
{
    file_build b = {run, &op, -1, -1, chunk, 0, 0, {}};
    crypto_hash_sha256_init(&b.sha);
    if (source_path != nullptr && DE_OpenFile(run->ctx, source_path, 0, &b.source) != KVR_DE_OK) {
        DE_Trace(run->ctx, "%s: cannot open %s\n", run->part_name, source_path);
        return KVR_ENGINE_ERR_IO;
    }
    uint32_t result = KVR_DE_OK;
    if (DE_OpenFile(run->ctx, out_path, 1, &b.out) != KVR_DE_OK) {
        DE_Trace(run->ctx, "%s: cannot open %s for writing\n", run->part_name, out_path);
        b.out = -1;
        result = KVR_ENGINE_ERR_IO;
    }
    if (result == KVR_DE_OK) result = run_frames(&b, t);
    if (result == KVR_DE_OK && DE_SyncFile(run->ctx, b.out) != KVR_DE_OK) result = io_failed(&b, "sync");
    if (b.out >= 0 && DE_CloseFile(run->ctx, b.out) != KVR_DE_OK && result == KVR_DE_OK)
        result = io_failed(&b, "close");
    if (b.source >= 0) DE_CloseFile(run->ctx, b.source);
    crypto_hash_sha256_final(&b.sha, digest);
    return result;
}
