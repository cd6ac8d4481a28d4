#include "signed_package.h"

#include "le_fields.h"
#include "package_format.h"

#include <sodium.h>

#include <cstring>

namespace {

constexpr size_t kPiece = 4096;

// What the table says: whether it is laid out without gaps, where the
// signature member is and where the last member ends.
struct table_facts {
    bool laid_out = true;
    int signatures = 0;
    bool signature_last = false;
    uint32_t signature_length = 0;
    uint64_t end = 0;
};

// Reads exactly size bytes and adds them to the signed bytes.
bool read_signed(FILE* package, crypto_sign_state* state, uint8_t* out, size_t size)
{
    if (std::fread(out, 1, size, package) != size) return false;
    crypto_sign_update(state, out, size);
    return true;
}

// A package that ends early is altered; one that can't be read is not.
kvr_package_trust cut_short(FILE* package)
{
    return std::ferror(package) ? KVR_TRUST_UNREADABLE : KVR_TRUST_ALTERED;
}

bool read_table(FILE* package, crypto_sign_state* state, int32_t count, table_facts* facts)
{
    facts->end = KVR_PACKAGE_HEADER_SIZE + static_cast<uint64_t>(KVR_PACKAGE_ENTRY_SIZE) * count;
    for (int32_t position = 0; position < count; ++position) {
        uint8_t entry[KVR_PACKAGE_ENTRY_SIZE];
        if (!read_signed(package, state, entry, sizeof entry)) return false;
        bool named = std::memchr(entry, '\0', KVR_PACKAGE_NAME_SIZE) != nullptr;
        uint32_t length = kvr_le32(entry + KVR_PACKAGE_NAME_SIZE);
        if (!named || kvr_le32(entry + KVR_PACKAGE_NAME_SIZE + 4) != facts->end) facts->laid_out = false;
        facts->end += length;
        if (named && std::strcmp(reinterpret_cast<const char*>(entry), KVR_SIGNATURE_MEMBER) == 0) {
            ++facts->signatures;
            facts->signature_last = position == count - 1;
            facts->signature_length = length;
        }
    }
    return true;
}

// Streams the members before the signature record into the signed bytes.
bool read_members(FILE* package, crypto_sign_state* state, uint64_t size)
{
    uint8_t piece[kPiece];
    for (uint64_t left = size; left > 0;) {
        size_t want = left < kPiece ? static_cast<size_t>(left) : kPiece;
        if (!read_signed(package, state, piece, want)) return false;
        left -= want;
    }
    return true;
}

const uint8_t* trusted_key(const uint8_t* key_id, const uint8_t (*keys)[KVR_PUBLIC_KEY_SIZE], int key_count)
{
    for (int i = 0; i < key_count; ++i) {
        uint8_t id[KVR_KEY_ID_SIZE];
        kvr_key_id(keys[i], id);
        if (std::memcmp(id, key_id, KVR_KEY_ID_SIZE) == 0) return keys[i];
    }
    return nullptr;
}

kvr_package_trust check(FILE* package, const uint8_t (*keys)[KVR_PUBLIC_KEY_SIZE], int key_count,
                        kvr_signature_check* result)
{
    crypto_sign_state state;
    crypto_sign_init(&state);
    uint8_t header[KVR_PACKAGE_HEADER_SIZE];
    if (!read_signed(package, &state, header, sizeof header)) return cut_short(package);
    int32_t count = static_cast<int32_t>(kvr_le32(header + 4));
    if (kvr_le32(header) != KVR_PACKAGE_MAGIC || count < 0) return KVR_TRUST_ALTERED;
    table_facts facts;
    if (!read_table(package, &state, count, &facts)) return cut_short(package);
    if (facts.signatures == 0) return KVR_TRUST_NOT_SIGNED;
    if (!facts.laid_out || facts.signatures > 1 || !facts.signature_last) return KVR_TRUST_ALTERED;
    if (facts.signature_length != KVR_SIGNATURE_RECORD_SIZE) return KVR_TRUST_BAD_SIGNATURE;
    uint64_t table_end = KVR_PACKAGE_HEADER_SIZE + static_cast<uint64_t>(KVR_PACKAGE_ENTRY_SIZE) * count;
    if (!read_members(package, &state, facts.end - KVR_SIGNATURE_RECORD_SIZE - table_end)) return cut_short(package);
    uint8_t bytes[KVR_SIGNATURE_RECORD_SIZE];
    if (std::fread(bytes, 1, sizeof bytes, package) != sizeof bytes) return cut_short(package);
    if (std::fgetc(package) != EOF) return KVR_TRUST_ALTERED;
    if (std::ferror(package)) return KVR_TRUST_UNREADABLE;
    kvr_signature_record record;
    if (!kvr_decode_signature_record(bytes, sizeof bytes, &record)) return KVR_TRUST_BAD_SIGNATURE;
    result->has_key_id = true;
    std::memcpy(result->key_id, record.key_id, KVR_KEY_ID_SIZE);
    const uint8_t* key = trusted_key(record.key_id, keys, key_count);
    if (key == nullptr) return KVR_TRUST_UNKNOWN_KEY;
    return crypto_sign_final_verify(&state, record.signature, key) == 0 ? KVR_TRUST_SIGNED : KVR_TRUST_BAD_SIGNATURE;
}

} // namespace

kvr_signature_check kvr_check_signed_package(FILE* package, const uint8_t (*keys)[KVR_PUBLIC_KEY_SIZE], int key_count)
{
    kvr_signature_check result{KVR_TRUST_ALTERED, false, {}};
    if (sodium_init() < 0) {
        result.trust = KVR_TRUST_UNREADABLE;
        return result;
    }
    result.trust = check(package, keys, key_count, &result);
    return result;
}

const char* kvr_package_trust_text(kvr_package_trust trust)
{
    switch (trust) {
    case KVR_TRUST_SIGNED: return "package is signed by a trusted key";
    case KVR_TRUST_NOT_SIGNED: return "package is not signed";
    case KVR_TRUST_UNKNOWN_KEY: return "package is signed by an unknown key";
    case KVR_TRUST_BAD_SIGNATURE: return "package signature is bad";
    case KVR_TRUST_ALTERED: return "package member or table is altered";
    case KVR_TRUST_UNREADABLE: return "package can't be read";
    }
    return "package can't be checked";
}
