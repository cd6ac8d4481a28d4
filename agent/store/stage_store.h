// The stage under way ("/cache/kvr_fota/update.flg") and the partition under
// way ("/cache/kvr_fota/current_update").
#pragma once

#include "part_tables.h"

int set_current_stage(const char* id);

// The stored stage as a number, or -1 when the file can't be opened.
int get_current_stage(void);

int kvr_dua_set_current_part(const part_entry* table, int position);

// Sets *position to the row named in the current-part file, 0 when there is
// none or it names no row; -1 on null arguments (position untouched), a name
// without a row, or a file that can't be opened.
int kvr_dua_get_current_part(const part_entry* table, int* position);
