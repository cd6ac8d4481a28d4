#include "block_plan.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <queue>

namespace fotapack {
namespace {

uint32_t blocks_for(size_t size, uint32_t block_size)
{
    return uint32_t((size + block_size - 1) / block_size);
}

size_t image_bytes(size_t image_size, uint32_t index, uint32_t block_size)
{
    size_t start = size_t(index) * block_size;
    return image_size > start ? std::min<size_t>(block_size, image_size - start) : 0;
}

bool unchanged(const std::vector<uint8_t>& old_image, const std::vector<uint8_t>& new_image, uint32_t index,
               uint32_t block_size)
{
    size_t n = image_bytes(new_image.size(), index, block_size);
    size_t start = size_t(index) * block_size;
    return n == image_bytes(old_image.size(), index, block_size) &&
           std::memcmp(old_image.data() + start, new_image.data() + start, n) == 0;
}

// Cuts the operations into segments that stay inside one target block and,
// for copies, inside one source block.
std::vector<std::vector<segment>> cut_segments(const std::vector<match_op>& ops, uint32_t target_blocks,
                                               uint32_t block_size)
{
    std::vector<std::vector<segment>> per_block(target_blocks);
    uint64_t at = 0;
    auto add = [&](uint64_t length, int64_t source) {
        while (length > 0) {
            uint64_t room = block_size - at % block_size;
            if (source >= 0) room = std::min<uint64_t>(room, block_size - uint64_t(source) % block_size);
            uint64_t piece = std::min(room, length);
            per_block[at / block_size].push_back({uint32_t(at), uint32_t(piece), source});
            at += piece;
            length -= piece;
            if (source >= 0) source += int64_t(piece);
        }
    };
    for (const match_op& op : ops) {
        add(op.copy, op.source);
        add(op.literal, -1);
    }
    return per_block;
}

using edge_map = std::map<std::pair<uint32_t, uint32_t>, uint64_t>; // (reader, read) -> bytes

// Strongly connected components of the nodes still waiting (iterative
// Tarjan); component id per node, -1 for nodes not waiting.
std::vector<int> components(const std::vector<std::vector<uint32_t>>& out, const std::vector<bool>& waiting)
{
    size_t n = out.size();
    std::vector<int> index(n, -1), low(n, 0), component(n, -1);
    std::vector<bool> on_stack(n, false);
    std::vector<uint32_t> stack;
    int next_index = 0, next_component = 0;
    std::vector<std::pair<uint32_t, size_t>> calls;
    for (uint32_t root = 0; root < n; ++root) {
        if (!waiting[root] || index[root] >= 0) continue;
        calls.push_back({root, 0});
        while (!calls.empty()) {
            auto& [node, edge] = calls.back();
            if (edge == 0 && index[node] < 0) {
                index[node] = low[node] = next_index++;
                stack.push_back(node);
                on_stack[node] = true;
            }
            if (edge < out[node].size()) {
                uint32_t next = out[node][edge++];
                if (!waiting[next]) continue;
                if (index[next] < 0)
                    calls.push_back({next, 0});
                else if (on_stack[next])
                    low[node] = std::min(low[node], index[next]);
                continue;
            }
            if (low[node] == index[node]) {
                uint32_t member;
                do {
                    member = stack.back();
                    stack.pop_back();
                    on_stack[member] = false;
                    component[member] = next_component;
                } while (member != node);
                ++next_component;
            }
            uint32_t finished = node;
            calls.pop_back();
            if (!calls.empty()) low[calls.back().first] = std::min(low[calls.back().first], low[finished]);
        }
    }
    return component;
}

// The lightest edge inside a cycle among the waiting nodes.
std::pair<uint32_t, uint32_t> lightest_cycle_edge(const edge_map& edges, const std::vector<std::vector<uint32_t>>& out,
                                                  const std::vector<bool>& waiting)
{
    std::vector<int> component = components(out, waiting);
    std::pair<uint32_t, uint32_t> chosen{0, 0};
    uint64_t lightest = UINT64_MAX;
    for (const auto& [edge, bytes] : edges) {
        int c = component[edge.first];
        if (c >= 0 && c == component[edge.second] && bytes < lightest) {
            lightest = bytes;
            chosen = edge;
        }
    }
    return chosen;
}

} // namespace

block_plan plan_blocks(const std::vector<uint8_t>& old_image, const std::vector<uint8_t>& new_image,
                       const std::vector<match_op>& ops, uint32_t block_size)
{
    uint32_t target_blocks = blocks_for(new_image.size(), block_size);
    std::vector<std::vector<segment>> segments = cut_segments(ops, target_blocks, block_size);
    std::vector<bool> changed(target_blocks);
    for (uint32_t b = 0; b < target_blocks; ++b) changed[b] = !unchanged(old_image, new_image, b, block_size);

    // reader -> read, for reads of blocks that are rewritten later.
    edge_map edges;
    for (uint32_t b = 0; b < target_blocks; ++b) {
        if (!changed[b]) continue;
        for (const segment& s : segments[b]) {
            if (s.source < 0) continue;
            uint32_t read = uint32_t(s.source / block_size);
            if (read != b && read < target_blocks && changed[read]) edges[{b, read}] += s.length;
        }
    }
    std::vector<std::vector<uint32_t>> out(target_blocks);
    std::vector<uint32_t> readers(target_blocks, 0);
    for (const auto& [edge, bytes] : edges) {
        out[edge.first].push_back(edge.second);
        ++readers[edge.second];
    }

    block_plan plan;
    std::vector<bool> waiting(changed);
    std::priority_queue<uint32_t, std::vector<uint32_t>, std::greater<>> ready;
    size_t left = 0;
    for (uint32_t b = 0; b < target_blocks; ++b) {
        if (!changed[b]) continue;
        ++left;
        if (readers[b] == 0) ready.push(b);
    }
    std::vector<uint32_t> order;
    while (left > 0) {
        if (ready.empty()) {
            auto [reader, read] = lightest_cycle_edge(edges, out, waiting);
            for (segment& s : segments[reader])
                if (s.source >= 0 && uint32_t(s.source / block_size) == read) {
                    s.source = -1;
                    plan.broken_copies += s.length;
                }
            edges.erase({reader, read});
            auto& list = out[reader];
            list.erase(std::find(list.begin(), list.end(), read));
            if (--readers[read] == 0) ready.push(read);
            continue;
        }
        uint32_t b = ready.top();
        ready.pop();
        waiting[b] = false;
        --left;
        order.push_back(b);
        for (uint32_t read : out[b]) {
            edges.erase({b, read});
            if (--readers[read] == 0) ready.push(read);
        }
        out[b].clear();
    }

    for (uint32_t b : order) {
        planned_block pb{b, std::move(segments[b]), {}};
        for (const segment& s : pb.segments)
            if (s.source >= 0) pb.reads.push_back(uint32_t(s.source / block_size));
        std::sort(pb.reads.begin(), pb.reads.end());
        pb.reads.erase(std::unique(pb.reads.begin(), pb.reads.end()), pb.reads.end());
        plan.blocks.push_back(std::move(pb));
    }
    return plan;
}

} // namespace fotapack
