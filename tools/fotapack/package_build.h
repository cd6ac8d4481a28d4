// Builds a whole update package from a manifest: one delta member per
// partition, named as the partition tables name it, then the scripts.
#pragma once

#include "manifest.h"

#include <cstdint>
#include <string>
#include <vector>

namespace fotapack {

// The member name of a partition (its delta_name in the partition tables);
// throws when the tables lack it or give it the other kind.
std::string member_name(const std::string& part_name, bool file_system);

std::vector<uint8_t> build_package(const manifest& m);

} // namespace fotapack
