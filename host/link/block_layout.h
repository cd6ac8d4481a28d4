// Where each field of a link block lies. A data block (and every request
// as the router reads it) holds its bytes at kDataAt and the three words
// after them; CMD_IP_MAC and CMD_ANNOUNCE replies place theirs elsewhere.
#pragma once

#include <cstddef>

#include "link/link_block.h"

namespace devlink {

inline constexpr size_t kTypeAt = 0;
inline constexpr size_t kParamAt = 1;
inline constexpr size_t kSeqAt = 5;

inline constexpr size_t kDataAt = 9;
inline constexpr size_t kLengthAt = kDataAt + kDataCapacity;
inline constexpr size_t kAux1At = kLengthAt + 4;
inline constexpr size_t kAux2At = kAux1At + 4;

// CMD_IP_MAC: four arguments, then data at 29 whose last bytes the length
// and the two words overlap (kept as the router expects it).
inline constexpr size_t kIpMacArg1At = 9;
inline constexpr size_t kIpMacArg2At = 13;
inline constexpr size_t kIpMacArg3At = 17;
inline constexpr size_t kIpMacArg4At = 21;
inline constexpr size_t kIpMacDataAt = 29;
inline constexpr size_t kIpMacLengthAt = 1373;
inline constexpr size_t kIpMacAux1At = 1377;
inline constexpr size_t kIpMacAux2At = 1381;

// CMD_ANNOUNCE: the server's port and address, then the three words.
inline constexpr size_t kAnnounceArg1At = 9;
inline constexpr size_t kAnnounceArg2At = 13;
inline constexpr size_t kAnnounceLengthAt = 17;
inline constexpr size_t kAnnounceAux1At = 21;
inline constexpr size_t kAnnounceAux2At = 25;

}  // namespace devlink
