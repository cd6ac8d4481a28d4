#include "fs_update.h"

#include "engine_callbacks.h"
#include "fs_delta_reader.h"
#include "fs_file_builder.h"
#include "fs_files.h"

#include <cstring>

namespace {

enum op_state : uint8_t { OP_PENDING, OP_DONE, OP_FROM_TMP };

// Space an object takes beyond its content, and the unit content is
// counted in, for the free-space estimate.
constexpr uint64_t kSpaceUnit = 4096;

struct fs_job {
    kvr_engine_run* run;
    const char* mount;
    const char* tmp;
    kvr_fs_tables tables;
    uint8_t* states;
    uint8_t* chunk;
    char* path;  // the operation's path under the mount path
    char* extra; // its old path under the mount path, or its extra text
};

uint32_t failed(fs_job* job, const char* what, const char* path)
{
    DE_Trace(job->run->ctx, "%s: %s %s failed\n", job->run->part_name, what, path);
    return KVR_ENGINE_ERR_IO;
}

// Fills job->path and job->extra for operation op.
uint32_t paths_of(fs_job* job, const kvr_fs_op& op)
{
    const uint8_t* text = job->tables.text;
    bool fits = kvr_fs_join(job->mount, text + op.path_at, op.path_size, job->path);
    if (op.type == KVR_FS_RENAME) {
        fits = fits && kvr_fs_join(job->mount, text + op.extra_at, op.extra_size, job->extra);
    } else {
        std::memcpy(job->extra, text + op.extra_at, op.extra_size);
        job->extra[op.extra_size] = '\0';
    }
    if (fits) return KVR_DE_OK;
    DE_Trace(job->run->ctx, "%s: a path is too long under %s\n", job->run->part_name, job->mount);
    return KVR_ENGINE_ERR_HEADER;
}

bool holds(fs_job* job, const char* path, uint32_t size, const uint8_t* hash)
{
    return kvr_fs_file_holds(job->run->ctx, path, job->chunk, size, hash);
}

uint32_t not_source(fs_job* job, const char* path)
{
    DE_Trace(job->run->ctx, "%s: %s holds neither its source nor its result\n", job->run->part_name, path);
    return KVR_ENGINE_ERR_SOURCE;
}

uint32_t survey_op(fs_job* job, uint32_t i)
{
    kvr_fs_op op = kvr_fs_op_at(job->tables, i);
    job->states[i] = OP_PENDING;
    bool file = op.type == KVR_FS_NEW_FILE || op.type == KVR_FS_CHANGED_FILE || op.type == KVR_FS_RENAME;
    if (!file) return KVR_DE_OK;
    uint32_t result = paths_of(job, op);
    if (result != KVR_DE_OK) return result;
    if (holds(job, job->path, op.target_size, op.target_hash)) {
        job->states[i] = OP_DONE;
        return KVR_DE_OK;
    }
    if (op.type == KVR_FS_CHANGED_FILE && !holds(job, job->path, op.source_size, op.source_hash)) {
        if (!holds(job, job->tmp, op.target_size, op.target_hash)) return not_source(job, job->path);
        job->states[i] = OP_FROM_TMP;
    }
    if (op.type == KVR_FS_RENAME && !holds(job, job->extra, op.target_size, op.target_hash))
        return not_source(job, job->extra);
    return KVR_DE_OK;
}

uint32_t survey(fs_job* job)
{
    uint32_t count = job->tables.header.fs.op_count;
    uint32_t result = KVR_DE_OK;
    for (uint32_t i = 0; i < count && result == KVR_DE_OK; ++i) {
        result = survey_op(job, i);
        if (job->run->verify) DE_Progress(job->run->ctx, (i + 1) * 100 / count);
    }
    return result;
}

uint64_t units(uint64_t bytes)
{
    return (bytes + kSpaceUnit - 1) / kSpaceUnit * kSpaceUnit;
}

// Bytes the pending operations may add: new content, growth of changed
// files, new objects, and the temporary file at its largest.
uint64_t space_needed(const fs_job* job)
{
    uint64_t needed = 0, largest_tmp = 0;
    for (uint32_t i = 0; i < job->tables.header.fs.op_count; ++i) {
        kvr_fs_op op = kvr_fs_op_at(job->tables, i);
        if (job->states[i] == OP_DONE) continue;
        if (op.type == KVR_FS_NEW_FILE) needed += units(op.target_size) + kSpaceUnit;
        if (op.type == KVR_FS_CREATE_FOLDER || op.type == KVR_FS_SYMLINK) needed += kSpaceUnit;
        if (op.type == KVR_FS_CHANGED_FILE) {
            uint64_t grown = units(op.target_size), old = units(op.source_size);
            needed += grown > old ? grown - old : 0;
            largest_tmp = grown > largest_tmp ? grown : largest_tmp;
        }
    }
    return needed + largest_tmp;
}

uint32_t check_space(fs_job* job)
{
    uint32_t free_bytes = 0;
    if (DE_GetAvailableFreeSpace(job->run->ctx, job->mount, &free_bytes) != KVR_DE_OK)
        return failed(job, "free space query of", job->mount);
    uint64_t needed = space_needed(job);
    if (needed <= free_bytes) return KVR_DE_OK;
    DE_Trace(job->run->ctx, "%s: needs %llu bytes free, %u free, nothing written\n", job->run->part_name,
             static_cast<unsigned long long>(needed), free_bytes);
    return KVR_ENGINE_ERR_NO_SPACE;
}

uint32_t check_result(fs_job* job, const kvr_fs_op& op)
{
    if (holds(job, job->path, op.target_size, op.target_hash)) return KVR_DE_OK;
    DE_Trace(job->run->ctx, "%s: %s does not hold its result\n", job->run->part_name, job->path);
    return KVR_ENGINE_ERR_TARGET;
}

// Builds op's content into out_path and checks its hash.
uint32_t build(fs_job* job, const kvr_fs_op& op, const char* source_path, const char* out_path)
{
    uint8_t digest[KVR_DELTA_HASH_SIZE];
    uint32_t result = kvr_fs_build_file(job->run, job->tables, op, source_path, out_path, job->chunk, digest);
    if (result != KVR_DE_OK || std::memcmp(digest, op.target_hash, KVR_DELTA_HASH_SIZE) == 0) return result;
    DE_Trace(job->run->ctx, "%s: %s built wrong\n", job->run->part_name, out_path);
    return KVR_ENGINE_ERR_TARGET;
}

uint32_t changed_file(fs_job* job, const kvr_fs_op& op, uint8_t state)
{
    uint32_t result = state == OP_PENDING ? build(job, op, job->path, job->tmp) : KVR_DE_OK;
    if (result != KVR_DE_OK) return result;
    if (DE_CopyFile(job->run->ctx, job->tmp, job->path) != KVR_DE_OK) return failed(job, "copy over", job->path);
    return check_result(job, op);
}

uint32_t set_link(fs_job* job)
{
    flash_ctx* ctx = job->run->ctx;
    if (DE_VerifyLinkReference(ctx, job->path, job->extra) == KVR_DE_OK) return KVR_DE_OK;
    if (DE_Unlink(ctx, job->path) != KVR_DE_OK) return failed(job, "unlink", job->path);
    if (DE_Link(ctx, job->path, job->extra) != KVR_DE_OK) return failed(job, "link", job->path);
    return KVR_DE_OK;
}

// A removal that names a result keeps the file holding it: a later
// operation of an earlier run put it there.
bool keeps_result(fs_job* job, const kvr_fs_op& op)
{
    static const uint8_t none[KVR_DELTA_HASH_SIZE] = {};
    return std::memcmp(op.target_hash, none, KVR_DELTA_HASH_SIZE) != 0 &&
           holds(job, job->path, op.target_size, op.target_hash);
}

bool is_file(fs_job* job, const char* path)
{
    uint32_t size = 0;
    uint8_t digest[KVR_DELTA_HASH_SIZE];
    return kvr_fs_hash_file(job->run->ctx, path, job->chunk, &size, digest);
}

// The nearest folder above the path that opens is a file (made by a later
// operation of an earlier run), so the path itself cannot exist.
bool under_file(fs_job* job)
{
    size_t mount_size = std::strlen(job->mount);
    std::strcpy(job->extra, job->path);
    for (size_t end = std::strlen(job->extra); end > mount_size;) {
        while (end > mount_size && job->extra[end - 1] != '/') --end;
        if (end <= mount_size) return false;
        job->extra[--end] = '\0';
        int32_t handle = 0;
        if (DE_OpenFile(job->run->ctx, job->extra, 0, &handle) != KVR_DE_OK) continue;
        DE_CloseFile(job->run->ctx, handle);
        return is_file(job, job->extra);
    }
    return false;
}

// A removal that fails found what a later operation of an earlier run made:
// the other kind of object at the path (an empty folder or a link is
// removed, as the later operation makes it again; a file or a folder that is
// not empty is left), or a file in place of a folder above it.
uint32_t remove_entry(fs_job* job, const kvr_fs_op& op)
{
    flash_ctx* ctx = job->run->ctx;
    bool done = op.type == KVR_FS_REMOVE_FILE
                    ? keeps_result(job, op) || DE_DeleteFile(ctx, job->path) == KVR_DE_OK ||
                          DE_DeleteFolder(ctx, job->path) == KVR_DE_OK
                    : DE_DeleteFolder(ctx, job->path) == KVR_DE_OK || is_file(job, job->path) ||
                          DE_Unlink(ctx, job->path) == KVR_DE_OK;
    return done || under_file(job) ? KVR_DE_OK : failed(job, "removal of", job->path);
}

uint32_t apply_op(fs_job* job, uint32_t i)
{
    kvr_fs_op op = kvr_fs_op_at(job->tables, i);
    if (job->states[i] == OP_DONE) return KVR_DE_OK;
    uint32_t result = paths_of(job, op);
    if (result != KVR_DE_OK) return result;
    flash_ctx* ctx = job->run->ctx;
    switch (op.type) {
    case KVR_FS_CREATE_FOLDER:
        return DE_CreateFolder(ctx, job->path) == KVR_DE_OK ? KVR_DE_OK : failed(job, "folder creation", job->path);
    case KVR_FS_NEW_FILE: return build(job, op, nullptr, job->path);
    case KVR_FS_CHANGED_FILE: return changed_file(job, op, job->states[i]);
    case KVR_FS_RENAME:
        if (DE_MoveFile(ctx, job->extra, job->path) != KVR_DE_OK) return failed(job, "rename to", job->path);
        return check_result(job, op);
    case KVR_FS_SYMLINK: return set_link(job);
    case KVR_FS_ATTRIBUTES:
        if (DE_SetFileAttributes(ctx, job->path, op.extra_size, job->extra) == KVR_DE_OK) return KVR_DE_OK;
        return failed(job, "attributes of", job->path);
    default: return remove_entry(job, op);
    }
}

bool has_changed_file(const fs_job& job)
{
    for (uint32_t i = 0; i < job.tables.header.fs.op_count; ++i)
        if (kvr_fs_op_at(job.tables, i).type == KVR_FS_CHANGED_FILE) return true;
    return false;
}

uint32_t allocate(fs_job* job)
{
    job->states = static_cast<uint8_t*>(kvr_engine_alloc(job->run, job->tables.header.fs.op_count + 1));
    job->chunk = static_cast<uint8_t*>(kvr_engine_alloc(job->run, KVR_FS_CHUNK));
    job->path = static_cast<char*>(kvr_engine_alloc(job->run, KVR_FS_PATH_SIZE));
    job->extra = static_cast<char*>(kvr_engine_alloc(job->run, KVR_FS_PATH_SIZE));
    bool all = job->states != nullptr && job->chunk != nullptr && job->path != nullptr && job->extra != nullptr;
    return all ? KVR_DE_OK : KVR_ENGINE_ERR_NO_MEMORY;
}

} // namespace

uint32_t kvr_fs_update(kvr_engine_run* run, const char* mount_path, const char* tmp_path)
{
    fs_job job = {};
    job.run = run;
    job.mount = mount_path;
    job.tmp = tmp_path;
    uint32_t result = kvr_fs_delta_load(run, &job.tables);
    if (result == KVR_DE_OK) result = allocate(&job);
    if (result == KVR_DE_OK) result = survey(&job);
    if (result != KVR_DE_OK || run->verify) return result;
    result = check_space(&job);
    uint32_t count = job.tables.header.fs.op_count;
    for (uint32_t i = 0; i < count && result == KVR_DE_OK; ++i) {
        result = apply_op(&job, i);
        DE_Progress(run->ctx, (i + 1) * 100 / count);
    }
    if (result == KVR_DE_OK && has_changed_file(job) && DE_DeleteFile(run->ctx, tmp_path) != KVR_DE_OK)
        return failed(&job, "removal of", tmp_path);
    return result;
}
