#include "fs_files.h"

#include "engine_callbacks.h"

#include <sodium.h>

#include <cstring>

bool kvr_fs_join(const char* base, const uint8_t* relative, uint32_t size, char* out)
{
    size_t base_size = std::strlen(base);
    bool slash = base_size > 0 && base[base_size - 1] == '/';
    if (base_size + (slash ? 0 : 1) + size >= KVR_FS_PATH_SIZE) return false;
    std::memcpy(out, base, base_size);
    if (!slash) out[base_size++] = '/';
    std::memcpy(out + base_size, relative, size);
    out[base_size + size] = '\0';
    return true;
}

bool kvr_fs_hash_file(flash_ctx* ctx, const char* path, uint8_t* chunk, uint32_t* size,
                      uint8_t digest[KVR_DELTA_HASH_SIZE])
{
    int32_t handle = 0;
    if (DE_OpenFile(ctx, path, 0, &handle) != KVR_DE_OK) return false;
    *size = DE_GetFileSize(ctx, handle);
    crypto_hash_sha256_state sha;
    crypto_hash_sha256_init(&sha);
    bool good = true;
    for (uint32_t at = 0; good && at < *size; at += KVR_FS_CHUNK) {
        uint32_t piece = *size - at < KVR_FS_CHUNK ? *size - at : KVR_FS_CHUNK;
        good = DE_ReadFile(ctx, handle, at, chunk, piece) == KVR_DE_OK;
        crypto_hash_sha256_update(&sha, chunk, piece);
    }
    // An empty folder opens and "reads" as an empty file; a read of one byte
    // past the end tells them apart.
    if (good && *size == 0) good = DE_ReadFile(ctx, handle, 0, chunk, 1) == KVR_DE_OK;
    DE_CloseFile(ctx, handle);
    crypto_hash_sha256_final(&sha, digest);
    return good;
}

bool kvr_fs_file_holds(flash_ctx* ctx, const char* path, uint8_t* chunk, uint32_t size,
                       const uint8_t hash[KVR_DELTA_HASH_SIZE])
{
    uint32_t actual_size = 0;
    uint8_t digest[KVR_DELTA_HASH_SIZE];
    return kvr_fs_hash_file(ctx, path, chunk, &actual_size, digest) && actual_size == size &&
           std::memcmp(digest, hash, KVR_DELTA_HASH_SIZE) == 0;
}
