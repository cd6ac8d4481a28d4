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
        frames_.back().append(parts);
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
    std::vector<uint8_t> tables, text;
    std::vector<frame_parts> frames;
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
            std::vector<frame_parts> content = content_frames(p);
            op.first_frame = uint32_t(frames.size());
            op.frame_count = uint32_t(content.size());
            for (frame_parts& f : content) {
                f.first_block = uint32_t(tables.size() / KVR_FS_OP_ENTRY_SIZE);
                f.block_count = 1;
                frames.push_back(std::move(f));
            }
        }
        uint8_t raw[KVR_FS_OP_ENTRY_SIZE];
        kvr_fs_op_write(op, raw);
        tables.insert(tables.end(), raw, raw + sizeof raw);
    }

    kvr_delta_header h = new_header(KVR_DELTA_FILE_SYSTEM);
    h.fs.op_count = uint32_t(plan.size());
    h.fs.text_size = uint32_t(text.size());
    tables.insert(tables.end(), text.begin(), text.end());
    if (stats != nullptr) *stats = {h.fs.op_count, uint32_t(frames.size())};
    return finish_delta(h, std::move(tables), frames);
}

std::vector<uint8_t> make_fs_delta(const std::string& old_root, const std::string& new_root, fs_delta_stats* stats)
{
    return make_fs_delta(read_tree(old_root), read_tree(new_root), stats);
}

} // namespace fotapack
