#include "delta_writer.h"

#include "delta_packing.h"

#include <sodium.h>

#include <algorithm>
#include <stdexcept>

namespace fotapack {
namespace {

// The old bytes of a copy segment as the prediction rewrites them.
std::vector<uint8_t> predicted_source(const std::vector<uint8_t>& old_image, const segment& s, const code_prediction& code,
                                      const kvr_code_map& map)
{
    std::vector<uint8_t> predicted(old_image.begin() + long(s.source), old_image.begin() + long(s.source + s.length));
    kvr_predict_copy(code.transform.kind, map, predicted.data(), s.length, uint32_t(s.source), s.target, code.transform.start,
                     code.transform.end);
    return predicted;
}

kvr_code_map map_of(const code_prediction& code)
{
    return {code.map.data(), uint32_t(code.map.size() / KVR_CODE_MAP_ENTRY_SIZE)};
}

// One block's operations, as the engine reads them, into parts; *source_at
// is where the frame's previous copy ended.
void encode_block(const std::vector<uint8_t>& old_image, const std::vector<uint8_t>& new_image,
                  const planned_block& block, const code_prediction& code, uint32_t* source_at, frame_parts* parts)
{
    const kvr_code_map map = map_of(code);
    struct op {
        uint32_t copy = 0;
        uint32_t source = 0;
        uint32_t literal = 0;
    };
    std::vector<op> ops;
    // Each copy starts an operation (a copy never spans two source blocks);
    // literal data joins the operation before it.
    for (const segment& s : block.segments) {
        if (s.source >= 0) ops.push_back({0, uint32_t(s.source), 0});
        if (ops.empty()) ops.push_back({});
        (s.source >= 0 ? ops.back().copy : ops.back().literal) += s.length;
        if (s.source < 0) {
            parts->literal.insert(parts->literal.end(), new_image.begin() + long(s.target),
                                  new_image.begin() + long(s.target + s.length));
            continue;
        }
        // The engine adds the difference to the predicted source bytes.
        const std::vector<uint8_t> predicted = predicted_source(old_image, s, code, map);
        for (uint32_t i = 0; i < s.length; ++i) parts->difference.push_back(uint8_t(new_image[s.target + i] - predicted[i]));
    }
    put_varint(parts->control, uint32_t(ops.size()));
    for (const op& o : ops) {
        uint32_t source = o.copy > 0 ? o.source : *source_at;
        put_varint(parts->control, o.copy);
        put_varint(parts->control, kvr_zigzag(int32_t(source - *source_at)));
        put_varint(parts->control, o.literal);
        *source_at = source + o.copy;
    }
}

void block_hash(const uint8_t* data, size_t size, uint8_t out[KVR_DELTA_BLOCK_HASH_SIZE])
{
    uint8_t digest[KVR_DELTA_HASH_SIZE];
    crypto_hash_sha256(digest, data, size);
    std::copy(digest, digest + KVR_DELTA_BLOCK_HASH_SIZE, out);
}

std::vector<uint8_t> target_block(const std::vector<uint8_t>& image, uint32_t index, uint32_t block_size)
{
    std::vector<uint8_t> block(block_size, 0xFF);
    size_t start = size_t(index) * block_size;
    std::copy(image.begin() + long(start), image.begin() + long(std::min(image.size(), start + block_size)),
              block.begin());
    return block;
}

} // namespace

uint64_t predicted_bytes(const std::vector<uint8_t>& old_image, const std::vector<uint8_t>& new_image, const block_plan& plan,
                         const code_prediction& code)
{
    const kvr_code_map map = map_of(code);
    uint64_t exact = 0;
    for (const planned_block& block : plan.blocks)
        for (const segment& s : block.segments) {
            if (s.source < 0) continue;
            const std::vector<uint8_t> predicted = predicted_source(old_image, s, code, map);
            for (uint32_t i = 0; i < s.length; ++i) exact += new_image[s.target + i] == predicted[i];
        }
    return exact;
}

std::vector<uint8_t> write_image_delta(const std::vector<uint8_t>& old_image, const std::vector<uint8_t>& new_image,
                                       const block_plan& plan, uint32_t block_size, const code_prediction& code,
                                       delta_stats* stats)
{
    if (block_size == 0 || block_size > KVR_DELTA_BLOCK_LIMIT || old_image.size() > UINT32_MAX / 2 ||
        new_image.size() > UINT32_MAX / 2)
        throw std::runtime_error("block size or image size out of range");
    // Operations, frame by frame.
    std::vector<frame_parts> frames;
    uint32_t source_at = 0;
    for (uint32_t i = 0; i < plan.blocks.size(); ++i) {
        frame_parts parts;
        uint32_t next_at = source_at;
        encode_block(old_image, new_image, plan.blocks[i], code, &next_at, &parts);
        if (frames.empty() || frames.back().size() + parts.size() > KVR_DELTA_FRAME_LIMIT) {
            frames.emplace_back();
            frames.back().first_block = i;
            parts = frame_parts{};
            next_at = 0;
            encode_block(old_image, new_image, plan.blocks[i], code, &next_at, &parts);
        }
        if (parts.size() > KVR_DELTA_FRAME_LIMIT) throw std::runtime_error("a block's operations exceed a frame");
        frames.back().append(parts);
        ++frames.back().block_count;
        source_at = next_at;
    }

    kvr_delta_header h = new_header(KVR_DELTA_IMAGE);
    kvr_image_delta_fields& image = h.image;
    image.block_size = block_size;
    image.source_size = uint32_t(old_image.size());
    image.target_size = uint32_t(new_image.size());
    image.block_count = uint32_t(plan.blocks.size());
    for (const planned_block& b : plan.blocks) image.ref_count += uint32_t(b.reads.size());
    image.transform = code.transform.kind;
    if (image.transform != KVR_TRANSFORM_NONE) {
        image.transform_start = code.transform.start;
        image.transform_end = code.transform.end;
        image.map_count = uint32_t(code.map.size() / KVR_CODE_MAP_ENTRY_SIZE);
    }
    crypto_hash_sha256(image.source_hash, old_image.data(), old_image.size());
    crypto_hash_sha256(image.target_hash, new_image.data(), new_image.size());

    std::vector<uint8_t> tables;
    for (uint32_t k = 0; k < kvr_delta_source_blocks(h); ++k) {
        size_t start = size_t(k) * block_size;
        uint8_t hash[KVR_DELTA_BLOCK_HASH_SIZE];
        block_hash(old_image.data() + start, std::min<size_t>(block_size, old_image.size() - start), hash);
        tables.insert(tables.end(), hash, hash + KVR_DELTA_BLOCK_HASH_SIZE);
    }
    uint32_t ref_first = 0, frame = 0;
    for (uint32_t i = 0; i < plan.blocks.size(); ++i) {
        while (frame + 1 < frames.size() && frames[frame + 1].first_block <= i) ++frame;
        const planned_block& b = plan.blocks[i];
        kvr_delta_block entry = {b.index, ref_first, uint32_t(b.reads.size()), frame, {}};
        std::vector<uint8_t> content = target_block(new_image, b.index, block_size);
        block_hash(content.data(), content.size(), entry.hash);
        uint8_t raw[KVR_DELTA_BLOCK_ENTRY_SIZE];
        kvr_delta_block_write(entry, raw);
        tables.insert(tables.end(), raw, raw + sizeof raw);
        ref_first += entry.ref_count;
    }
    for (const planned_block& b : plan.blocks)
        for (uint32_t read : b.reads) append_le32(tables, read);
    if (image.transform != KVR_TRANSFORM_NONE) tables.insert(tables.end(), code.map.begin(), code.map.end());
    if (stats != nullptr) *stats = {image.block_count, uint32_t(frames.size()), plan.broken_copies, image.transform, 0};
    return finish_delta(h, std::move(tables), frames);
}

} // namespace fotapack
