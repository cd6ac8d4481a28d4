// The partition tables that the update stages apply, each ended by a row
// whose part_name is null.
#pragma once

#include <cstdint>

enum { KVR_PART_IMAGE = 1, KVR_PART_FILE_SYSTEM = 2 };
enum { KVR_OP_APPLY = 0, KVR_OP_VERIFY = 1 };

struct part_entry {
    const char* part_name;
    const char* delta_name;
    int32_t part_type;
};

extern const part_entry system_part_table[];
extern const part_entry recovery_part_table[];
