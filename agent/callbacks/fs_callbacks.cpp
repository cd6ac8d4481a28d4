// The callbacks of a file-system partition: files and folders under the
// mount path, as plain file operations.
#include "engine_callbacks.h"
#include "flash_ctx.h"
#include "os.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr size_t kPathSize = 1024;
constexpr size_t kCopyPiece = 2048;
constexpr size_t kGapPiece = 4096;
constexpr mode_t kFolderMode = 0777;
constexpr mode_t kFileMode = 0644;

// The folder part of a path (before its last "/") into a kPathSize buffer;
// false for a path without "/" or one too long.
bool folder_of(const char* path, char* folder)
{
    const char* slash = std::strrchr(path, '/');
    size_t length = slash ? static_cast<size_t>(slash - path) : 0;
    if (slash == nullptr || length >= kPathSize) return false;
    std::memcpy(folder, path, length);
    folder[length] = '\0';
    return true;
}

// Fills [from, to) of the file with 0xFF in bounded pieces.
bool fill_gap(int fd, off_t from, off_t to)
{
    unsigned char piece[kGapPiece];
    std::memset(piece, 0xFF, sizeof piece);
    while (from < to) {
        size_t n = static_cast<size_t>(to - from < static_cast<off_t>(sizeof piece) ? to - from : sizeof piece);
        ssize_t written = pwrite(fd, piece, n, from);
        if (written != static_cast<ssize_t>(n)) {
            KVR_LOG("write failed with return value: %d\n", static_cast<int>(written));
            return false;
        }
        from += written;
    }
    return true;
}

const char* mode_trace(uint32_t mode)
{
    switch (mode) {
    case 0: return " RDONLY \n";
    case 1: return " WRONLY \n";
    case 2: return " RDWR \n";
    default: return " Unknown \n";
    }
}

} // namespace

int get_mode(uint32_t mode)
{
    KVR_LOG("%s", mode_trace(mode));
    switch (mode) {
    case 1: return O_WRONLY | O_CREAT | O_TRUNC;
    case 2: return O_RDWR | O_CREAT;
    default: return O_RDONLY;
    }
}

int RecursiveFolderCreater(const char* path, mode_t mode)
{
    KVR_LOG(" %s path: %s\n", __func__, path);
    char parent[kPathSize];
    if (*path == '\0' || !folder_of(path, parent) || parent[0] == '\0') return -1;
    KVR_LOG(" temppath: %s\n", parent);
    int result = os_mkdir(parent, mode);
    KVR_LOG(" mkdir result: %d errno: %d\n", result, result == 0 ? 0 : errno);
    if (result == 0 || errno == EEXIST) return 0;
    if (errno != ENOENT || RecursiveFolderCreater(parent, mode) != 0) return -1;
    return os_mkdir(parent, mode) == 0 || errno == EEXIST ? 0 : -1;
}

uint32_t DE_CreateFolder(flash_ctx*, const char* path)
{
    KVR_LOG("%s: %s, mode:0x%x\n", __func__, path, static_cast<unsigned>(kFolderMode));
    if (os_mkdir(path, kFolderMode) == 0 || errno == EEXIST) return KVR_DE_OK;
    int result = -1;
    if (errno == ENOENT && RecursiveFolderCreater(path, kFolderMode) == 0) result = os_mkdir(path, kFolderMode);
    if (result == 0) return KVR_DE_OK;
    KVR_LOG("Create folder problem value: %d, errno: %d\n", result, errno);
    return KVR_DE_ERR_GENERAL;
}

uint32_t DE_OpenFile(flash_ctx* ctx, const char* path, uint32_t mode, int32_t* handle)
{
    KVR_LOG("%s: Path:%s | Mode: %d\n", __func__, path, static_cast<int>(mode));
    int flags = get_mode(mode);
    int fd = os_open(path, flags, kFileMode);
    if (fd < 0) {
        *handle = 0;
        KVR_LOG(" First open() with error %d\n", errno);
        if (mode == 0 || errno != ENOENT) return KVR_DE_ERR_OPEN;
        char folder[kPathSize];
        if (!folder_of(path, folder)) return KVR_DE_ERR_FOLDER;
        // The labels "copy dir" (the file) and "remove dir" (the folder to
        // create) are kept as the device's software expects it.
        KVR_LOG(" copy dir[]=%s\n", path);
        KVR_LOG(" remove dir[]=%s\n", folder);
        if (DE_CreateFolder(ctx, folder) != KVR_DE_OK) {
            KVR_LOG(" Fail create folder, Leave DE_OpenFile\n");
            return KVR_DE_ERR_FOLDER;
        }
        fd = os_open(path, flags, kFileMode);
        if (fd < 0) {
            KVR_LOG(" After successful creating folder, fail open() with error %d\n", errno);
            return KVR_DE_ERR_FOLDER;
        }
    }
    *handle = fd;
    KVR_LOG(" Successful open() *pwHandle:%ld\n", static_cast<long>(fd));
    return KVR_DE_OK;
}

