// 127.0.0.1 as the platform's sockets take it (network byte order), for
// tests that bind and connect on loopback only.
#pragma once

#include <cstdint>

namespace testing_support {

uint32_t LoopbackAddress();

}  // namespace testing_support
