// A BSD socket address on 127.0.0.1, for the POSIX-only test peers and
// benchmarks that use the socket calls directly.
#pragma once

#include <netinet/in.h>

#include <cstdint>

namespace testing_support {

sockaddr_in LoopbackEndpoint(uint16_t port);

}  // namespace testing_support
