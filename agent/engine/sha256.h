// SHA-256 (FIPS 180-4), streaming.
#pragma once

#include <cstddef>
#include <cstdint>

struct kvr_sha256_ctx {
    uint32_t state[8];
    uint64_t length;
    uint8_t pending[64];
    uint32_t pending_size;
};

void kvr_sha256_init(kvr_sha256_ctx* ctx);
void kvr_sha256_update(kvr_sha256_ctx* ctx, const uint8_t* data, size_t size);
void kvr_sha256_final(kvr_sha256_ctx* ctx, uint8_t digest[32]);
void kvr_sha256(const uint8_t* data, size_t size, uint8_t digest[32]);
