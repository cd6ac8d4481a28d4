#include "signature_record.h"

#include <sodium.h>

#include <cstring>

namespace {

const uint8_t kMagic[4] = {'K', 'S', 'I', 'G'};
const uint8_t kVersion[4] = {1, 0, 0, 0};

} // namespace

void kvr_key_id(const uint8_t* public_key, uint8_t* key_id)
{
    uint8_t hash[crypto_generichash_BYTES];
    crypto_generichash(hash, sizeof hash, public_key, KVR_PUBLIC_KEY_SIZE, nullptr, 0);
    std::memcpy(key_id, hash, KVR_KEY_ID_SIZE);
}

void kvr_key_id_text(const uint8_t* key_id, char* text, size_t size)
{
    sodium_bin2hex(text, size, key_id, KVR_KEY_ID_SIZE);
}

void kvr_encode_signature_record(const kvr_signature_record& record, uint8_t* bytes)
{
    std::memcpy(bytes, kMagic, sizeof kMagic);
    std::memcpy(bytes + 4, kVersion, sizeof kVersion);
    std::memcpy(bytes + 8, record.key_id, KVR_KEY_ID_SIZE);
    std::memcpy(bytes + 16, record.signature, KVR_SIGNATURE_SIZE);
}

bool kvr_decode_signature_record(const uint8_t* bytes, size_t size, kvr_signature_record* record)
{
    if (size != KVR_SIGNATURE_RECORD_SIZE || std::memcmp(bytes, kMagic, sizeof kMagic) != 0 ||
        std::memcmp(bytes + 4, kVersion, sizeof kVersion) != 0)
        return false;
    std::memcpy(record->key_id, bytes + 8, KVR_KEY_ID_SIZE);
    std::memcpy(record->signature, bytes + 16, KVR_SIGNATURE_SIZE);
    return true;
}

void kvr_sign_bytes(const uint8_t* data, size_t size, const uint8_t* secret_key, uint8_t* record_bytes)
{
    kvr_signature_record record;
    kvr_key_id(secret_key + crypto_sign_SEEDBYTES, record.key_id);
    crypto_sign_state state;
    crypto_sign_init(&state);
    crypto_sign_update(&state, data, size);
    crypto_sign_final_create(&state, record.signature, nullptr, secret_key);
    kvr_encode_signature_record(record, record_bytes);
}
