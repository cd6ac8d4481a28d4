// Signing an update package: the package is laid out again with the
// signature member "signature.sig" as its last entry (a signature it
// already has is replaced), then every byte before the signature record is
// signed (record format in agent/package/signature_record.h). The same
// package and key always give the same bytes.
#pragma once

#include "key_file.h"
#include "signed_package.h"

#include <cstdint>
#include <string>
#include <vector>

namespace fotapack {

// Throws std::runtime_error when the package is malformed.
std::vector<uint8_t> sign_package(const std::vector<uint8_t>& package, const secret_key& key);

// Checks the package file against the public keys, streaming.
kvr_signature_check check_package_file(const std::string& path, const std::vector<public_key>& keys);

// The key id of a public key as 16 hexadecimal digits.
std::string key_id_text(const uint8_t* key_id);

} // namespace fotapack
