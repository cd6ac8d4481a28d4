// The FOTA flag record that the boot loader reads from the "misc" partition,
// and the update flag page at the start of the "fota" partition.
#pragma once

#include "status_values.h"

// Writes the 12-byte record {"FOTA", flag, 0} to
// "/cache/kvr_fota/dua/tmp/FOTA_FLAG.bin" and copies it to the start of the
// erased "misc" partition. The erase command's result (not negative), or -1
// when "misc" is missing or can't be erased, -2 when the record file can't be
// written, -3 when the copy command doesn't fit its buffer.
int set_fota_flag(int flag);

int kvr_dua_set_update_flag(void);
int kvr_dua_clr_update_flag(void);
