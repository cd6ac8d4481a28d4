// Position-dependent rewriting of ARM branch instructions, as the BCJ
// filters do: each relative call or jump target becomes an absolute one
// (encode), so that code which moved encodes alike, and back (decode).
//
// The rewriting runs over a window of an image: the instructions found
// while scanning it from its start, each lying wholly inside it. Both
// directions find the same instructions, because only bits that the
// rewriting never changes decide what an instruction is; so decode(encode(x))
// is x for any bytes, data that merely looks like code included. The delta
// generator and the engine apply it to each erase block of an image (clipped
// to the image and to the region the delta names), so that an instruction
// across a block boundary is left alone by both.
#pragma once

#include <cstdint>

enum kvr_code_transform : uint32_t {
    KVR_TRANSFORM_NONE = 0,
    KVR_TRANSFORM_A32 = 1,    // BL and BLX (immediate) with any condition, B always
    KVR_TRANSFORM_THUMB2 = 2, // BL, BLX (immediate), B.W (32-bit encodings)
    KVR_TRANSFORM_A64 = 3,    // BL, B, ADRP
};
constexpr uint32_t KVR_TRANSFORM_KINDS = 4;

bool kvr_transform_known(uint32_t kind);
// Short name: "none", "a32", "thumb2", "a64".
const char* kvr_transform_name(uint32_t kind);

// data holds the image bytes [address, address + size); the instructions
// rewritten are those inside [window_start, window_end) and inside data.
void kvr_transform_encode(uint32_t kind, uint8_t* data, uint32_t size, uint32_t address, uint32_t window_start,
                          uint32_t window_end);
void kvr_transform_decode(uint32_t kind, uint8_t* data, uint32_t size, uint32_t address, uint32_t window_start,
                          uint32_t window_end);

// The window of erase block `index` of an image of `image_size` bytes under
// a region [region_start, region_end): empty (start == end) when they miss.
struct kvr_transform_window {
    uint32_t start;
    uint32_t end;
};
kvr_transform_window kvr_block_window(uint32_t index, uint32_t block_size, uint32_t image_size, uint32_t region_start,
                                      uint32_t region_end);
