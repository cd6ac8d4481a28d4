#include "engine_test_support.h"

#include "code_transform.h"
#include "file_io.h"
#include "image_delta.h"
#include "le_fields.h"

#include <algorithm>
#include <cstring>
#include <random>

namespace engine_test {

std::vector<uint8_t> random_bytes(size_t size, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> data(size);
    for (uint8_t& b : data) b = uint8_t(rng() >> 24);
    return data;
}

std::vector<uint8_t> edited(const std::vector<uint8_t>& old_image, uint32_t seed, int edits)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> image = old_image;
    for (int e = 0; e < edits && !image.empty(); ++e) {
        size_t at = rng() % image.size();
        size_t length = 1 + rng() % 2000;
        switch (rng() % 4) {
        case 0: // scattered byte changes
            for (size_t i = at; i < std::min(image.size(), at + length); i += 1 + rng() % 16) image[i] ^= uint8_t(1 + rng() % 255);
            break;
        case 1: { // insertion
            std::vector<uint8_t> piece = random_bytes(length, rng());
            image.insert(image.begin() + long(at), piece.begin(), piece.end());
            break;
        }
        case 2: // deletion
            image.erase(image.begin() + long(at), image.begin() + long(std::min(image.size(), at + length)));
            break;
        default: { // a piece copied from elsewhere
            size_t from = rng() % image.size();
            std::vector<uint8_t> piece(image.begin() + long(from),
                                       image.begin() + long(std::min(image.size(), from + length)));
            image.insert(image.begin() + long(at), piece.begin(), piece.end());
        }
        }
    }
    return image;
}

std::vector<uint8_t> read_bench_file(const std::string& relative)
{
    return fotapack::read_file(std::string(BENCH_DATA_DIR) + "/" + relative);
}

mem_flash prepared(const std::vector<uint8_t>& old_image, const std::vector<uint8_t>& new_image, uint32_t size,
                   uint32_t block_size, std::optional<uint32_t> transform)
{
    mem_flash flash = make_mem_flash(old_image, size, block_size);
    flash.delta = fotapack::make_image_delta(old_image, new_image, block_size, nullptr, transform);
    return flash;
}

void put_le32(std::vector<uint8_t>& data, size_t at, uint32_t word)
{
    kvr_put_le32(data.data() + at, word);
}

uint32_t get_le32(const std::vector<uint8_t>& data, size_t at)
{
    return kvr_le32(data.data() + at);
}

uint32_t arm_call(uint32_t kind, uint32_t site, uint32_t target)
{
    if (kind == KVR_TRANSFORM_A64) return 0x94000000 | (((target - site) >> 2) & 0x3FFFFFF);
    if (kind == KVR_TRANSFORM_A32) return 0xEB000000 | (((target - site - 8) >> 2) & 0xFFFFFF);
    const uint32_t imm = ((target - site - 4) >> 1) & 0xFFFFFF;
    const uint32_t s = imm >> 23, j1 = (~(imm >> 22) ^ s) & 1, j2 = (~(imm >> 21) ^ s) & 1;
    return (0xF000 | s << 10 | ((imm >> 11) & 0x3FF)) | (0xD000 | j1 << 13 | j2 << 11 | (imm & 0x7FF)) << 16;
}

bool holds(const mem_flash& flash, const std::vector<uint8_t>& image)
{
    return flash.flash.size() >= image.size() && std::memcmp(flash.flash.data(), image.data(), image.size()) == 0;
}

} // namespace engine_test
