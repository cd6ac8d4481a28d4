// Verifies or applies an image delta in place, one erase block at a time.
//
// Survey (both modes, reads only): each block of the write order either holds
// its target hash already (done), or the backup block holds it (a write torn
// by a power cut), or every source block it reads still holds its source
// hash; a partition untouched so far must be the whole source image.
// Apply then writes the pending blocks in order: build in memory, check the
// target hash, save to the backup block, write. A torn block is rewritten
// from the backup; done blocks are skipped; at the end the image must hash
// to the target.
#pragma once

#include "engine_run.h"

uint32_t kvr_image_update(kvr_engine_run* run);
