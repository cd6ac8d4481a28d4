#include "loopback_address.h"

#include "platform/tcp_socket.h"

namespace testing_support {

uint32_t LoopbackAddress()
{
    uint32_t address = 0;
    platform::ResolveIPv4("127.0.0.1", address);
    return address;
}

}  // namespace testing_support
