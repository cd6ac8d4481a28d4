// The files that the program carries inside itself: resources of type
// "UPGRADEVERSION" of the program's own module on Windows, blobs linked into
// the program elsewhere (cmake/program_resources.cmake builds both).
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace platform {

// The bytes of resource `id`; empty when the program carries no such
// resource. The bytes live as long as the program.
std::optional<std::span<const uint8_t>> ProgramResource(uint32_t id);

// One entry of the table that the build generates for the linked blobs; the
// table ends with an entry whose `begin` is null.
struct ProgramResourceRecord {
    uint32_t id;
    const uint8_t* begin;
    const uint8_t* end;
};

}  // namespace platform
