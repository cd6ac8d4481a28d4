#include "routersim/legacy_image.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

#include "routersim/crc32.h"

namespace routersim {
namespace {

uint32_t BigEndianAt(std::span<const uint8_t> bytes, size_t offset)
{
    return static_cast<uint32_t>(bytes[offset]) << 24 | static_cast<uint32_t>(bytes[offset + 1]) << 16 |
           static_cast<uint32_t>(bytes[offset + 2]) << 8 | static_cast<uint32_t>(bytes[offset + 3]);
}

std::string Hex32(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08X", value);
    return text;
}

CheckVerdict Failed(std::string why)
{
    return {false, std::move(why)};
}

}  // namespace

CheckVerdict CheckLegacyImage(std::span<const uint8_t> image)
{
    if (image.size() < kLegacyHeaderBytes) {
        return Failed(std::to_string(image.size()) + " bytes are fewer than the " + std::to_string(kLegacyHeaderBytes) + "-byte header");
    }
    const uint32_t magic = BigEndianAt(image, 0);
    if (magic != kLegacyImageMagic) return Failed("magic " + Hex32(magic) + " is not " + Hex32(kLegacyImageMagic));

    std::array<uint8_t, kLegacyHeaderBytes> header{};
    std::copy_n(image.begin(), header.size(), header.begin());
    std::fill_n(header.begin() + kLegacyHeaderCrcAt, 4, 0);
    const uint32_t headerCrc = BigEndianAt(image, kLegacyHeaderCrcAt);
    const uint32_t headerComputed = Crc32(header);
    if (headerCrc != headerComputed) return Failed("header CRC " + Hex32(headerCrc) + ", computed " + Hex32(headerComputed));

    const std::span<const uint8_t> body = image.subspan(kLegacyHeaderBytes);
    const uint32_t dataSize = BigEndianAt(image, kLegacyDataSizeAt);
    if (dataSize > body.size()) {
        return Failed("data size " + std::to_string(dataSize) + " is more than the " + std::to_string(body.size()) +
                      " bytes after the header");
    }
    const uint32_t dataCrc = BigEndianAt(image, kLegacyDataCrcAt);
    const uint32_t dataComputed = Crc32(body.first(dataSize));
    const std::string over = " over " + std::to_string(dataSize) + " data bytes";
    if (dataCrc != dataComputed) return Failed("data CRC " + Hex32(dataCrc) + ", computed " + Hex32(dataComputed) + over);

    return {true, "magic " + Hex32(magic) + ", header CRC " + Hex32(headerCrc) + ", data CRC " + Hex32(dataCrc) + over + ", " +
                      std::to_string(body.size() - dataSize) + " bytes of padding after them"};
}

}  // namespace routersim
