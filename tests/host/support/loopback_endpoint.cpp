#include "loopback_endpoint.h"

#include <arpa/inet.h>

namespace testing_support {

sockaddr_in LoopbackEndpoint(uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

}  // namespace testing_support
