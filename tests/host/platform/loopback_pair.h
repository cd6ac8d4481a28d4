// A connected pair of TCP sockets on the loopback interface. Connecting
// waits with limits on the clock; on a driven clock that nobody moves they
// are never reached and the connection is simply made.
#pragma once

#include <cstdint>

#include "platform/tcp_socket.h"

inline constexpr uint32_t kLoopback = 0x0100007F;  // 127.0.0.1 in network byte order

struct LoopbackPair {
    platform::TcpListener listener;
    platform::TcpSocket client;
    platform::TcpSocket server;

    bool Connect()
    {
        return platform::StartNetworking() && listener.Listen(kLoopback, 0) && client.Open() &&
               client.Connect(kLoopback, listener.Port(), 5000) && listener.Accept(server, 5000);
    }
};
