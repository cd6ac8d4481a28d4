// Key files of the package signatures, as fotapack keygen writes them: a type
// line, then the key in lower-case hexadecimal on a line of its own.
//   kvr_fota ed25519 public key      32 bytes
//   kvr_fota ed25519 secret key      64 bytes (seed and public key)
// The type line keeps a secret key from being taken for a public one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

constexpr size_t KVR_PUBLIC_KEY_SIZE = 32;
constexpr size_t KVR_SECRET_KEY_SIZE = 64;

enum kvr_key_kind { KVR_KEY_PUBLIC, KVR_KEY_SECRET };

// The text of a key file of the kind.
std::string kvr_format_key(kvr_key_kind kind, const uint8_t* key);

// Reads a key of the kind from a key file's text into key (32 or 64 bytes);
// false when the text is not a key file of that kind.
bool kvr_parse_key(kvr_key_kind kind, const char* text, size_t size, uint8_t* key);
