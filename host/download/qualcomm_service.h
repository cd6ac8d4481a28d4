// The link container of the download service: one packet engine per port
// index 0 to 23, the link kind, and the rendezvous server that the engines'
// network sessions come from. Operations that exist for both link kinds
// dispatch on the kind here.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "link/net_packet.h"
#include "link/sock_producer.h"

namespace download {

inline constexpr int kPortCount = 24;

enum LinkKind : int32_t {
    kLinkNetwork = 1,
    kLinkSerial = 2,
};

class CBIWcdmaQualcommService {
public:
    explicit CBIWcdmaQualcommService(devlink::SockProducerSettings settings);
    virtual ~CBIWcdmaQualcommService() = default;
    CBIWcdmaQualcommService(const CBIWcdmaQualcommService&) = delete;
    CBIWcdmaQualcommService& operator=(const CBIWcdmaQualcommService&) = delete;

    devlink::CSockProducer& Server() { return server_; }
    // The engine of `port`; null outside 0..23.
    devlink::CNetPacket* Engine(int port);

    LinkKind Kind() const { return kind_; }
    void SetKind(LinkKind kind) { kind_ = kind; }

    // Claims the router's oldest connection for `port` and proves it: 1, or 0.
    int InitPort(int port);
    // The keyed port operations (0 close, 1 is open): 0, or -1 when the
    // operation failed or the port is outside 0..23.
    int PortControl(int port, int key);
    // Closes the network session (network kind) or the plain channel (serial kind).
    void ClosePort(int port);
    // Drops the replies waiting in the port's session slot, if it has one.
    void ClearReplies(int port);
    // The device's software version: the query-info reply on a network link
    // (the ESN request standing in when the query fails), the version block
    // of the plain channel on a serial link.
    bool QueryVersion(int port, std::u16string& text);

private:
    devlink::CSockProducer server_;
    std::array<std::unique_ptr<devlink::CNetPacket>, kPortCount> engines_;
    std::atomic<LinkKind> kind_{kLinkSerial};
};

}  // namespace download
