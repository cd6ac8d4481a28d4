#include "frame_decoder.h"

#include "engine_callbacks.h"

#include <lzma.h>

namespace {

constexpr uint32_t kPackedChunk = 16 * 1024;

void* heap_alloc(void* opaque, size_t count, size_t size)
{
    return kvr_heap_alloc(static_cast<kvr_heap*>(opaque), uint64_t(count) * size);
}

// The arena gives memory back when the frame is done.
void heap_free(void*, void*) {}

uint32_t decode(kvr_engine_run* run, lzma_stream* stream, uint32_t body_at, const kvr_delta_frame& frame,
                uint8_t* chunk, uint8_t* out, uint32_t out_size)
{
    uint32_t at = body_at + frame.offset;
    uint32_t left = frame.packed_size;
    stream->next_out = out;
    stream->avail_out = out_size;
    lzma_ret ret = LZMA_OK;
    // Ends: liblzma answers LZMA_BUF_ERROR once no progress is possible.
    while (ret == LZMA_OK) {
        if (stream->avail_in == 0 && left > 0) {
            uint32_t size = left < kPackedChunk ? left : kPackedChunk;
            if (DE_GetDelta(run->ctx, chunk, at, size) != KVR_DE_OK) {
                DE_Trace(run->ctx, "%s: delta read at 0x%x failed\n", run->part_name, at);
                return KVR_ENGINE_ERR_IO;
            }
            stream->next_in = chunk;
            stream->avail_in = size;
            at += size;
            left -= size;
        }
        ret = lzma_code(stream, left == 0 ? LZMA_FINISH : LZMA_RUN);
    }
    if (ret == LZMA_MEM_ERROR) {
        DE_Trace(run->ctx, "%s: heap exhausted by the frame decoder\n", run->part_name);
        return KVR_ENGINE_ERR_NO_MEMORY;
    }
    if (ret != LZMA_STREAM_END || stream->avail_out != 0 || stream->avail_in != 0) {
        DE_Trace(run->ctx, "%s: frame at 0x%x does not decode (%d)\n", run->part_name, frame.offset, int(ret));
        return KVR_ENGINE_ERR_DECODE;
    }
    return KVR_DE_OK;
}

} // namespace

uint32_t kvr_frame_unpack(kvr_engine_run* run, const kvr_delta_header& header, const kvr_delta_frame& frame,
                          uint8_t* out)
{
    uint32_t out_size = frame.control_size + frame.difference_size + frame.literal_size;
    uint32_t mark = kvr_heap_mark(&run->heap);
    uint8_t* chunk = static_cast<uint8_t*>(kvr_engine_alloc(run, kPackedChunk));
    if (chunk == nullptr) return KVR_ENGINE_ERR_NO_MEMORY;
    lzma_allocator allocator = {heap_alloc, heap_free, &run->heap};
    lzma_options_lzma options = {};
    options.dict_size = header.dict_size;
    options.lc = LZMA_LC_DEFAULT;
    options.lp = LZMA_LP_DEFAULT;
    options.pb = LZMA_PB_DEFAULT;
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA2, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    lzma_stream stream = LZMA_STREAM_INIT;
    stream.allocator = &allocator;
    uint32_t result = KVR_ENGINE_ERR_NO_MEMORY;
    lzma_ret init = lzma_raw_decoder(&stream, filters);
    if (init == LZMA_OK)
        result = decode(run, &stream, kvr_delta_header_size(header), frame, chunk, out, out_size);
    else
        DE_Trace(run->ctx, "%s: frame decoder does not start (%d)\n", run->part_name, int(init));
    lzma_end(&stream);
    kvr_heap_release(&run->heap, mark);
    return result;
}
