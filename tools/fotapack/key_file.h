// The key files of package signing (format in agent/package/key_text.h). A
// secret key file is created with mode 0600, never over an existing file, and
// its key is never printed.
#pragma once

#include "key_text.h"

#include <array>
#include <cstdint>
#include <string>

namespace fotapack {

using public_key = std::array<uint8_t, KVR_PUBLIC_KEY_SIZE>;
using secret_key = std::array<uint8_t, KVR_SECRET_KEY_SIZE>;

// Makes a new Ed25519 key pair; throws std::runtime_error when a file can't
// be written or the secret key file exists.
void write_key_pair(const std::string& secret_path, const std::string& public_path);

// Throw std::runtime_error naming the path when it is not a key file of
// that kind.
secret_key read_secret_key(const std::string& path);
public_key read_public_key(const std::string& path);

} // namespace fotapack
