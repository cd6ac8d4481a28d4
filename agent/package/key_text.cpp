#include "key_text.h"

#include <sodium.h>

#include <cstring>

namespace {

const char* type_line(kvr_key_kind kind)
{
    return kind == KVR_KEY_PUBLIC ? "kvr_fota ed25519 public key\n" : "kvr_fota ed25519 secret key\n";
}

size_t key_size(kvr_key_kind kind)
{
    return kind == KVR_KEY_PUBLIC ? KVR_PUBLIC_KEY_SIZE : KVR_SECRET_KEY_SIZE;
}

} // namespace

std::string kvr_format_key(kvr_key_kind kind, const uint8_t* key)
{
    char hex[2 * KVR_SECRET_KEY_SIZE + 1];
    sodium_bin2hex(hex, sizeof hex, key, key_size(kind));
    std::string text = std::string(type_line(kind)) + hex + "\n";
    sodium_memzero(hex, sizeof hex);
    return text;
}

bool kvr_parse_key(kvr_key_kind kind, const char* text, size_t size, uint8_t* key)
{
    const char* type = type_line(kind);
    size_t type_size = std::strlen(type);
    size_t hex_size = 2 * key_size(kind);
    if (size != type_size + hex_size + 1 || std::memcmp(text, type, type_size) != 0 || text[size - 1] != '\n')
        return false;
    size_t decoded = 0;
    const char* end = nullptr;
    return sodium_hex2bin(key, key_size(kind), text + type_size, hex_size, nullptr, &decoded, &end) == 0 &&
           decoded == key_size(kind) && end == text + type_size + hex_size;
}