uint32_t DE_CloseFile(flash_ctx*, int32_t handle)
{
    KVR_LOG("handle %ld\n", static_cast<long>(handle));
    return os_close(handle) == 0 ? KVR_DE_OK : KVR_DE_ERR_CLOSE;
}

uint32_t DE_ReadFile(flash_ctx*, int32_t handle, uint32_t position, unsigned char* buffer, uint32_t size)
{
    KVR_LOG(" %s: Handle:%ld , Pos:%ld , Size: %ld", __func__, static_cast<long>(handle),
            static_cast<long>(position), static_cast<long>(size));
    off_t at = lseek(handle, position, SEEK_SET);
    if (at < 0) {
        KVR_LOG(" lseek failed with return value: %d\n", static_cast<int>(at));
        return KVR_DE_ERR_READ;
    }
    ssize_t got = read(handle, buffer, size);
    if (got < 0) {
        KVR_LOG(" read failed with return value: %d\n", static_cast<int>(got));
        return KVR_DE_ERR_READ;
    }
    KVR_LOG(" Bytes Read: %d\n", static_cast<int>(got));
    struct stat st;
    bool to_end = fstat(handle, &st) == 0 && static_cast<off_t>(position) + got == st.st_size;
    return static_cast<uint32_t>(got) == size || to_end ? KVR_DE_OK : KVR_DE_ERR_READ;
}

uint32_t DE_WriteFile(flash_ctx*, int32_t handle, uint32_t position, const unsigned char* buffer, uint32_t size)
{
    off_t end = lseek(handle, 0, SEEK_END);
    if (end < 0 || (static_cast<off_t>(position) > end && !fill_gap(handle, end, position))) return KVR_DE_ERR_WRITE;
    off_t at = lseek(handle, position, SEEK_SET);
    if (at < 0) {
        KVR_LOG("lseek failed with return value: %d\n", static_cast<int>(at));
        return KVR_DE_ERR_WRITE;
    }
    ssize_t written = write(handle, buffer, size);
    if (written != static_cast<ssize_t>(size)) {
        KVR_LOG("Failed with return value: %d, (%s)\n", static_cast<int>(written), std::strerror(errno));
        return KVR_DE_ERR_WRITE;
    }
    KVR_LOG("Bytes Write: %d\n", static_cast<int>(written));
    return KVR_DE_OK;
}

uint32_t DE_ResizeFile(flash_ctx*, int32_t handle, uint32_t size)
{
    KVR_LOG("%s: handle %ld, dwSize %d\n", __func__, static_cast<long>(handle), static_cast<int>(size));
    int result = ftruncate(handle, size);
    KVR_LOG("%s: ret %d handle %ld %d\n", __func__, result, static_cast<long>(handle), static_cast<int>(size));
    return result == 0 ? KVR_DE_OK : KVR_DE_ERR_RESIZE;
}

uint32_t DE_SyncFile(flash_ctx*, int32_t handle)
{
    int result = fsync(handle);
    if (result != 0) {
        KVR_LOG("fsync Failed with return value: %d\n", result);
        return KVR_DE_ERR_WRITE;
    }
    KVR_LOG("fsync after write: %d\n", result);
    return KVR_DE_OK;
}

uint32_t DE_GetFileSize(flash_ctx*, int32_t handle)
{
    struct stat st;
    off_t size = fstat(handle, &st) == 0 ? st.st_size : 0;
    KVR_LOG("DE_GetFileSize handle=%d size=%d\n", static_cast<int>(handle), static_cast<int>(size));
    return static_cast<uint32_t>(size);
}

uint32_t DE_GetAvailableFreeSpace(flash_ctx*, const char* path, uint32_t* bytes)
{
    KVR_LOG("%s : %s\n", __func__, path);
    struct statfs st;
    if (os_statfs(path, &st) != 0) {
        KVR_LOG("%s : failed to get statvfs\n", __func__);
        *bytes = 0;
        return KVR_DE_ERR_NULL_NAME;
    }
    *bytes = static_cast<uint32_t>(st.f_bsize) * static_cast<uint32_t>(st.f_bfree);
    KVR_LOG("%s : success %d\n", __func__, static_cast<int>(*bytes));
    return KVR_DE_OK;
}

