#include "fs_delta.h"

#include "delta_packing.h"
#include "fs_plan.h"
#include "image_matcher.h"

#include <sodium.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace fotapack {
namespace {

// Largest copy or literal of one operation, so that any operation fits a frame.
constexpr uint32_t kPieceLimit = 1u << 20;

struct frame_parts {
    std::vector<uint8_t> control, difference, literal;
    size_t size() const { return control.size() + difference.size() + literal.size(); }
};

// Turns one file's content into frames of operations against its old content.
class file_encoder {
public:
    file_encoder(const std::vector<uint8_t>& old_content, const std::vector<uint8_t>& new_content)
        : old_(old_content), new_(new_content)
    {
    }

    std::vector<frame_parts> encode(const std::vector<match_op>& ops)
    {
        for (const match_op& op : ops) {
            uint32_t copy = op.copy, source = op.source, literal = op.literal;
            while (copy > 0 || literal > 0) {
                uint32_t c = std::min(copy, kPieceLimit);
                uint32_t l = c == copy ? std::min(literal, kPieceLimit) : 0;
                emit(c, source, l);
                copy -= c;
                source += c;
                literal -= l;
            }
        }
        return std::move(frames_);
    }

private:
    void emit(uint32_t copy, uint32_t source, uint32_t literal)
    {
        if (copy == 0) source = source_at_;
        frame_parts parts;
        put_varint(parts.control, copy);
        put_varint(parts.control, kvr_zigzag(int32_t(source - source_at_)));
        put_varint(parts.control, literal);
        for (uint32_t i = 0; i < copy; ++i) parts.difference.push_back(uint8_t(new_[at_ + i] - old_[source + i]));
        parts.literal.assign(new_.begin() + long(at_ + copy), new_.begin() + long(at_ + copy + literal));
        if (frames_.empty() || frames_.back().size() + parts.size() > KVR_DELTA_FRAME_LIMIT) frames_.emplace_back();
        frame_parts& f = frames_.back();
        f.control.insert(f.control.end(), parts.control.begin(), parts.control.end());
        f.difference.insert(f.difference.end(), parts.difference.begin(), parts.difference.end());
        f.literal.insert(f.literal.end(), parts.literal.begin(), parts.literal.end());
        source_at_ = source + copy;
        at_ += copy + literal;
    }

    const std::vector<uint8_t>& old_;
    const std::vector<uint8_t>& new_;
    std::vector<frame_parts> frames_;
    uint32_t source_at_ = 0;
    size_t at_ = 0;
};

std::vector<frame_parts> content_frames(const fs_plan_op& p)
{
    static const std::vector<uint8_t> none;
    const std::vector<uint8_t>& old_content = p.source != nullptr ? *p.source : none;
    std::vector<match_op> ops;
    if (p.source != nullptr)
        ops = match_images(old_content, *p.target);
    else if (!p.target->empty())
        ops.push_back({0, 0, uint32_t(p.target->size())});
    return file_encoder(old_content, *p.target).encode(ops);
}

uint32_t put_text(std::vector<uint8_t>& text, const std::string& value)
{
    if (value.size() > KVR_FS_PATH_LIMIT) throw std::runtime_error("path or text too long: " + value);
    text.insert(text.end(), value.begin(), value.end());
    return uint32_t(text.size() - value.size());
}

} // namespace

std::vector<uint8_t> make_fs_delta(const fs_tree& old_tree, const fs_tree& new_tree, fs_delta_stats* stats)
{
    std::vector<fs_plan_op> plan = plan_fs(old_tree, new_tree);
    std::vector<uint8_t> op_table, text;
    std::vector<std::vector<frame_parts>> contents;
    uint32_t frame_count = 0, dict_size = 4096;
    for (const fs_plan_op& p : plan) {
        if (p.target != nullptr && p.target->size() > UINT32_MAX / 2) throw std::runtime_error(p.path + " too large");
        kvr_fs_op op = {};
        op.type = p.type;
        op.path_size = uint32_t(p.path.size());
        op.path_at = put_text(text, p.path);
        op.extra_size = uint32_t(p.extra.size());
        op.extra_at = put_text(text, p.extra);
        if (p.source != nullptr) {
            op.source_size = uint32_t(p.source->size());
            crypto_hash_sha256(op.source_hash, p.source->data(), p.source->size());
        }
        if (p.target != nullptr) {
            op.target_size = uint32_t(p.target->size());
            crypto_hash_sha256(op.target_hash, p.target->data(), p.target->size());
        }
        if (p.type == KVR_FS_NEW_FILE || p.type == KVR_FS_CHANGED_FILE) {
            contents.push_back(content_frames(p));
            op.first_frame = frame_count;
            op.frame_count = uint32_t(contents.back().size());
            frame_count += op.frame_count;
            for (const frame_parts& f : contents.back()) dict_size = std::max(dict_size, uint32_t(f.size()));
        }
        uint8_t raw[KVR_FS_OP_ENTRY_SIZE];
        kvr_fs_op_write(op, raw);
        op_table.insert(op_table.end(), raw, raw + sizeof raw);
    }

    kvr_delta_header h = {};
    h.version = KVR_DELTA_VERSION;
    h.kind = KVR_DELTA_FILE_SYSTEM;
    h.codec = KVR_DELTA_CODEC_LZMA2;
    h.dict_size = dict_size;
    h.block_count = uint32_t(plan.size());
    h.ref_count = uint32_t(text.size());
    h.frame_count = frame_count;
    std::vector<uint8_t> body = op_table;
    body.insert(body.end(), text.begin(), text.end());
    std::vector<uint8_t> packed;
    uint32_t offset = uint32_t(kvr_fs_delta_table_size(h)), op_index = 0;
    size_t content = 0;
    for (const fs_plan_op& p : plan) {
        if (p.type == KVR_FS_NEW_FILE || p.type == KVR_FS_CHANGED_FILE) {
            for (const frame_parts& f : contents[content]) {
                std::vector<uint8_t> joined(f.control);
                joined.insert(joined.end(), f.difference.begin(), f.difference.end());
                joined.insert(joined.end(), f.literal.begin(), f.literal.end());
                std::vector<uint8_t> frame_bytes = pack_frame(joined, dict_size);
                kvr_delta_frame entry = {offset, uint32_t(frame_bytes.size()), uint32_t(f.control.size()),
                                         uint32_t(f.difference.size()), uint32_t(f.literal.size()), op_index, 1};
                uint8_t raw[KVR_DELTA_FRAME_ENTRY_SIZE];
                kvr_delta_frame_write(entry, raw);
                body.insert(body.end(), raw, raw + sizeof raw);
                packed.insert(packed.end(), frame_bytes.begin(), frame_bytes.end());
                offset += entry.packed_size;
            }
            ++content;
        }
        ++op_index;
    }
    body.insert(body.end(), packed.begin(), packed.end());
    if (stats != nullptr) *stats = {h.block_count, h.frame_count};
    return seal_delta(h, body);
}

std::vector<uint8_t> make_fs_delta(const std::string& old_root, const std::string& new_root, fs_delta_stats* stats)
{
    return make_fs_delta(read_tree(old_root), read_tree(new_root), stats);
}

} // namespace fotapack
