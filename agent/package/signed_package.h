// The check of a signed update package, read once from its start to its end
// through a small buffer, so that a package of any size is checked in a few
// kilobytes. Beyond the signature itself the layout must be exact: member
// offsets contiguous from the end of the table, exactly one signature member
// and it last, no byte after it.
#pragma once

#include "key_text.h"
#include "signature_record.h"

#include <cstdint>
#include <cstdio>

enum kvr_package_trust {
    KVR_TRUST_SIGNED,
    KVR_TRUST_NOT_SIGNED,
    KVR_TRUST_UNKNOWN_KEY,
    KVR_TRUST_BAD_SIGNATURE,
    KVR_TRUST_ALTERED,
    KVR_TRUST_UNREADABLE,
};

struct kvr_signature_check {
    kvr_package_trust trust;
    bool has_key_id; // the record was read: key_id holds the signer's key id
    uint8_t key_id[KVR_KEY_ID_SIZE];
};

// Reads the package from the stream's current position (its start) to its
// end and checks it against the public keys.
kvr_signature_check kvr_check_signed_package(FILE* package, const uint8_t (*keys)[KVR_PUBLIC_KEY_SIZE], int key_count);

// "package is not signed", "package is signed by an unknown key", ...
const char* kvr_package_trust_text(kvr_package_trust trust);
