// The web interface's listening socket on one loopback address and port.
// While refusing, the port stays bound but nothing listens on it, so that
// connections are refused and the same port can listen again later.
#pragma once

#include <cstdint>
#include <string>

#include "routersim/unique_fd.h"

namespace routersim {

class Listener {
public:
    // Binds to `address` (loopback only) and `port` (0: any free port)
    // without listening yet. Returns false with a logged reason.
    bool Bind(const std::string& address, uint16_t port);
    bool Listen();
    bool Refuse();
    void Close();

    int Fd() const { return socket_.Get(); }
    bool Listening() const { return listening_; }
    uint16_t Port() const { return port_; }

private:
    bool BindSocket();

    std::string address_;
    uint16_t port_ = 0;
    UniqueFd socket_;
    bool listening_ = false;
};

}  // namespace routersim
