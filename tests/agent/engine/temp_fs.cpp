// The file callbacks of the engine over a real folder (the tests' temporary
// folders), with the same results as the agent's: opens for writing and
// copies make missing parent folders, removing a missing file or a missing
// or non-empty folder succeeds, a move onto an existing path does nothing, a
// link already right is kept. Every change counts as a write of the
// mem_flash context; at the cut a write or copy is torn (half its bytes),
// any other change is not made, and every later callback fails.
#include "engine_callbacks.h"
#include "mem_flash.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

mem_flash* of(flash_ctx* ctx)
{
    return reinterpret_cast<mem_flash*>(ctx);
}

// False when the device is cut, or this change is the cut.
bool may_change(flash_ctx* ctx)
{
    mem_flash* f = of(ctx);
    return !f->cut && !mem_flash_cut_now(f);
}

bool make_folders(const std::string& path)
{
    if (mkdir(path.c_str(), 0777) == 0 || errno == EEXIST) return true;
    size_t slash = path.rfind('/');
    if (errno != ENOENT || slash == std::string::npos || slash == 0) return false;
    return make_folders(path.substr(0, slash)) && (mkdir(path.c_str(), 0777) == 0 || errno == EEXIST);
}

bool make_parent(const char* path)
{
    std::string p = path;
    size_t slash = p.rfind('/');
    return slash != std::string::npos && slash > 0 && make_folders(p.substr(0, slash));
}

bool read_all(const char* path, std::vector<unsigned char>* data)
{
    int fd = open(path, O_RDONLY);
    if (fd < 0) return false;
    unsigned char piece[4096];
    ssize_t n;
    while ((n = read(fd, piece, sizeof piece)) > 0) data->insert(data->end(), piece, piece + n);
    close(fd);
    return n == 0;
}

} // namespace

uint32_t DE_OpenFile(flash_ctx* ctx, const char* path, uint32_t mode, int32_t* handle)
{
    *handle = 0;
    if (of(ctx)->cut) return KVR_DE_ERR_OPEN;
    if (mode == 0) {
        int fd = open(path, O_RDONLY);
        *handle = fd < 0 ? 0 : fd;
        return fd < 0 ? KVR_DE_ERR_OPEN : KVR_DE_OK;
    }
    // Opening for writing truncates or creates: a change.
    if (!may_change(ctx)) return KVR_DE_ERR_OPEN;
    int flags = mode == 1 ? O_WRONLY | O_CREAT | O_TRUNC : O_RDWR | O_CREAT;
    int fd = open(path, flags, 0644);
    if (fd < 0 && errno == ENOENT && make_parent(path)) fd = open(path, flags, 0644);
    if (fd < 0) return KVR_DE_ERR_FOLDER;
    *handle = fd;
    return KVR_DE_OK;
}

uint32_t DE_CloseFile(flash_ctx*, int32_t handle)
{
    return close(handle) == 0 ? KVR_DE_OK : KVR_DE_ERR_CLOSE;
}

uint32_t DE_ReadFile(flash_ctx* ctx, int32_t handle, uint32_t position, unsigned char* buffer, uint32_t size)
{
    if (of(ctx)->cut) return KVR_DE_ERR_READ;
    ssize_t got = pread(handle, buffer, size, position);
    struct stat st;
    if (got < 0 || fstat(handle, &st) != 0) return KVR_DE_ERR_READ;
    return uint32_t(got) == size || off_t(position) + got == st.st_size ? KVR_DE_OK : KVR_DE_ERR_READ;
}

uint32_t DE_WriteFile(flash_ctx* ctx, int32_t handle, uint32_t position, const unsigned char* buffer, uint32_t size)
{
    mem_flash* f = of(ctx);
    if (f->cut) return KVR_DE_ERR_WRITE;
    bool torn = mem_flash_cut_now(f);
    uint32_t n = torn ? size / 2 : size;
    if (pwrite(handle, buffer, n, position) != ssize_t(n) || torn) return KVR_DE_ERR_WRITE;
    return KVR_DE_OK;
}

uint32_t DE_SyncFile(flash_ctx* ctx, int32_t)
{
    return of(ctx)->cut ? KVR_DE_ERR_WRITE : KVR_DE_OK;
}

uint32_t DE_GetFileSize(flash_ctx*, int32_t handle)
{
    struct stat st;
    return fstat(handle, &st) == 0 ? uint32_t(st.st_size) : 0;
}

