// Misbehaviours the simulated router can show on its link connection, so
// that the host's handling of each one can be tested. Several can be in
// force at once; they can be changed while a connection is open.
#pragma once

#include <bitset>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string_view>

namespace routersim {

enum class DiagBreak {
    kNone,
    kBadFcs,     // DIAG answers carry a wrong FCS
    kNoEndFlag,  // DIAG answers lack their closing 0x7E
};

struct LinkFaults {
    std::bitset<256> refused;  // these request types are answered with 0xFF and not carried out
    std::bitset<256> silent;   // these request types are read and ignored: no answer, no effect
    bool silentAll = false;
    std::bitset<256> dropped;  // at a request of these types the connection closes unanswered
    std::chrono::milliseconds delay{0};  // before each answer
    // The connection closes once this many raw bytes of a transfer arrived.
    std::optional<uint64_t> dropAfterBytes;
    bool unknownFirst = false;  // a block of type kUnknownBlockType, with the request's seq, before each answer
    bool wrongSeq = false;      // answers carry the request's seq + 1
    DiagBreak diagBreak = DiagBreak::kNone;
    // Every request, whatever its type, is answered with one block of
    // random bytes from a generator seeded with this at each connection.
    std::optional<uint32_t> randomSeed;

    bool Silent(uint8_t type) const { return silentAll || silent.test(type); }
    bool Refused(uint8_t type) const { return refused.test(type); }
    bool Dropped(uint8_t type) const { return dropped.test(type); }
};

inline constexpr uint8_t kUnknownBlockType = 0x55;

// Adds one fault named as on the command line: refuse:TYPE, silent:TYPE,
// silent, drop:TYPE, drop-after:BYTES, unknown-first, wrong-seq, diag-bad-fcs,
// diag-no-flag, random:SEED. TYPE is 0..255, decimal or 0x-hex. False for
// an unknown name or a bad value.
bool AddLinkFault(std::string_view name, LinkFaults& faults);

// A number in decimal or with a 0x prefix in hex, up to `max`.
std::optional<uint64_t> ParseNumber(std::string_view text, uint64_t max);

}  // namespace routersim
