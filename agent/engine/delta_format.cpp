#include "delta_format.h"

#include "code_transform.h"

#include <cstring>

uint32_t kvr_delta_blocks_for(uint32_t size, uint32_t block_size)
{
    return uint32_t((uint64_t(size) + block_size - 1) / block_size);
}

namespace {

// The 32-bit header fields in their order on disk, from offset 4.
uint32_t* header_words(kvr_delta_header& h, int i)
{
    uint32_t* words[] = {&h.version, &h.kind, &h.codec, &h.dict_size, &h.block_size, &h.source_size,
                         &h.target_size, &h.block_count, &h.source_block_count, &h.ref_count,
                         &h.frame_count, &h.body_size, &h.transform, &h.transform_start, &h.transform_end, &h.map_count};
    return words[i];
}
constexpr int kHeaderWords = 16;
constexpr uint32_t kHashesAt = 4 + 4 * kHeaderWords;
static_assert(kHashesAt + 3 * KVR_DELTA_HASH_SIZE == KVR_DELTA_HEADER_SIZE &&
              kHashesAt + 2 * KVR_DELTA_HASH_SIZE == KVR_DELTA_HASHED_HEADER);

} // namespace

void kvr_delta_header_write(const kvr_delta_header& header, uint8_t out[KVR_DELTA_HEADER_SIZE])
{
    kvr_delta_header h = header;
    std::memcpy(out, KVR_DELTA_MAGIC, 4);
    for (int i = 0; i < kHeaderWords; ++i) kvr_put_le32(out + 4 + 4 * i, *header_words(h, i));
    std::memcpy(out + kHashesAt, h.source_hash, KVR_DELTA_HASH_SIZE);
    std::memcpy(out + kHashesAt + KVR_DELTA_HASH_SIZE, h.target_hash, KVR_DELTA_HASH_SIZE);
    std::memcpy(out + kHashesAt + 2 * KVR_DELTA_HASH_SIZE, h.delta_hash, KVR_DELTA_HASH_SIZE);
}

bool kvr_delta_header_read(const uint8_t in[KVR_DELTA_HEADER_SIZE], kvr_delta_header* header)
{
    if (std::memcmp(in, KVR_DELTA_MAGIC, 4) != 0) return false;
    for (int i = 0; i < kHeaderWords; ++i) *header_words(*header, i) = kvr_le32(in + 4 + 4 * i);
    std::memcpy(header->source_hash, in + kHashesAt, KVR_DELTA_HASH_SIZE);
    std::memcpy(header->target_hash, in + kHashesAt + KVR_DELTA_HASH_SIZE, KVR_DELTA_HASH_SIZE);
    std::memcpy(header->delta_hash, in + kHashesAt + 2 * KVR_DELTA_HASH_SIZE, KVR_DELTA_HASH_SIZE);
    return header->version == KVR_DELTA_VERSION;
}

uint64_t kvr_delta_table_size(const kvr_delta_header& header)
{
    return uint64_t(header.source_block_count) * KVR_DELTA_BLOCK_HASH_SIZE +
           uint64_t(header.block_count) * KVR_DELTA_BLOCK_ENTRY_SIZE +
           uint64_t(header.ref_count) * KVR_DELTA_REF_SIZE + uint64_t(header.map_count) * KVR_CODE_MAP_ENTRY_SIZE +
           uint64_t(header.frame_count) * KVR_DELTA_FRAME_ENTRY_SIZE;
}

uint64_t kvr_fs_delta_table_size(const kvr_delta_header& header)
{
    return uint64_t(header.block_count) * KVR_FS_OP_ENTRY_SIZE + header.ref_count +
           uint64_t(header.frame_count) * KVR_DELTA_FRAME_ENTRY_SIZE;
}

namespace {

constexpr int kFsOpWords = 9;
constexpr uint32_t kFsOpHashesAt = 4 * kFsOpWords;

} // namespace

