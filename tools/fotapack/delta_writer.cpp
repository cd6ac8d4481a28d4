#include "delta_writer.h"

#include "delta_packing.h"

#include <sodium.h>

#include <algorithm>
#include <stdexcept>

namespace fotapack {
namespace {

struct frame_parts {
    std::vector<uint8_t> control, difference, literal;
    uint32_t source_at = 0;
    uint32_t first_block = 0;
    uint32_t block_count = 0;
    size_t size() const { return control.size() + difference.size() + literal.size(); }
};

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

// One block's operations, as the engine reads them, into parts.
void encode_block(const std::vector<uint8_t>& old_image, const std::vector<uint8_t>& new_image,
                  const planned_block& block, const code_prediction& code, frame_parts* parts)
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
        uint32_t source = o.copy > 0 ? o.source : parts->source_at;
        put_varint(parts->control, o.copy);
        put_varint(parts->control, kvr_zigzag(int32_t(source - parts->source_at)));
        put_varint(parts->control, o.literal);
        parts->source_at = source + o.copy;
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
    for (uint32_t i = 0; i < plan.blocks.size(); ++i) {
        frame_parts parts;
        parts.source_at = frames.empty() ? 0 : frames.back().source_at;
        encode_block(old_image, new_image, plan.blocks[i], code, &parts);
        if (frames.empty() || frames.back().size() + parts.size() > KVR_DELTA_FRAME_LIMIT) {
            frames.emplace_back();
            frames.back().first_block = i;
            parts = frame_parts{};
            encode_block(old_image, new_image, plan.blocks[i], code, &parts);
        }
        if (parts.size() > KVR_DELTA_FRAME_LIMIT) throw std::runtime_error("a block's operations exceed a frame");
        frame_parts& f = frames.back();
        f.control.insert(f.control.end(), parts.control.begin(), parts.control.end());
        f.difference.insert(f.difference.end(), parts.difference.begin(), parts.difference.end());
        f.literal.insert(f.literal.end(), parts.literal.begin(), parts.literal.end());
        f.source_at = parts.source_at;
        ++f.block_count;
    }
    uint32_t dict_size = 4096;
    for (const frame_parts& f : frames) dict_size = std::max(dict_size, uint32_t(f.size()));

    kvr_delta_header h = {};
    h.version = KVR_DELTA_VERSION;
    h.kind = KVR_DELTA_IMAGE;
    h.codec = KVR_DELTA_CODEC_LZMA2;
    h.dict_size = dict_size;
    h.block_size = block_size;
    h.source_size = uint32_t(old_image.size());
    h.target_size = uint32_t(new_image.size());
    h.block_count = uint32_t(plan.blocks.size());
    h.source_block_count = kvr_delta_blocks_for(h.source_size, block_size);
    h.frame_count = uint32_t(frames.size());
    h.transform = code.transform.kind;
    h.transform_start = code.transform.start;
    h.transform_end = code.transform.end;
    h.map_count = uint32_t(code.map.size() / KVR_CODE_MAP_ENTRY_SIZE);
    for (const planned_block& b : plan.blocks) h.ref_count += uint32_t(b.reads.size());
    crypto_hash_sha256(h.source_hash, old_image.data(), old_image.size());
    crypto_hash_sha256(h.target_hash, new_image.data(), new_image.size());

    std::vector<uint8_t> body;
    for (uint32_t k = 0; k < h.source_block_count; ++k) {
        size_t start = size_t(k) * block_size;
        uint8_t hash[KVR_DELTA_BLOCK_HASH_SIZE];
        block_hash(old_image.data() + start, std::min<size_t>(block_size, old_image.size() - start), hash);
        body.insert(body.end(), hash, hash + KVR_DELTA_BLOCK_HASH_SIZE);
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
        body.insert(body.end(), raw, raw + sizeof raw);
        ref_first += entry.ref_count;
    }
    for (const planned_block& b : plan.blocks)
        for (uint32_t read : b.reads) append_le32(body, read);
    body.insert(body.end(), code.map.begin(), code.map.end());
    std::vector<std::vector<uint8_t>> packed;
    uint32_t offset = uint32_t(kvr_delta_table_size(h));
    for (const frame_parts& f : frames) {
        std::vector<uint8_t> joined(f.control);
        joined.insert(joined.end(), f.difference.begin(), f.difference.end());
        joined.insert(joined.end(), f.literal.begin(), f.literal.end());
        packed.push_back(pack_frame(joined, dict_size));
        kvr_delta_frame entry = {offset, uint32_t(packed.back().size()), uint32_t(f.control.size()),
                                 uint32_t(f.difference.size()), uint32_t(f.literal.size()), f.first_block,
                                 f.block_count};
        uint8_t raw[KVR_DELTA_FRAME_ENTRY_SIZE];
        kvr_delta_frame_write(entry, raw);
        body.insert(body.end(), raw, raw + sizeof raw);
        offset += entry.packed_size;
    }
    for (const std::vector<uint8_t>& p : packed) body.insert(body.end(), p.begin(), p.end());
    std::vector<uint8_t> delta = seal_delta(h, body);
    if (stats != nullptr) *stats = {h.block_count, h.frame_count, plan.broken_copies, h.transform, 0};
    return delta;
}

} // namespace fotapack
