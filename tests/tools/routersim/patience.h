// The bound of every wait of the routersim tests for something that must
// come: generous, so that only a fault, never a loaded machine, reaches it.
#pragma once

#include <chrono>

namespace routersim_test {

inline constexpr std::chrono::milliseconds kPatience = std::chrono::seconds(30);

}  // namespace routersim_test
