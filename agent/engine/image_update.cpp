#include "image_update.h"

#include "block_builder.h"
#include "delta_reader.h"
#include "engine_callbacks.h"
#include "frame_decoder.h"

#include <sodium.h>

#include <cstring>

namespace {

enum block_state : uint8_t { BLOCK_PENDING, BLOCK_DONE, BLOCK_FROM_BACKUP };
enum source_check : uint8_t { SOURCE_UNKNOWN, SOURCE_GOOD, SOURCE_BAD };

struct image_job {
    kvr_engine_run* run;
    kvr_delta_tables tables;
    uint8_t* block;          // one erase block of work space
    uint8_t* backup;         // the backup block, when it holds some block's target
    uint8_t backup_hash[KVR_DELTA_HASH_SIZE];
    bool has_backup;
    uint8_t* states;         // per block table entry
    uint8_t* source_checks;  // per source block
};

uint32_t read_flash(image_job* job, uint8_t* out, uint32_t address, uint32_t size)
{
    if (DE_ReadImage(job->run->ctx, out, address, size) == KVR_DE_OK) return KVR_DE_OK;
    DE_Trace(job->run->ctx, "%s: flash read at 0x%x, 0x%x bytes failed\n", job->run->part_name, address, size);
    return KVR_ENGINE_ERR_IO;
}

// SHA-256 of flash [address, address + size), a block at a time.
uint32_t hash_flash(image_job* job, uint32_t address, uint32_t size, uint8_t digest[KVR_DELTA_HASH_SIZE])
{
    uint32_t step = job->tables.header.image.block_size;
    crypto_hash_sha256_state sha;
    crypto_hash_sha256_init(&sha);
    for (uint32_t done = 0; done < size; done += step) {
        uint32_t piece = size - done < step ? size - done : step;
        uint32_t result = read_flash(job, job->block, address + done, piece);
        if (result != KVR_DE_OK) return result;
        crypto_hash_sha256_update(&sha, job->block, piece);
    }
    crypto_hash_sha256_final(&sha, digest);
    return KVR_DE_OK;
}

uint32_t load_backup(image_job* job)
{
    uint32_t size = job->tables.header.image.block_size;
    job->has_backup = DE_ReadBackupBlock(job->run->ctx, job->backup, 0, size) == KVR_DE_OK;
    if (job->has_backup) crypto_hash_sha256(job->backup_hash, job->backup, size);
    return KVR_DE_OK;
}

uint32_t check_source_block(image_job* job, uint32_t index)
{
    const kvr_image_delta_fields& h = job->tables.header.image;
    if (job->source_checks[index] == SOURCE_UNKNOWN) {
        uint32_t address = index * h.block_size;
        uint32_t size = h.source_size - address < h.block_size ? h.source_size - address : h.block_size;
        uint8_t digest[KVR_DELTA_HASH_SIZE];
        uint32_t result = hash_flash(job, address, size, digest);
        if (result != KVR_DE_OK) return result;
        bool good = std::memcmp(digest, job->tables.source_hashes + uint64_t(index) * KVR_DELTA_BLOCK_HASH_SIZE,
                                KVR_DELTA_BLOCK_HASH_SIZE) == 0;
        job->source_checks[index] = good ? SOURCE_GOOD : SOURCE_BAD;
        if (!good)
            DE_Trace(job->run->ctx, "%s: source region 0x%x+0x%x does not hold the expected data\n",
                     job->run->part_name, address, size);
    }
    return job->source_checks[index] == SOURCE_GOOD ? KVR_DE_OK : KVR_ENGINE_ERR_SOURCE;
}

uint32_t survey_block(image_job* job, uint32_t i)
{
    kvr_delta_block b = kvr_delta_block_at(job->tables, i);
    uint8_t digest[KVR_DELTA_HASH_SIZE];
    uint32_t result = hash_flash(job, b.index * job->tables.header.image.block_size, job->tables.header.image.block_size, digest);
    if (result != KVR_DE_OK) return result;
    if (std::memcmp(digest, b.hash, KVR_DELTA_BLOCK_HASH_SIZE) == 0) {
        job->states[i] = BLOCK_DONE;
        return KVR_DE_OK;
    }
    if (job->has_backup && std::memcmp(job->backup_hash, b.hash, KVR_DELTA_BLOCK_HASH_SIZE) == 0) {
        job->states[i] = BLOCK_FROM_BACKUP;
        return KVR_DE_OK;
    }
    job->states[i] = BLOCK_PENDING;
    for (uint32_t r = 0; r < b.ref_count && result == KVR_DE_OK; ++r)
        result = check_source_block(job, kvr_delta_ref_at(job->tables, b.ref_first + r));
    return result;
}

uint32_t check_whole(image_job* job, uint32_t size, const uint8_t* expected, const char* what, uint32_t error)
{
    uint8_t digest[KVR_DELTA_HASH_SIZE];
    uint32_t result = hash_flash(job, 0, size, digest);
    if (result != KVR_DE_OK) return result;
    if (std::memcmp(digest, expected, KVR_DELTA_HASH_SIZE) == 0) return KVR_DE_OK;
    DE_Trace(job->run->ctx, "%s: region 0x0+0x%x is not the %s image\n", job->run->part_name, size, what);
    return error;
}

uint32_t survey(image_job* job)
{
    const kvr_image_delta_fields& h = job->tables.header.image;
    uint32_t touched = 0, done = 0;
    uint32_t result = load_backup(job);
    for (uint32_t i = 0; i < h.block_count && result == KVR_DE_OK; ++i) {
        result = survey_block(job, i);
        if (job->states[i] != BLOCK_PENDING) ++touched;
        if (job->states[i] == BLOCK_DONE) ++done;
        if (job->run->verify) DE_Progress(job->run->ctx, (i + 1) * 100 / h.block_count);
    }
    if (result != KVR_DE_OK) return result;
    if (touched == 0) return check_whole(job, h.source_size, h.source_hash, "source", KVR_ENGINE_ERR_SOURCE);
    if (done == h.block_count) return check_whole(job, h.target_size, h.target_hash, "target", KVR_ENGINE_ERR_TARGET);
    return KVR_DE_OK;
}

uint32_t write_block(image_job* job, const kvr_delta_block& b, const uint8_t* data, bool save_backup)
{
    kvr_engine_run* run = job->run;
    uint32_t address = b.index * job->tables.header.image.block_size;
    if (save_backup && DE_WriteBackupBlock(run->ctx, address, data) != KVR_DE_OK) {
        DE_Trace(run->ctx, "%s: backup of block 0x%x failed\n", run->part_name, address);
        return KVR_ENGINE_ERR_IO;
    }
    if (DE_WriteBlock(run->ctx, address, data) != KVR_DE_OK) {
        DE_Trace(run->ctx, "%s: write of block 0x%x failed\n", run->part_name, address);
        return KVR_ENGINE_ERR_IO;
    }
    return KVR_DE_OK;
}

uint32_t apply_block(image_job* job, uint32_t i, kvr_frame_cursor* cursor)
{
    kvr_delta_block b = kvr_delta_block_at(job->tables, i);
    bool pending = job->states[i] == BLOCK_PENDING;
    uint32_t result = kvr_block_build(job->run, job->tables, b, cursor, pending ? job->block : nullptr);
    if (result != KVR_DE_OK || job->states[i] == BLOCK_DONE) return result;
    if (!pending) return write_block(job, b, job->backup, false);
    uint8_t digest[KVR_DELTA_HASH_SIZE];
    crypto_hash_sha256(digest, job->block, job->tables.header.image.block_size);
    if (std::memcmp(digest, b.hash, KVR_DELTA_BLOCK_HASH_SIZE) != 0) {
        DE_Trace(job->run->ctx, "%s: block 0x%x built wrong, nothing written for it\n", job->run->part_name,
                 b.index * job->tables.header.image.block_size);
        return KVR_ENGINE_ERR_TARGET;
    }
    return write_block(job, b, job->block, true);
}

bool frame_done(const image_job* job, const kvr_delta_frame& frame)
{
    for (uint32_t i = frame.first_block; i < frame.first_block + frame.block_count; ++i)
        if (job->states[i] != BLOCK_DONE) return false;
    return true;
}

uint32_t apply_frame(image_job* job, uint32_t f)
{
    kvr_delta_frame frame = kvr_delta_frame_at(job->tables, f);
    if (frame_done(job, frame)) return KVR_DE_OK;
    uint32_t mark = kvr_heap_mark(&job->run->heap);
    uint8_t* unpacked = static_cast<uint8_t*>(
        kvr_engine_alloc(job->run, uint64_t(frame.control_size) + frame.difference_size + frame.literal_size));
    uint32_t result = unpacked == nullptr ? KVR_ENGINE_ERR_NO_MEMORY : kvr_frame_unpack(job->run, job->tables.header, frame, unpacked);
    kvr_frame_cursor cursor;
    if (result == KVR_DE_OK) kvr_frame_cursor_init(&cursor, frame, unpacked);
    for (uint32_t i = frame.first_block; i < frame.first_block + frame.block_count && result == KVR_DE_OK; ++i) {
        result = apply_block(job, i, &cursor);
        DE_Progress(job->run->ctx, (i + 1) * 100 / job->tables.header.image.block_count);
    }
    kvr_heap_release(&job->run->heap, mark);
    return result;
}

uint32_t allocate(image_job* job)
{
    const kvr_image_delta_fields& h = job->tables.header.image;
    uint32_t source_blocks = kvr_delta_source_blocks(job->tables.header);
    job->block = static_cast<uint8_t*>(kvr_engine_alloc(job->run, h.block_size));
    job->backup = static_cast<uint8_t*>(kvr_engine_alloc(job->run, h.block_size));
    job->states = static_cast<uint8_t*>(kvr_engine_alloc(job->run, h.block_count + 1));
    job->source_checks = static_cast<uint8_t*>(kvr_engine_alloc(job->run, source_blocks + 1));
    if (job->block == nullptr || job->backup == nullptr || job->states == nullptr || job->source_checks == nullptr)
        return KVR_ENGINE_ERR_NO_MEMORY;
    std::memset(job->source_checks, SOURCE_UNKNOWN, source_blocks + 1);
    return KVR_DE_OK;
}

} // namespace

uint32_t kvr_image_update(kvr_engine_run* run)
{
    image_job job = {};
    job.run = run;
    uint32_t result = kvr_delta_load(run, &job.tables);
    if (result == KVR_DE_OK) result = allocate(&job);
    if (result == KVR_DE_OK) result = survey(&job);
    if (result != KVR_DE_OK || run->verify) return result;
    for (uint32_t f = 0; f < job.tables.header.frame_count && result == KVR_DE_OK; ++f) result = apply_frame(&job, f);
    if (result != KVR_DE_OK) return result;
    const kvr_image_delta_fields& h = job.tables.header.image;
    return check_whole(&job, h.target_size, h.target_hash, "target", KVR_ENGINE_ERR_TARGET);
}
