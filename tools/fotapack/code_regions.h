// Where an image's code lies and which ARM instruction set it is in, for
// the code transform of its delta.
#pragma once

#include "delta_writer.h"

#include <optional>

namespace fotapack {

// The image with the transform applied to each erase block inside the region.
std::vector<uint8_t> coded_image(const std::vector<uint8_t>& image, const transform_region& transform, uint32_t block_size);

// The region `kind` covers: the file range of the executable segments of an
// ELF file, the whole image otherwise.
transform_region likely_code_region(const std::vector<uint8_t>& image, uint32_t kind);

// The candidates for the new image: for an ELF file the instruction sets of
// its machine (ARM: A32 and Thumb-2; AArch64: A64), none for another
// machine; for anything else every set. Each with its region.
std::vector<transform_region> code_candidates(const std::vector<uint8_t>& image);

} // namespace fotapack