uint32_t DE_DeleteFile(flash_ctx*, const char* path)
{
    KVR_LOG("%s: %s\n", __func__, path);
    int result = os_unlink(path);
    int error = result == 0 ? 0 : errno;
    KVR_LOG(" unlink value: %d, errno: %d\n", result, error);
    if (result == 0 || error == ENOENT) return KVR_DE_OK;
    std::printf("delete failed with return value: %d errno %d\n", result, error);
    return KVR_DE_ERR_DELETE;
}

uint32_t DE_Unlink(flash_ctx*, const char* path)
{
    KVR_LOG("%s \n", path);
    int result = os_unlink(path);
    if (result != 0 && errno != ENOENT) {
        KVR_LOG("unlink failed with return value: %d errno %d\n", result, errno);
        return KVR_DE_ERR_GENERAL;
    }
    KVR_LOG("unlink with return value: %d\n", result);
    return KVR_DE_OK;
}

uint32_t DE_DeleteFolder(flash_ctx*, const char* path)
{
    KVR_LOG("%s: %s\n", __func__, path);
    int result = os_rmdir(path);
    int error = result == 0 ? 0 : errno;
    KVR_LOG(" rmdir value: %d, errno: %d\n", result, error);
    if (result == 0 || error == ENOENT || error == ENOTEMPTY) return KVR_DE_OK;
    KVR_LOG("Delete folder problem value: %d, errno: %d\n", result, error);
    return KVR_DE_ERR_GENERAL;
}

uint32_t DE_MoveFile(flash_ctx*, const char* old_path, const char* new_path)
{
    KVR_LOG("%s: %s -> %s ", __func__, old_path ? old_path : "(null)", new_path ? new_path : "(null)");
    if (old_path == nullptr || new_path == nullptr) {
        KVR_LOG("NULL file name find. Abort.\n");
        return KVR_DE_ERR_NULL_NAME;
    }
    int existing = os_open(new_path, O_RDONLY, 0);
    if (existing >= 0) {
        os_close(existing);
        return KVR_DE_OK;
    }
    if (os_rename(old_path, new_path) != 0) {
        KVR_LOG("failed to rename file %s: %s -> %s ", std::strerror(errno), old_path, new_path);
        return KVR_DE_ERR_RENAME;
    }
    return KVR_DE_OK;
}

namespace {

// Opens the copy's target, creating its folder when missing.
FILE* open_copy_target(flash_ctx* ctx, const char* target, uint32_t* error)
{
    FILE* out = os_fopen(target, "w");
    if (out != nullptr) return out;
    char* folder = static_cast<char*>(std::malloc(kPathSize));
    if (folder == nullptr) {
        KVR_LOG("malloc failure (folderPath).\n");
        *error = KVR_DE_ERR_NO_MEMORY;
        return nullptr;
    }
    if (folder_of(target, folder) && DE_CreateFolder(ctx, folder) == KVR_DE_OK) out = os_fopen(target, "w");
    std::free(folder);
    if (out == nullptr) {
        KVR_LOG("Open %s failed. Abort.\n", target);
        *error = KVR_DE_ERR_FOLDER;
    }
    return out;
}

} // namespace

uint32_t DE_CopyFile(flash_ctx* ctx, const char* source, const char* target)
{
    KVR_LOG("%s: %s -> %s ", __func__, source ? source : "(null)", target ? target : "(null)");
    if (source == nullptr || target == nullptr) {
        KVR_LOG("NULL file name find. Abort.\n");
        return KVR_DE_ERR_NULL_NAME;
    }
    FILE* in = os_fopen(source, "r");
    if (in == nullptr) {
        KVR_LOG(" Open %s ENOENT %d\n", source, errno == ENOENT);
        KVR_LOG("Open %s failed. Abort.\n", source);
        return KVR_DE_ERR_OPEN;
    }
    uint32_t error = KVR_DE_OK;
    FILE* out = open_copy_target(ctx, target, &error);
    if (out == nullptr) {
        std::fclose(in);
        return error;
    }
    unsigned char piece[kCopyPiece];
    for (size_t got; error == KVR_DE_OK && (got = std::fread(piece, 1, sizeof piece, in)) > 0;) {
        size_t written = std::fwrite(piece, 1, got, out);
        if (written != got) {
            KVR_LOG(" read %d, but write %d, abort.\n", static_cast<int>(got), static_cast<int>(written));
            error = KVR_DE_ERR_WRITE;
        }
    }
    std::fclose(in);
    if (std::fflush(out) != 0 || fsync(fileno(out)) != 0) error = KVR_DE_ERR_WRITE;
    if (std::fclose(out) != 0) error = KVR_DE_ERR_WRITE;
    return error;
}

