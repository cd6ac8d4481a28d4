// Verifies or applies a file-system delta under the mount path.
//
// Survey (both modes, reads only): each file operation either holds its
// result already (done), or reads a source that still holds its source hash,
// or (a changed file) finds its result in the temporary file, where a cut
// left it before the copy over the old file. Apply then checks the free
// space that the pending operations need, and runs every operation in
// order; each is idempotent: folders are made or removed, files removed,
// links set and attributes given again, while file operations that are done
// are skipped. A changed file is built into the temporary file, checked by
// hash and copied over the old file, which is then checked by hash too.
#pragma once

#include "engine_run.h"

uint32_t kvr_fs_update(kvr_engine_run* run, const char* mount_path, const char* tmp_path);
