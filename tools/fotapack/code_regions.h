// The branch prediction's inputs: which ARM instruction sets an image may
// hold and where its code lies, and the map of where old ranges went.
#pragma once

#include "delta_writer.h"
#include "image_matcher.h"

namespace fotapack {

// The region `kind` covers: the file range of the executable segments of an
// ELF file, the whole image otherwise.
transform_region likely_code_region(const std::vector<uint8_t>& image, uint32_t kind);

// The candidates for the old image: for an ELF file the instruction sets of
// its machine (ARM: A32 and Thumb-2; AArch64: A64), none for another
// machine; for anything else every set. Each with its region.
std::vector<transform_region> code_candidates(const std::vector<uint8_t>& image);

// The code map (code_transform.h entries) of the matches' copies: segments
// ascending in the old image, neighbours that moved alike joined.
std::vector<uint8_t> build_code_map(const std::vector<match_op>& ops);

} // namespace fotapack