uint32_t DE_VerifyLinkReference(flash_ctx*, const char* link_path, const char* target)
{
    KVR_LOG("%s \n", link_path);
    char linked[kPathSize] = {};
    ssize_t n = os_readlink(link_path, linked, sizeof linked - 1);
    if (n < 0) {
        KVR_LOG("readlink failed with return value: %d\n", static_cast<int>(n));
        return KVR_DE_ERR_GENERAL;
    }
    if (std::strcmp(linked, target) == 0) {
        KVR_LOG(" same linked path\n");
        return KVR_DE_OK;
    }
    KVR_LOG("not same linked path - linkedpath[%s] pReferenceFileName[%s]\n", linked, target);
    return KVR_DE_ERR_GENERAL;
}

uint32_t DE_Link(flash_ctx* ctx, const char* link_path, const char* target)
{
    KVR_LOG("%s %s %s\n", __func__, link_path, target);
    if (DE_VerifyLinkReference(ctx, link_path, target) == KVR_DE_OK) return KVR_DE_OK;
    int result = os_symlink(target, link_path);
    if (result == 0) {
        KVR_LOG(" symlink with return value: %d\n", result);
        return KVR_DE_OK;
    }
    int error = errno;
    KVR_LOG(" symlink failed with return value: %d, errno: %d\n", result, error);
    if (error == EEXIST && DE_VerifyLinkReference(ctx, link_path, target) == KVR_DE_OK) return KVR_DE_OK;
    return KVR_DE_ERR_LINK;
}

uint32_t DE_SetFileAttributes(flash_ctx* ctx, const char* path, uint32_t size, const char* attributes)
{
    KVR_LOG("%s \n", path ? path : "(null)");
    if (path == nullptr) {
        KVR_LOG("ui16pFilePath NULL [error]\n");
        return KVR_DE_ERR_BAD_PARAM;
    }
    if (attributes == nullptr) {
        KVR_LOG("ui8pAttribs NULL [error]\n");
        return KVR_DE_ERR_BAD_PARAM;
    }
    struct stat st;
    int result = os_lstat(path, &st);
    if (result != 0) {
        KVR_LOG(" stat failed with return value: %d\n", result);
        return KVR_DE_ERR_GENERAL;
    }
    if (S_ISLNK(st.st_mode)) {
        KVR_LOG(" stat->st_mode = symbolic link file\n");
        return KVR_DE_OK;
    }
    if (S_ISREG(st.st_mode)) KVR_LOG(" stat->st_mode = regular file\n");
    if (S_ISDIR(st.st_mode)) KVR_LOG(" stat->st_mode = directory\n");
    if (size == 0) {
        KVR_LOG("ui32AttribSize 0\n");
        return KVR_DE_OK;
    }
    KVR_LOG("ui16pFilePath = %s\n", path);
    KVR_LOG("ui32AttribSize = %u\n", size);
    KVR_LOG("ui8pAttribs = %s\n", attributes);
    unsigned mode = 0;
    unsigned user = 0;
    unsigned group = 0;
    if (std::sscanf(attributes, "_engine_%6o:%4x:%4x", &mode, &user, &group) < 3) {
        DE_Trace(ctx, "Error in getting filemode and ownership details\n");
        return KVR_DE_ERR_GENERAL;
    }
    KVR_LOG("setFileMode = %d\n", static_cast<int>(mode));
    KVR_LOG("setFileMode = %o\n", mode);
    KVR_LOG("setUserID = %d\n", static_cast<int>(user));
    KVR_LOG("setGroupID = %d\n", static_cast<int>(group));
    if (os_chown(path, user, group) != 0) {
        KVR_LOG("%s chown error\n", path);
        KVR_LOG("%s setUserID = %d\n", path, static_cast<int>(user));
        KVR_LOG("%s setGroupID = %d\n", path, static_cast<int>(group));
        KVR_LOG("%s chown errno = %d\n", path, errno);
        return KVR_DE_ERR_GENERAL;
    }
    if (os_chmod(path, mode & 07777) != 0) {
        KVR_LOG("%s chmod error\n", path);
        return KVR_DE_ERR_GENERAL;
    }
    KVR_LOG("%s SUCCESS\n", path);
    return KVR_DE_OK;
}
