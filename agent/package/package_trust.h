// Whether the registered package may reach the device: signed by one of the
// public keys that the device trusts (os_trusted_key_text). A build
// configured with KVR_ALLOW_UNSIGNED also accepts a package without a
// signature; nothing else accepts one.
#pragma once

#include "signed_package.h"

// The check of the package at the path, read once through a small buffer.
kvr_package_trust kvr_check_package_trust(const char* package_path);

// True when the outcome lets the package be used.
bool kvr_package_accepted(kvr_package_trust trust);

// True when this build accepts packages without a signature.
bool kvr_unsigned_allowed(void);
