// What the agent leaves for the device's software and its boot loader: the
// update status stored in "/cache/kvr_fota/dua/update_status", and the
// 12-byte FOTA flag record {"FOTA", flag, 0} (little-endian words) at the
// start of the "misc" partition.
#pragma once

#include <cstddef>
#include <cstdint>

enum {
    KVR_STATUS_SUCCESS = 0,
    KVR_STATUS_FAILED = 1,
    KVR_STATUS_REGISTERED = 6,
    KVR_STATUS_BAD_PACKAGE = 7,
    KVR_STATUS_UNDER_WAY = 9,
};

enum { KVR_FOTA_FLAG_RECOVERY_DONE = 1, KVR_FOTA_FLAG_UPDATE_ENDED = 2 };

constexpr uint32_t KVR_FOTA_FLAG_MAGIC = 0x41544F46; // "FOTA"
constexpr size_t KVR_FOTA_FLAG_RECORD_SIZE = 12;
