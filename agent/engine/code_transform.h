// Branch prediction for copies of ARM code. A copy moves old bytes to a new
// place; a relative call or jump inside it then points where it pointed
// before, shifted by how far the copy moved, while its target may have moved
// by another amount. The delta carries a map of where old ranges went
// (segments: old start, new start, length); before a copy's difference bytes
// are added, each branch of the copied bytes is rewritten to point where the
// map says its old target went, so that the difference is zero for every
// branch whose target the map knows.
//
// Generator and engine rewrite the same bytes the same way, so the result is
// exact for any bytes, data that merely looks like code included: nothing
// needs to be undone, the difference bytes carry whatever the prediction
// missed.
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

constexpr uint32_t KVR_CODE_MAP_ENTRY_SIZE = 12;

// count entries of KVR_CODE_MAP_ENTRY_SIZE bytes: u32 old start, u32 new
// start, u32 length, ascending and apart in old offsets.
struct kvr_code_map {
    const uint8_t* entries;
    uint32_t count;
};

// Where old offset `at` went; false when no segment holds it.
bool kvr_code_map_find(const kvr_code_map& map, uint32_t at, uint32_t* moved_to);

// data holds the size bytes copied from old offset `source` to new offset
// `target`. Rewrites each branch of the kind that lies wholly inside data
// and inside old offsets [region_start, region_end), scanning from the
// start of data.
void kvr_predict_copy(uint32_t kind, const kvr_code_map& map, uint8_t* data, uint32_t size, uint32_t source,
                      uint32_t target, uint32_t region_start, uint32_t region_end);