uint32_t DE_GetAvailableFreeSpace(flash_ctx* ctx, const char*, uint32_t* bytes)
{
    mem_flash* f = of(ctx);
    *bytes = 0;
    if (f->cut) return KVR_DE_ERR_NULL_NAME;
    f->writes_at_space_query = f->writes;
    *bytes = f->free_space;
    return KVR_DE_OK;
}

uint32_t DE_DeleteFile(flash_ctx* ctx, const char* path)
{
    if (!may_change(ctx)) return KVR_DE_ERR_DELETE;
    return unlink(path) == 0 || errno == ENOENT ? KVR_DE_OK : KVR_DE_ERR_DELETE;
}

uint32_t DE_Unlink(flash_ctx* ctx, const char* path)
{
    if (!may_change(ctx)) return KVR_DE_ERR_GENERAL;
    return unlink(path) == 0 || errno == ENOENT ? KVR_DE_OK : KVR_DE_ERR_GENERAL;
}

uint32_t DE_CreateFolder(flash_ctx* ctx, const char* path)
{
    if (!may_change(ctx)) return KVR_DE_ERR_GENERAL;
    return make_folders(path) ? KVR_DE_OK : KVR_DE_ERR_GENERAL;
}

uint32_t DE_DeleteFolder(flash_ctx* ctx, const char* path)
{
    if (!may_change(ctx)) return KVR_DE_ERR_GENERAL;
    return rmdir(path) == 0 || errno == ENOENT || errno == ENOTEMPTY ? KVR_DE_OK : KVR_DE_ERR_GENERAL;
}

uint32_t DE_MoveFile(flash_ctx* ctx, const char* old_path, const char* new_path)
{
    if (old_path == nullptr || new_path == nullptr) return KVR_DE_ERR_NULL_NAME;
    if (!may_change(ctx)) return KVR_DE_ERR_RENAME;
    int existing = open(new_path, O_RDONLY);
    if (existing >= 0) {
        close(existing);
        return KVR_DE_OK;
    }
    return rename(old_path, new_path) == 0 ? KVR_DE_OK : KVR_DE_ERR_RENAME;
}

uint32_t DE_CopyFile(flash_ctx* ctx, const char* source, const char* target)
{
    if (source == nullptr || target == nullptr) return KVR_DE_ERR_NULL_NAME;
    mem_flash* f = of(ctx);
    std::vector<unsigned char> data;
    if (f->cut || !read_all(source, &data)) return KVR_DE_ERR_OPEN;
    bool torn = mem_flash_cut_now(f);
    int fd = open(target, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 && errno == ENOENT && make_parent(target)) fd = open(target, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return KVR_DE_ERR_FOLDER;
    size_t n = torn ? data.size() / 2 : data.size();
    bool written = write(fd, data.data(), n) == ssize_t(n);
    close(fd);
    return written && !torn ? KVR_DE_OK : KVR_DE_ERR_WRITE;
}

uint32_t DE_VerifyLinkReference(flash_ctx* ctx, const char* link_path, const char* target)
{
    char linked[1024] = {};
    if (of(ctx)->cut || readlink(link_path, linked, sizeof linked - 1) < 0) return KVR_DE_ERR_GENERAL;
    return std::strcmp(linked, target) == 0 ? KVR_DE_OK : KVR_DE_ERR_GENERAL;
}

uint32_t DE_Link(flash_ctx* ctx, const char* link_path, const char* target)
{
    if (DE_VerifyLinkReference(ctx, link_path, target) == KVR_DE_OK) return KVR_DE_OK;
    if (!may_change(ctx)) return KVR_DE_ERR_LINK;
    return symlink(target, link_path) == 0 ? KVR_DE_OK : KVR_DE_ERR_LINK;
}

uint32_t DE_SetFileAttributes(flash_ctx* ctx, const char* path, uint32_t size, const char* attributes)
{
    if (path == nullptr || attributes == nullptr) return KVR_DE_ERR_BAD_PARAM;
    struct stat st;
    if (of(ctx)->cut || lstat(path, &st) != 0) return KVR_DE_ERR_GENERAL;
    if (S_ISLNK(st.st_mode) || size == 0) return KVR_DE_OK;
    unsigned mode = 0, user = 0, group = 0;
    if (std::sscanf(attributes, "_engine_%6o:%4x:%4x", &mode, &user, &group) < 3) return KVR_DE_ERR_GENERAL;
    if (!may_change(ctx)) return KVR_DE_ERR_GENERAL;
    if (chown(path, user, group) != 0 || chmod(path, mode & 07777) != 0) return KVR_DE_ERR_GENERAL;
    return KVR_DE_OK;
}
