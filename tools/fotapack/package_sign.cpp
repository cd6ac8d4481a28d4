#include "package_sign.h"

#include "package_file.h"

#include <sodium.h>

#include <cstdio>
#include <stdexcept>

namespace fotapack {

std::vector<uint8_t> sign_package(const std::vector<uint8_t>& package, const secret_key& key)
{
    if (sodium_init() < 0) throw std::runtime_error("libsodium cannot start");
    std::vector<package_entry> entries = read_package_entries(package);
    if (!entries.empty() && entries.back().name == KVR_SIGNATURE_MEMBER) entries.pop_back();
    std::vector<package_member> members;
    for (const package_entry& e : entries) {
        if (e.name == KVR_SIGNATURE_MEMBER) throw std::runtime_error("the signature member is not the last member");
        members.push_back({e.name, std::vector<uint8_t>(package.begin() + e.offset, package.begin() + e.offset + e.length)});
    }
    members.push_back({KVR_SIGNATURE_MEMBER, std::vector<uint8_t>(KVR_SIGNATURE_RECORD_SIZE, 0)});
    std::vector<uint8_t> signed_package = write_package(members);
    size_t record_at = signed_package.size() - KVR_SIGNATURE_RECORD_SIZE;
    kvr_sign_bytes(signed_package.data(), record_at, key.data(), signed_package.data() + record_at);
    return signed_package;
}

static_assert(sizeof(public_key) == KVR_PUBLIC_KEY_SIZE, "public keys are read as an array of keys");

kvr_signature_check check_package_file(const std::string& path, const std::vector<public_key>& keys)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) throw std::runtime_error("cannot open " + path);
    kvr_signature_check checked =
        kvr_check_signed_package(file, reinterpret_cast<const uint8_t(*)[KVR_PUBLIC_KEY_SIZE]>(keys.data()),
                                 static_cast<int>(keys.size()));
    std::fclose(file);
    return checked;
}

std::string key_id_text(const uint8_t* key_id)
{
    char text[2 * KVR_KEY_ID_SIZE + 1];
    kvr_key_id_text(key_id, text, sizeof text);
    return text;
}

} // namespace fotapack
