#include "image_matcher.h"

#include <divsufsort.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace fotapack {
namespace {

// A longer exact match must beat the current alignment by this many bytes
// before the scan switches to it.
constexpr size_t kSwitchMargin = 6;
// An alignment is carried on while more than kAgree / kWeigh of its bytes
// agree. Both values were chosen by delta size on the benchmark pairs
// (bench/delta_bench): 6 and 3/7 give 1-2 % smaller deltas than 8 and 1/2.
constexpr int64_t kAgree = 3;
constexpr int64_t kWeigh = 7;

class suffix_index {
public:
    explicit suffix_index(const std::vector<uint8_t>& data) : data_(data), order_(data.size())
    {
        if (!data.empty() && divsufsort(data.data(), order_.data(), saidx_t(data.size())) != 0)
            throw std::runtime_error("suffix sort failed");
    }

    // Length of the longest prefix of text[0, size) found in the data; its
    // position goes to *position.
    size_t longest(const uint8_t* text, size_t size, size_t* position) const
    {
        *position = 0;
        if (order_.empty()) return 0;
        size_t lo = 0, hi = order_.size() - 1;
        while (hi - lo > 1) {
            size_t mid = lo + (hi - lo) / 2;
            size_t at = size_t(order_[mid]);
            size_t n = std::min(data_.size() - at, size);
            int cmp = std::memcmp(data_.data() + at, text, n);
            if (cmp < 0 || (cmp == 0 && n < size && data_.size() - at == n))
                lo = mid;
            else
                hi = mid;
        }
        size_t a = common(size_t(order_[lo]), text, size);
        size_t b = common(size_t(order_[hi]), text, size);
        *position = size_t(a >= b ? order_[lo] : order_[hi]);
        return std::max(a, b);
    }

private:
    size_t common(size_t at, const uint8_t* text, size_t size) const
    {
        size_t n = std::min(data_.size() - at, size), i = 0;
        while (i < n && data_[at + i] == text[i]) ++i;
        return i;
    }

    const std::vector<uint8_t>& data_;
    std::vector<saidx_t> order_;
};

struct scanner {
    const std::vector<uint8_t>& old_image;
    const std::vector<uint8_t>& new_image;

    bool same(size_t new_at, int64_t offset) const
    {
        int64_t old_at = int64_t(new_at) + offset;
        return old_at >= 0 && old_at < int64_t(old_image.size()) && old_image[size_t(old_at)] == new_image[new_at];
    }

    // How far the previous alignment carries forward from (from, source)
    // while enough of the bytes agree, stopping before limit.
    size_t extend_forward(size_t from, size_t source, size_t limit) const
    {
        int64_t score = 0, best = 0;
        size_t best_length = 0;
        for (size_t i = 0; from + i < limit && source + i < old_image.size(); ++i) {
            if (old_image[source + i] == new_image[from + i]) ++score;
            if (kWeigh * score - kAgree * int64_t(i + 1) > kWeigh * best - kAgree * int64_t(best_length)) {
                best = score;
                best_length = i + 1;
            }
        }
        return best_length;
    }

    // How far the new match reaches backwards from (to, source), not below floor.
    size_t extend_backward(size_t to, size_t source, size_t floor) const
    {
        int64_t score = 0, best = 0;
        size_t best_length = 0;
        for (size_t i = 1; to >= floor + i && source >= i; ++i) {
            if (old_image[source - i] == new_image[to - i]) ++score;
            if (kWeigh * score - kAgree * int64_t(i) > kWeigh * best - kAgree * int64_t(best_length)) {
                best = score;
                best_length = i;
            }
        }
        return best_length;
    }

    // Where two extensions overlap, the split that keeps the most agreeing bytes.
    size_t split_overlap(size_t forward_end, size_t forward_source_end, size_t back_start, size_t back_source,
                         size_t overlap) const
    {
        int64_t score = 0, best = 0;
        size_t keep = 0;
        for (size_t i = 0; i < overlap; ++i) {
            if (new_image[forward_end - overlap + i] == old_image[forward_source_end - overlap + i]) ++score;
            if (new_image[back_start + i] == old_image[back_source + i]) --score;
            if (score > best) {
                best = score;
                keep = i + 1;
            }
        }
        return keep;
    }
};

} // namespace

std::vector<match_op> match_images(const std::vector<uint8_t>& old_image, const std::vector<uint8_t>& new_image)
{
    suffix_index index(old_image);
    scanner s{old_image, new_image};
    std::vector<match_op> ops;
    size_t size = new_image.size();
    size_t scan = 0, length = 0, last_scan = 0, last_source = 0, position = 0;
    int64_t last_offset = 0;
    while (scan < size) {
        size_t old_score = 0;
        scan += length;
        size_t counted = scan;
        // Look for a spot where an exact match beats the current alignment.
        for (; scan < size; ++scan) {
            length = index.longest(new_image.data() + scan, size - scan, &position);
            for (; counted < scan + length; ++counted)
                if (s.same(counted, last_offset)) ++old_score;
            if ((length == old_score && length != 0) || length > old_score + kSwitchMargin) break;
            if (s.same(scan, last_offset)) --old_score;
        }
        if (length == old_score && scan != size) continue;
        size_t forward = s.extend_forward(last_scan, last_source, scan);
        size_t backward = scan < size ? s.extend_backward(scan, position, last_scan) : 0;
        if (last_scan + forward > scan - backward) {
            size_t overlap = last_scan + forward - (scan - backward);
            size_t keep = s.split_overlap(last_scan + forward, last_source + forward, scan - backward,
                                          position - backward, overlap);
            forward = forward - overlap + keep;
            backward -= keep;
        }
        ops.push_back({uint32_t(forward), uint32_t(last_source), uint32_t(scan - backward - last_scan - forward)});
        last_scan = scan - backward;
        last_source = position - backward;
        last_offset = int64_t(position) - int64_t(scan);
    }
    return ops;
}

} // namespace fotapack
