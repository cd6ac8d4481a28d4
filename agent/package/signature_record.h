// The signature member of a signed update package: the last entry of the
// table, named "signature.sig", holding one 80-byte record, little-endian:
//   0   4  magic "KSIG"
//   4   4  version 1
//   8   8  key id: the first 8 bytes of the BLAKE2b hash of the public key
//   16 64  Ed25519 signature (pre-hashed, streaming form) of every byte of the
//          package before the record: the header, the whole entry table with
//          the signature's own entry, and every other member in table order
#pragma once

#include "key_text.h"

#include <cstddef>
#include <cstdint>

constexpr char KVR_SIGNATURE_MEMBER[] = "signature.sig";
constexpr uint32_t KVR_SIGNATURE_RECORD_SIZE = 80;
constexpr size_t KVR_KEY_ID_SIZE = 8;
constexpr size_t KVR_SIGNATURE_SIZE = 64;

struct kvr_signature_record {
    uint8_t key_id[KVR_KEY_ID_SIZE];
    uint8_t signature[KVR_SIGNATURE_SIZE];
};

void kvr_key_id(const uint8_t* public_key, uint8_t* key_id);

// The key id as 16 lower-case hexadecimal digits.
void kvr_key_id_text(const uint8_t* key_id, char* text, size_t size);

void kvr_encode_signature_record(const kvr_signature_record& record, uint8_t* bytes);
// False when the bytes are not a record of this version.
bool kvr_decode_signature_record(const uint8_t* bytes, size_t size, kvr_signature_record* record);

// The record that signs the bytes with the secret key (seed and public key).
void kvr_sign_bytes(const uint8_t* data, size_t size, const uint8_t* secret_key, uint8_t* record_bytes);
