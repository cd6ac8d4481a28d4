// The router's DIAG service as far as the host uses it: the ESN read
// (command 0x01) answers with the command code and the ESN, little-endian.
// Any other command, and a frame that does not check out, answers "bad
// command" (0x13) followed by what could be read of the request.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "routersim/link_fault.h"

namespace routersim {

inline constexpr uint8_t kDiagReadEsn = 0x01;
inline constexpr uint8_t kDiagBadCommand = 0x13;

// The answer frame to the request frame `received`, broken as `diagBreak` says.
std::vector<uint8_t> DiagAnswer(std::span<const uint8_t> received, uint32_t esn, DiagBreak diagBreak);

}  // namespace routersim
