#include "package_trust.h"

#include "log.h"
#include "os.h"

namespace {

constexpr int kMaxTrustedKeys = 8;
constexpr size_t kKeyTextSize = 256;

// Reads the device's trusted keys; a key file that isn't a public key is
// logged and left out.
int trusted_keys(uint8_t (*keys)[KVR_PUBLIC_KEY_SIZE])
{
    int count = 0;
    char text[kKeyTextSize];
    for (int index = 0; count < kMaxTrustedKeys; ++index) {
        int length = os_trusted_key_text(index, text, sizeof text);
        if (length < 0) break;
        if (kvr_parse_key(KVR_KEY_PUBLIC, text, static_cast<size_t>(length), keys[count]))
            ++count;
        else
            KVR_LOG("trusted key %d is not a public key\n", index);
    }
    return count;
}

} // namespace

kvr_package_trust kvr_check_package_trust(const char* package_path)
{
    KVR_LOG("start, package path=%s\n", package_path);
    FILE* package = package_path ? os_fopen(package_path, "rb") : nullptr;
    if (package == nullptr) {
        KVR_LOG("error\n");
        return KVR_TRUST_UNREADABLE;
    }
    uint8_t keys[kMaxTrustedKeys][KVR_PUBLIC_KEY_SIZE];
    kvr_signature_check checked = kvr_check_signed_package(package, keys, trusted_keys(keys));
    std::fclose(package);
    KVR_LOG("end, %s\n", kvr_package_trust_text(checked.trust));
    return checked.trust;
}

bool kvr_package_accepted(kvr_package_trust trust)
{
    return trust == KVR_TRUST_SIGNED || (trust == KVR_TRUST_NOT_SIGNED && kvr_unsigned_allowed());
}

bool kvr_unsigned_allowed(void)
{
#ifdef KVR_ALLOW_UNSIGNED
    return true;
#else
    return false;
#endif
}
