// Bytes as a signed update package may hold them, read by the signature
// check that the agent runs before it uses a package: it must end without
// harm on any input, never accept bytes it did not see signed, and name the
// signer's key only when it read a whole signature record.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <sodium.h>

#include "signed_package.h"

namespace {

uint8_t g_key[1][KVR_PUBLIC_KEY_SIZE];

void check(bool condition)
{
    if (!condition) __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    uint8_t secret[KVR_SECRET_KEY_SIZE];
    if (sodium_init() < 0) std::abort();
    crypto_sign_keypair(g_key[0], secret);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FILE* package = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (package == nullptr) return 0;
    kvr_signature_check checked = kvr_check_signed_package(package, g_key, 1);
    std::fclose(package);
    check(checked.trust != KVR_TRUST_SIGNED);
    check(!checked.has_key_id || checked.trust == KVR_TRUST_UNKNOWN_KEY || checked.trust == KVR_TRUST_BAD_SIGNATURE);
    check(checked.trust != KVR_TRUST_UNREADABLE);
    return 0;
}
