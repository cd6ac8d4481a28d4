#include "block_builder.h"

#include "code_transform.h"
#include "engine_callbacks.h"

#include <cstring>

namespace {

struct operation {
    uint32_t copy;
    uint32_t source;
    uint32_t literal;
};

bool read_operation(kvr_frame_cursor* c, operation* op)
{
    uint32_t zigzag;
    if (!kvr_get_varint(&c->control, c->control_end, &op->copy) ||
        !kvr_get_varint(&c->control, c->control_end, &zigzag) ||
        !kvr_get_varint(&c->control, c->control_end, &op->literal))
        return false;
    op->source = c->source_at + uint32_t(kvr_unzigzag(zigzag));
    c->source_at = op->source + op->copy;
    return true;
}

// The copy [source, source + copy) lies in one source block of the list.
bool copy_allowed(const kvr_delta_tables& t, const kvr_delta_block& b, const operation& op)
{
    const kvr_image_delta_fields& h = t.header.image;
    if (op.copy == 0) return true;
    if (op.source >= h.source_size || op.copy > h.source_size - op.source) return false;
    uint32_t first = op.source / h.block_size;
    if ((op.source + op.copy - 1) / h.block_size != first) return false;
    for (uint32_t r = 0; r < b.ref_count; ++r)
        if (kvr_delta_ref_at(t, b.ref_first + r) == first) return true;
    return false;
}

uint32_t malformed(kvr_engine_run* run, uint32_t index)
{
    DE_Trace(run->ctx, "%s: operations of block %u are malformed\n", run->part_name, index);
    return KVR_ENGINE_ERR_DECODE;
}

} // namespace

void kvr_frame_cursor_init(kvr_frame_cursor* c, const kvr_delta_frame& frame, const uint8_t* unpacked)
{
    c->control = unpacked;
    c->control_end = c->control + frame.control_size;
    c->difference = c->control_end;
    c->difference_end = c->difference + frame.difference_size;
    c->literal = c->difference_end;
    c->literal_end = c->literal + frame.literal_size;
    c->source_at = 0;
}

uint32_t kvr_block_image_bytes(const kvr_delta_header& header, uint32_t index)
{
    const kvr_image_delta_fields& h = header.image;
    uint64_t start = uint64_t(index) * h.block_size;
    uint64_t left = h.target_size > start ? h.target_size - start : 0;
    return left < h.block_size ? uint32_t(left) : h.block_size;
}

uint32_t kvr_block_build(kvr_engine_run* run, const kvr_delta_tables& t, const kvr_delta_block& b,
                         kvr_frame_cursor* c, uint8_t* out)
{
    uint32_t image_bytes = kvr_block_image_bytes(t.header, b.index);
    uint32_t count;
    if (!kvr_get_varint(&c->control, c->control_end, &count) || count > image_bytes + 1)
        return malformed(run, b.index);
    uint32_t filled = 0;
    for (uint32_t i = 0; i < count; ++i) {
        operation op;
        if (!read_operation(c, &op) || !copy_allowed(t, b, op) || op.copy > image_bytes - filled ||
            op.literal > image_bytes - filled - op.copy || op.copy > uint32_t(c->difference_end - c->difference) ||
            op.literal > uint32_t(c->literal_end - c->literal))
            return malformed(run, b.index);
        if (out != nullptr && op.copy > 0) {
            uint64_t address = uint64_t(b.index) * t.header.image.block_size;
            if (kvr_dua_read_source(run->ctx, out + filled, op.source, op.copy) != KVR_DE_OK) {
                DE_Trace(run->ctx, "%s: source read at 0x%x for block at 0x%llx failed\n", run->part_name,
                         op.source, static_cast<unsigned long long>(address));
                return KVR_ENGINE_ERR_IO;
            }
            kvr_predict_copy(t.header.image.transform, t.code_map, out + filled, op.copy, op.source, uint32_t(address) + filled,
                             t.header.image.transform_start, t.header.image.transform_end);
            for (uint32_t k = 0; k < op.copy; ++k) out[filled + k] = uint8_t(out[filled + k] + c->difference[k]);
        }
        c->difference += op.copy;
        filled += op.copy;
        if (out != nullptr) std::memcpy(out + filled, c->literal, op.literal);
        c->literal += op.literal;
        filled += op.literal;
    }
    if (filled != image_bytes) return malformed(run, b.index);
    if (out != nullptr) std::memset(out + image_bytes, 0xFF, t.header.image.block_size - image_bytes);
    return KVR_DE_OK;
}
