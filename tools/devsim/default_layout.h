// The layout devsim init uses without --layout: the partitions of the
// agent's system and recovery tables, then "misc", "fota" and "cache", each
// 256 KiB of 128 KiB erase blocks and 2 KiB pages; the file-system partitions
// (and "cache") are mounted at "/" followed by their name in lower case.
#pragma once

#include "layout.h"

namespace devsim {

layout default_layout();

} // namespace devsim
