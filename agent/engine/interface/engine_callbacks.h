// What the agent and the delta update engine share: the parameter block and
// partition descriptor, the error values, the callbacks the agent serves and
// the engine's entry.
#pragma once

#include <cstdint>
#include <sys/types.h>

struct flash_ctx;

// Parameter block: pointer-sized words (32 bits on the device), zero where
// not set.
constexpr int KVR_ENGINE_PARAM_WORDS = 15;
enum kvr_engine_param {
    KVR_PARAM_OP_MODE = 0,      // 0 apply, 1 verify
    KVR_PARAM_HEAP = 1,         // the engine heap
    KVR_PARAM_HEAP_SIZE = 2,    // KVR_ENGINE_HEAP_SIZE
    KVR_PARAM_IMAGE = 3,        // 1 for an image partition
    KVR_PARAM_WORK_WORD = 4,    // image: a zeroed 32-bit work word
    KVR_PARAM_ONE_A = 5,        // 1
    KVR_PARAM_DESCRIPTOR = 6,   // the partition descriptor
    KVR_PARAM_TMP_FILE = 7,     // file system: the temporary file path
    KVR_PARAM_ONE_B = 8,        // 1
    KVR_PARAM_ZERO_WORD = 9,    // a 32-bit zero word
    KVR_PARAM_ONE_C = 10,       // 1
    KVR_PARAM_USER_DATA = 14,   // the flash context, handed back to every callback
};

// Partition descriptor: 7 pointer-sized words.
constexpr int KVR_ENGINE_DESCRIPTOR_WORDS = 7;
enum kvr_engine_descriptor {
    KVR_DESC_NAME = 0,          // the partition name
    KVR_DESC_MOUNT_PATH = 2,    // file system: its mount path
    KVR_DESC_FILE_SYSTEM = 6,   // 1 for a file-system partition
};

constexpr uint32_t KVR_ENGINE_HEAP_SIZE = 0xA00000;

// Results given to the engine.
constexpr uint32_t KVR_DE_OK = 0;
constexpr uint32_t KVR_DE_ERR_GENERAL = 0x80000000;
constexpr uint32_t KVR_DE_ERR_BAD_PARAM = 0x80000002;
constexpr uint32_t KVR_DE_ERR_WRITE = 0x80000021;
constexpr uint32_t KVR_DE_ERR_ERASE = 0x80000022;
constexpr uint32_t KVR_DE_ERR_READ = 0x80000023;
constexpr uint32_t KVR_DE_ERR_OPEN = 0x800000CD;
constexpr uint32_t KVR_DE_ERR_FOLDER = 0x800000CE;
constexpr uint32_t KVR_DE_ERR_DELETE = 0x800000D0;
constexpr uint32_t KVR_DE_ERR_RESIZE = 0x800000D1;
constexpr uint32_t KVR_DE_ERR_CLOSE = 0x800000D3;
constexpr uint32_t KVR_DE_ERR_LINK = 0x800000D4;
constexpr uint32_t KVR_DE_ERR_NULL_NAME = 0xFFFFFFFF;     // -1
constexpr uint32_t KVR_DE_ERR_RENAME = 0xFFFFFFFE;        // -2
constexpr uint32_t KVR_DE_ERR_NO_MEMORY = 0xFFFFFFFC;     // -4

// Image partitions.
uint32_t DE_GetDelta(flash_ctx* ctx, unsigned char* buffer, uint32_t start, uint32_t size);
uint32_t DE_ReadImage(flash_ctx* ctx, unsigned char* buffer, uint32_t address, uint32_t size);
uint32_t kvr_dua_read_source(flash_ctx* ctx, unsigned char* buffer, uint32_t address, uint32_t size);
uint32_t DE_WriteBlock(flash_ctx* ctx, uint32_t address, const unsigned char* data);
uint32_t DE_WriteBackupBlock(flash_ctx* ctx, uint32_t address, const unsigned char* data);
uint32_t DE_ReadBackupBlock(flash_ctx* ctx, unsigned char* buffer, uint32_t address, uint32_t size);
uint32_t DE_GetBlockSize(flash_ctx* ctx);
void DE_Progress(flash_ctx* ctx, uint32_t percent);
uint32_t DE_ResetTimerA(flash_ctx* ctx);
uint32_t DE_Trace(flash_ctx* ctx, const char* format, ...) __attribute__((format(printf, 2, 3)));
uint32_t kvr_dua_store_value(flash_ctx* ctx, uint32_t value, uint32_t* destination);

// File-system partitions; handles are file descriptors.
uint32_t DE_OpenFile(flash_ctx* ctx, const char* path, uint32_t mode, int32_t* handle);
uint32_t DE_CloseFile(flash_ctx* ctx, int32_t handle);
uint32_t DE_ReadFile(flash_ctx* ctx, int32_t handle, uint32_t position, unsigned char* buffer, uint32_t size);
uint32_t DE_WriteFile(flash_ctx* ctx, int32_t handle, uint32_t position, const unsigned char* buffer, uint32_t size);
uint32_t DE_ResizeFile(flash_ctx* ctx, int32_t handle, uint32_t size);
uint32_t DE_SyncFile(flash_ctx* ctx, int32_t handle);
uint32_t DE_GetFileSize(flash_ctx* ctx, int32_t handle);
uint32_t DE_GetAvailableFreeSpace(flash_ctx* ctx, const char* path, uint32_t* bytes);
uint32_t DE_DeleteFile(flash_ctx* ctx, const char* path);
uint32_t DE_Unlink(flash_ctx* ctx, const char* path);
uint32_t DE_CreateFolder(flash_ctx* ctx, const char* path);
uint32_t DE_DeleteFolder(flash_ctx* ctx, const char* path);
uint32_t DE_MoveFile(flash_ctx* ctx, const char* old_path, const char* new_path);
uint32_t DE_CopyFile(flash_ctx* ctx, const char* source, const char* target);
uint32_t DE_Link(flash_ctx* ctx, const char* link_path, const char* target);
uint32_t DE_VerifyLinkReference(flash_ctx* ctx, const char* link_path, const char* target);
uint32_t DE_SetFileAttributes(flash_ctx* ctx, const char* path, uint32_t size, const char* attributes);
int RecursiveFolderCreater(const char* path, mode_t mode);
int get_mode(uint32_t mode);

// Bad-block handling, on the process-wide context.
uint32_t DE_ReadPage(uint32_t page, unsigned char* buffer);
uint32_t DE_WritePage(uint32_t page, const unsigned char* data);
uint32_t DE_EraseBlock(uint32_t block);
int32_t DE_IsFlashBadBlock(uint32_t block);
void DE_MarkAsBadBlock(uint32_t address);
void* DE_HeapAllocate(uint32_t size);
void DE_HeapFree(void* pointer);

// The engine's update entry: runs the partition that the parameter block
// describes; 0, or a non-zero code. Called through this pointer, which the
// build sets to its engine and tests may point at their own.
typedef uint32_t (*kvr_engine_entry_fn)(uintptr_t* params);
extern kvr_engine_entry_fn kvr_engine_entry;
