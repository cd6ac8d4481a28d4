#include "platform/program_resource.h"

// Defined by the generated blob table of a program that carries resources;
// null in a program that carries none.
extern "C" __attribute__((weak)) const platform::ProgramResourceRecord flashdesk_program_resources[];

namespace platform {

std::optional<std::span<const uint8_t>> ProgramResource(uint32_t id)
{
    if (flashdesk_program_resources == nullptr) return std::nullopt;
    for (const ProgramResourceRecord* record = flashdesk_program_resources; record->begin != nullptr; ++record) {
        if (record->id == id) return std::span<const uint8_t>(record->begin, record->end);
    }
    return std::nullopt;
}

}  // namespace platform