void kvr_fs_op_write(const kvr_fs_op& op, uint8_t* out)
{
    const uint32_t fields[kFsOpWords] = {op.type,        op.path_at,     op.path_size,   op.extra_at,   op.extra_size,
                                         op.source_size, op.target_size, op.first_frame, op.frame_count};
    for (int i = 0; i < kFsOpWords; ++i) kvr_put_le32(out + 4 * i, fields[i]);
    std::memcpy(out + kFsOpHashesAt, op.source_hash, KVR_DELTA_HASH_SIZE);
    std::memcpy(out + kFsOpHashesAt + KVR_DELTA_HASH_SIZE, op.target_hash, KVR_DELTA_HASH_SIZE);
}

void kvr_fs_op_read(const uint8_t* in, kvr_fs_op* op)
{
    uint32_t* fields[kFsOpWords] = {&op->type,        &op->path_at,     &op->path_size,   &op->extra_at,
                                    &op->extra_size,  &op->source_size, &op->target_size, &op->first_frame,
                                    &op->frame_count};
    for (int i = 0; i < kFsOpWords; ++i) *fields[i] = kvr_le32(in + 4 * i);
    std::memcpy(op->source_hash, in + kFsOpHashesAt, KVR_DELTA_HASH_SIZE);
    std::memcpy(op->target_hash, in + kFsOpHashesAt + KVR_DELTA_HASH_SIZE, KVR_DELTA_HASH_SIZE);
}

void kvr_delta_block_write(const kvr_delta_block& block, uint8_t* out)
{
    kvr_put_le32(out, block.index);
    kvr_put_le32(out + 4, block.ref_first);
    kvr_put_le32(out + 8, block.ref_count);
    kvr_put_le32(out + 12, block.frame);
    std::memcpy(out + 16, block.hash, KVR_DELTA_BLOCK_HASH_SIZE);
}

void kvr_delta_block_read(const uint8_t* in, kvr_delta_block* block)
{
    block->index = kvr_le32(in);
    block->ref_first = kvr_le32(in + 4);
    block->ref_count = kvr_le32(in + 8);
    block->frame = kvr_le32(in + 12);
    std::memcpy(block->hash, in + 16, KVR_DELTA_BLOCK_HASH_SIZE);
}

void kvr_delta_frame_write(const kvr_delta_frame& frame, uint8_t* out)
{
    const uint32_t fields[] = {frame.offset, frame.packed_size, frame.control_size, frame.difference_size,
                               frame.literal_size, frame.first_block, frame.block_count};
    for (int i = 0; i < 7; ++i) kvr_put_le32(out + 4 * i, fields[i]);
}

void kvr_delta_frame_read(const uint8_t* in, kvr_delta_frame* frame)
{
    uint32_t* fields[] = {&frame->offset, &frame->packed_size, &frame->control_size, &frame->difference_size,
                          &frame->literal_size, &frame->first_block, &frame->block_count};
    for (int i = 0; i < 7; ++i) *fields[i] = kvr_le32(in + 4 * i);
}

uint32_t kvr_put_varint(uint8_t* out, uint32_t value)
{
    uint32_t n = 0;
    while (value >= 0x80) {
        out[n++] = uint8_t(value | 0x80);
        value >>= 7;
    }
    out[n++] = uint8_t(value);
    return n;
}

bool kvr_get_varint(const uint8_t** cursor, const uint8_t* end, uint32_t* value)
{
    uint32_t result = 0;
    for (uint32_t i = 0; i < KVR_VARINT_MAX; ++i) {
        if (*cursor == end) return false;
        uint8_t byte = *(*cursor)++;
        if (i == KVR_VARINT_MAX - 1 && byte > 0x0F) return false;
        result |= uint32_t(byte & 0x7F) << (7 * i);
        if ((byte & 0x80) == 0) {
            *value = result;
            return true;
        }
    }
    return false;
}

uint32_t kvr_zigzag(int32_t value)
{
    return (uint32_t(value) << 1) ^ uint32_t(value >> 31);
}

int32_t kvr_unzigzag(uint32_t value)
{
    return int32_t(value >> 1) ^ -int32_t(value & 1);
}
