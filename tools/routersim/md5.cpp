#include "routersim/md5.h"

#include <nettle/md5.h>

namespace routersim {

Md5Digest Md5(std::span<const uint8_t> bytes)
{
    md5_ctx context;
    md5_init(&context);
    md5_update(&context, bytes.size(), bytes.data());
    Md5Digest digest{};
    md5_digest(&context, digest.size(), digest.data());
    return digest;
}

std::string Md5Hex(std::span<const uint8_t> bytes)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (const uint8_t byte : Md5(bytes)) {
        text.push_back(kDigits[byte >> 4]);
        text.push_back(kDigits[byte & 0x0F]);
    }
    return text;
}

}  // namespace routersim
