#include "delta_format.h"

#include "code_transform.h"

#include <cstring>

uint32_t kvr_delta_blocks_for(uint32_t size, uint32_t block_size)
{
    return block_size == 0 ? 0 : uint32_t((uint64_t(size) + block_size - 1) / block_size);
}

uint32_t kvr_delta_source_blocks(const kvr_delta_header& header)
{
    return kvr_delta_blocks_for(header.image.source_size, header.image.block_size);
}

namespace {

constexpr uint32_t kCommonWords = 6;
constexpr uint32_t kImageWords = 6;  // up to and with the transform
constexpr uint32_t kRegionWords = 3; // transform_start, transform_end, map_count
constexpr uint32_t kFsWords = 2;
static_assert(KVR_DELTA_HEADER_PREFIX == 4 + 4 * kCommonWords &&
              KVR_DELTA_HEADER_MAX == KVR_DELTA_HEADER_PREFIX + 4 * (kImageWords + kRegionWords) + 3 * KVR_DELTA_HASH_SIZE);

uint32_t image_header_size(uint32_t transform)
{
    uint32_t words = kImageWords + (transform == KVR_TRANSFORM_NONE ? 0 : kRegionWords);
    return KVR_DELTA_HEADER_PREFIX + 4 * words + 3 * KVR_DELTA_HASH_SIZE;
}

constexpr uint32_t kFsHeaderSize = KVR_DELTA_HEADER_PREFIX + 4 * kFsWords + KVR_DELTA_HASH_SIZE;

// The words of a header in their order on disk, from offset 4, and how many
// of them this header has.
uint32_t header_words(kvr_delta_header& h, uint32_t* words[KVR_DELTA_HEADER_MAX / 4])
{
    uint32_t* common[kCommonWords] = {&h.version, &h.kind, &h.codec, &h.dict_size, &h.frame_count, &h.body_size};
    uint32_t n = 0;
    for (uint32_t* w : common) words[n++] = w;
    if (h.kind == KVR_DELTA_IMAGE) {
        kvr_image_delta_fields& i = h.image;
        uint32_t* image[kImageWords + kRegionWords] = {&i.block_size,      &i.source_size,   &i.target_size,
                                                      &i.block_count,     &i.ref_count,     &i.transform,
                                                      &i.transform_start, &i.transform_end, &i.map_count};
        uint32_t count = kImageWords + (i.transform == KVR_TRANSFORM_NONE ? 0 : kRegionWords);
        for (uint32_t k = 0; k < count; ++k) words[n++] = image[k];
    } else {
        words[n++] = &h.fs.op_count;
        words[n++] = &h.fs.text_size;
    }
    return n;
}

} // namespace

uint32_t kvr_delta_header_size(const kvr_delta_header& header)
{
    return header.kind == KVR_DELTA_IMAGE ? image_header_size(header.image.transform) : kFsHeaderSize;
}

uint32_t kvr_delta_header_bytes(const uint8_t* in, uint32_t have)
{
    if (have < KVR_DELTA_HEADER_PREFIX) return KVR_DELTA_HEADER_PREFIX;
    if (std::memcmp(in, KVR_DELTA_MAGIC, 4) != 0 || kvr_le32(in + 4) != KVR_DELTA_VERSION) return 0;
    uint32_t kind = kvr_le32(in + 8);
    if (kind == KVR_DELTA_FILE_SYSTEM) return kFsHeaderSize;
    if (kind != KVR_DELTA_IMAGE) return 0;
    uint32_t transform_at = KVR_DELTA_HEADER_PREFIX + 4 * (kImageWords - 1);
    if (have < transform_at + 4) return transform_at + 4;
    return image_header_size(kvr_le32(in + transform_at));
}

uint32_t kvr_delta_header_write(const kvr_delta_header& header, uint8_t out[KVR_DELTA_HEADER_MAX])
{
    kvr_delta_header h = header;
    uint32_t* words[KVR_DELTA_HEADER_MAX / 4];
    uint32_t count = header_words(h, words);
    std::memcpy(out, KVR_DELTA_MAGIC, 4);
    for (uint32_t i = 0; i < count; ++i) kvr_put_le32(out + 4 + 4 * i, *words[i]);
    uint32_t at = 4 + 4 * count;
    if (h.kind == KVR_DELTA_IMAGE) {
        std::memcpy(out + at, h.image.source_hash, KVR_DELTA_HASH_SIZE);
        std::memcpy(out + at + KVR_DELTA_HASH_SIZE, h.image.target_hash, KVR_DELTA_HASH_SIZE);
        at += 2 * KVR_DELTA_HASH_SIZE;
    }
    std::memcpy(out + at, h.delta_hash, KVR_DELTA_HASH_SIZE);
    return at + KVR_DELTA_HASH_SIZE;
}

bool kvr_delta_header_read(const uint8_t* in, uint32_t available, kvr_delta_header* header)
{
    uint32_t have = 0, need = KVR_DELTA_HEADER_PREFIX;
    while (need > have && need <= available) {
        have = need;
        need = kvr_delta_header_bytes(in, have);
    }
    if (need == 0 || need > have) return false;
    *header = {};
    header->kind = kvr_le32(in + 8);
    if (header->kind == KVR_DELTA_IMAGE) header->image.transform = kvr_le32(in + KVR_DELTA_HEADER_PREFIX + 4 * (kImageWords - 1));
    uint32_t* words[KVR_DELTA_HEADER_MAX / 4];
    uint32_t count = header_words(*header, words);
    for (uint32_t i = 0; i < count; ++i) *words[i] = kvr_le32(in + 4 + 4 * i);
    uint32_t at = 4 + 4 * count;
    if (header->kind == KVR_DELTA_IMAGE) {
        std::memcpy(header->image.source_hash, in + at, KVR_DELTA_HASH_SIZE);
        std::memcpy(header->image.target_hash, in + at + KVR_DELTA_HASH_SIZE, KVR_DELTA_HASH_SIZE);
        at += 2 * KVR_DELTA_HASH_SIZE;
    }
    std::memcpy(header->delta_hash, in + at, KVR_DELTA_HASH_SIZE);
    return true;
}

uint64_t kvr_delta_table_size(const kvr_delta_header& header)
{
    const kvr_image_delta_fields& i = header.image;
    return uint64_t(kvr_delta_source_blocks(header)) * KVR_DELTA_BLOCK_HASH_SIZE +
           uint64_t(i.block_count) * KVR_DELTA_BLOCK_ENTRY_SIZE + uint64_t(i.ref_count) * KVR_DELTA_REF_SIZE +
           uint64_t(i.map_count) * KVR_CODE_MAP_ENTRY_SIZE + uint64_t(header.frame_count) * KVR_DELTA_FRAME_ENTRY_SIZE;
}

uint64_t kvr_fs_delta_table_size(const kvr_delta_header& header)
{
    return uint64_t(header.fs.op_count) * KVR_FS_OP_ENTRY_SIZE + header.fs.text_size +
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
