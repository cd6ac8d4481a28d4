#include "routersim/link_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "routersim/link_announcement.h"
#include "routersim/link_io.h"
#include "routersim/log.h"
#include "routersim/loopback_address.h"

namespace routersim {
namespace {

constexpr auto kConnectTimeout = std::chrono::milliseconds(3000);
constexpr size_t kLargestDatagram = 65536;

std::string SocketError(const std::string& what)
{
    return what + ": " + std::strerror(errno);
}

UniqueFd BindAnnouncementSocket(const std::string& address, uint16_t port)
{
    UniqueFd fd(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd.Valid()) {
        LogLine(SocketError("socket"));
        return fd;
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    inet_pton(AF_INET, address.c_str(), &local.sin_addr);
    if (bind(fd.Get(), reinterpret_cast<const sockaddr*>(&local), sizeof(local)) != 0) {
        LogLine(SocketError("bind to " + address + ":" + std::to_string(port)));
        return UniqueFd();
    }
    return fd;
}

uint16_t LocalPort(int fd)
{
    sockaddr_in local{};
    socklen_t length = sizeof(local);
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) return 0;
    return ntohs(local.sin_port);
}

}  // namespace

LinkPeer::~LinkPeer()
{
    Stop();
}

bool LinkPeer::Start(RouterState& state, const std::string& address, uint16_t port)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (running_) {
        LogLine("the link side is already running");
        return false;
    }
    if (!IsPermittedAddress(address)) {
        LogLine(address + " is not a loopback address; the link side listens on loopback only");
        return false;
    }
    stop_.Reset(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!stop_.Valid()) {
        LogLine(SocketError("eventfd"));
        return false;
    }
    announceSocket_ = BindAnnouncementSocket(address, port);
    if (!announceSocket_.Valid()) return false;
    port_ = LocalPort(announceSocket_.Get());
    running_ = true;
    thread_ = std::thread([this, &state] { Run(state); });
    return true;
}

void LinkPeer::Stop()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!running_) return;
        running_ = false;
    }
    const uint64_t one = 1;
    const ssize_t written = write(stop_.Get(), &one, sizeof(one));
    static_cast<void>(written);  // an eventfd that cannot take one more is set already
    thread_.join();
    announceSocket_.Reset();
    stop_.Reset();
}

void LinkPeer::SetFaults(LinkFaults faults)
{
    std::lock_guard<std::mutex> lock(mutex_);
    conduct_.faults = std::move(faults);
}

LinkFaults LinkPeer::Faults() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return conduct_.faults;
}

void LinkPeer::SetEsn(uint32_t esn)
{
    std::lock_guard<std::mutex> lock(mutex_);
    conduct_.esn = esn;
}

void LinkPeer::SetFilesFolder(std::string folder)
{
    std::lock_guard<std::mutex> lock(mutex_);
    conduct_.filesFolder = std::move(folder);
}

void LinkPeer::SetImageChecks(bool on)
{
    std::lock_guard<std::mutex> lock(mutex_);
    conduct_.checkImages = on;
}

void LinkPeer::SetVerbose(bool on)
{
    std::lock_guard<std::mutex> lock(mutex_);
    conduct_.verbose = on;
}

void LinkPeer::OnConnected(ConnectedCallback callback)
{
    std::lock_guard<std::mutex> lock(mutex_);
    onConnected_ = std::move(callback);
}

LinkConduct LinkPeer::Conduct() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return conduct_;
}

void LinkPeer::Run(RouterState& state)
{
    while (true) {
        std::array<pollfd, 2> fds{{{stop_.Get(), POLLIN, 0}, {announceSocket_.Get(), POLLIN, 0}}};
        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            LogLine(SocketError("poll on the announcement socket"));
            return;
        }
        if (fds[0].revents != 0) return;
        if (fds[1].revents != 0) HandleDatagrams(state);
    }
}

void LinkPeer::HandleDatagrams(RouterState& state)
{
    // Room for the largest datagram, so that none is cut to look like an announcement.
    std::vector<uint8_t> datagram(kLargestDatagram);
    while (true) {
        const ssize_t got = recv(announceSocket_.Get(), datagram.data(), datagram.size(), 0);
        if (got < 0) return;
        if (!state.FactoryMode()) {
            recorder_.CountAnnouncement(false);
            if (Conduct().verbose) LogLine("link: not in factory mode; ignoring a datagram");
            continue;
        }
        std::string why;
        const auto host = ReadAnnouncement(std::span<const uint8_t>(datagram.data(), static_cast<size_t>(got)), why);
        recorder_.CountAnnouncement(host.has_value());
        if (!host) {
            LogLine("link: " + why);
            continue;
        }
        Connect(state, host->address, host->port);
        return;
    }
}

void LinkPeer::Connect(RouterState& state, const std::string& address, uint16_t port)
{
    const UniqueFd connection = ConnectLoopback(address, port, stop_.Get(), kConnectTimeout);
    if (!connection.Valid()) return;
    recorder_.CountConnection();
    connected_ = true;
    ConnectedCallback callback;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        callback = onConnected_;
    }
    if (callback) callback(address, port);
    LinkSession(connection.Get(), stop_.Get(), state, recorder_, [this] { return Conduct(); }).Run();
    DiscardDatagrams();
    connected_ = false;
    if (Conduct().verbose) LogLine("link: connection to " + address + ":" + std::to_string(port) + " ended");
}

void LinkPeer::DiscardDatagrams()
{
    std::array<uint8_t, 64> scratch{};
    while (recv(announceSocket_.Get(), scratch.data(), scratch.size(), 0) >= 0) recorder_.CountAnnouncement(false);
}

}  // namespace routersim
