#include "firmware_images.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>

#include "routersim/crc32.h"

namespace routersim_test {
namespace {

void PutBigEndian(std::vector<uint8_t>& bytes, size_t offset, uint32_t value)
{
    for (size_t i = 0; i < 4; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

}  // namespace

std::vector<uint8_t> Pattern(size_t size, uint8_t salt)
{
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>((i * 131 + i / 251 + salt) & 0xFF);
    return bytes;
}

std::vector<uint8_t> ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<uint8_t> LegacyImage(std::span<const uint8_t> data, size_t totalSize)
{
    std::vector<uint8_t> image(kHeaderBytes);
    PutBigEndian(image, 0, 0x27051956);
    PutBigEndian(image, 8, 0x5F000000);                   // time
    PutBigEndian(image, 12, static_cast<uint32_t>(data.size()));
    PutBigEndian(image, 16, 0x80000000);                  // load address
    PutBigEndian(image, 20, 0x8036E000);                  // entry point
    PutBigEndian(image, 24, routersim::Crc32(data));
    image[28] = 5;  // Linux
    image[29] = 5;  // MIPS
    image[30] = 2;  // kernel
    image[31] = 3;  // LZMA
    const std::string name = "Linux Kernel Image";
    std::copy(name.begin(), name.end(), image.begin() + 32);
    PutBigEndian(image, kHeaderCrcAt, routersim::Crc32(image));
    image.insert(image.end(), data.begin(), data.end());
    if (image.size() < totalSize) image.resize(totalSize, 0xFF);
    return image;
}

std::vector<uint8_t> ChecksumText(std::string_view digest)
{
    const std::string text = std::string(digest) + "  /build/modem/fa_kr710_host_nomifi_ims_NA_C0_B.fbf.gz\npack_version TEST_01\n";
    return std::vector<uint8_t>(text.begin(), text.end());
}

std::filesystem::path FirmwareFolder()
{
    return FIRMWARE_FILES_DIR;
}

}  // namespace routersim_test
