#include "routersim/listener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

#include "routersim/log.h"
#include "routersim/loopback_address.h"

namespace routersim {
namespace {

constexpr int kBacklog = 16;

std::string SocketError(const std::string& what)
{
    return what + ": " + std::strerror(errno);
}

}  // namespace

bool Listener::Bind(const std::string& address, uint16_t port)
{
    if (!IsPermittedAddress(address)) {
        LogLine(address + " is not a loopback address; the web interface binds to loopback only");
        return false;
    }
    address_ = address;
    port_ = port;
    return BindSocket();
}

bool Listener::BindSocket()
{
    listening_ = false;
    // Non-blocking, so that a connection reset between poll and accept
    // cannot block the accept thread.
    UniqueFd fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd.Valid()) {
        LogLine(SocketError("socket"));
        return false;
    }
    const int on = 1;
    setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port_);
    inet_pton(AF_INET, address_.c_str(), &local.sin_addr);
    if (bind(fd.Get(), reinterpret_cast<const sockaddr*>(&local), sizeof(local)) != 0) {
        LogLine(SocketError("bind to " + address_ + ":" + std::to_string(port_)));
        return false;
    }
    socklen_t length = sizeof(local);
    if (getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        LogLine(SocketError("getsockname"));
        return false;
    }
    port_ = ntohs(local.sin_port);
    socket_ = std::move(fd);
    return true;
}

bool Listener::Listen()
{
    if (listening_) return true;
    if (!socket_.Valid() && !BindSocket()) return false;
    if (listen(socket_.Get(), kBacklog) != 0) {
        LogLine(SocketError("listen on " + address_ + ":" + std::to_string(port_)));
        return false;
    }
    listening_ = true;
    return true;
}

bool Listener::Refuse()
{
    if (!listening_) return true;
    socket_.Reset();
    return BindSocket();
}

void Listener::Close()
{
    socket_.Reset();
    listening_ = false;
}

}  // namespace routersim
