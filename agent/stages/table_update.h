// One partition table run through the engine, partition after partition,
// resuming at the partition recorded as under way.
#pragma once

#include "part_tables.h"

// Sum of the lengths of the table's members that the package holds; -1 on a
// package error.
long long kvr_dua_get_delta_totalsize(const char* package_path, const part_entry* table);

int kvr_dua_update(const part_entry* table, int op_mode);
