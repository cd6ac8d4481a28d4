// Image pairs and one-call update helpers for the engine tests.
#pragma once

#include "mem_flash.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace engine_test {

std::vector<uint8_t> random_bytes(size_t size, uint32_t seed);
// A new version of old: edits, insertions, deletions and moved pieces.
std::vector<uint8_t> edited(const std::vector<uint8_t>& old_image, uint32_t seed, int edits);
std::vector<uint8_t> read_bench_file(const std::string& relative);

// A partition of `size` bytes holding old_image, and the delta to new_image
// (with the code transform `transform` when given, else as fotapack chooses).
mem_flash prepared(const std::vector<uint8_t>& old_image, const std::vector<uint8_t>& new_image, uint32_t size,
                   uint32_t block_size, std::optional<uint32_t> transform = std::nullopt);

// Little-endian words in a byte vector.
void put_le32(std::vector<uint8_t>& data, size_t at, uint32_t word);
uint32_t get_le32(const std::vector<uint8_t>& data, size_t at);
// The call (BL) from `site` to `target` in an ARM instruction set of
// code_transform.h: A32, Thumb-2 (first halfword first) or A64.
uint32_t arm_call(uint32_t kind, uint32_t site, uint32_t target);

// The partition starts with the image.
bool holds(const mem_flash& flash, const std::vector<uint8_t>& image);

} // namespace engine_test
