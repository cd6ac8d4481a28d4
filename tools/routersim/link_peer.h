// The router's link side: while the router is in factory mode it waits for
// the host's UDP announcement on a loopback address, connects back to the
// announced loopback address and serves the host's link requests over that
// connection. One connection at a time; after it ends, the next
// announcement in factory mode connects again. Faults, the ESN and the
// files folder can be set while it runs, and it records what it received so
// that tests can check the host's requests.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "routersim/link_fault.h"
#include "routersim/link_recorder.h"
#include "routersim/link_session.h"
#include "routersim/router_state.h"
#include "routersim/unique_fd.h"

namespace routersim {

class LinkPeer {
public:
    using ConnectedCallback = std::function<void(const std::string& address, uint16_t port)>;

    LinkPeer() = default;
    ~LinkPeer();
    LinkPeer(const LinkPeer&) = delete;
    LinkPeer& operator=(const LinkPeer&) = delete;

    // Binds the announcement socket to `address` (loopback only) and `port`
    // (0: any free port) and starts the link thread. Returns false with a
    // logged reason.
    bool Start(RouterState& state, const std::string& address, uint16_t port);
    // Closes the connection and joins the link thread without waiting on
    // the host, whatever it does.
    void Stop();
    uint16_t Port() const { return port_; }

    // Take effect for the next request, on the open connection too.
    void SetFaults(LinkFaults faults);
    LinkFaults Faults() const;
    void SetEsn(uint32_t esn);
    // Complete files are also written there; empty: memory only.
    void SetFilesFolder(std::string folder);
    // On (the default): the modem upgrade and the Linux image's flash write
    // are refused unless the received images pass their checks.
    void SetImageChecks(bool on);
    void SetVerbose(bool on);
    // Called on the link thread after each connection is made.
    void OnConnected(ConnectedCallback callback);

    bool Connected() const { return connected_; }
    LinkCounters Counters() const { return recorder_.Counters(); }
    int BlocksSeen(uint8_t type) const { return recorder_.BlocksSeen(type); }
    size_t FileCount() const { return recorder_.FileCount(); }
    std::vector<ReceivedFile> Files() const { return recorder_.Files(); }
    void ForgetFiles() { recorder_.ForgetFiles(); }

private:
    void Run(RouterState& state);
    void HandleDatagrams(RouterState& state);
    void Connect(RouterState& state, const std::string& address, uint16_t port);
    // Throws away the announcements that arrived during a connection.
    void DiscardDatagrams();
    LinkConduct Conduct() const;

    UniqueFd announceSocket_;
    UniqueFd stop_;
    std::thread thread_;
    std::atomic<uint16_t> port_{0};
    std::atomic<bool> connected_{false};
    LinkRecorder recorder_;

    mutable std::mutex mutex_;
    bool running_ = false;
    LinkConduct conduct_;
    ConnectedCallback onConnected_;
};

}  // namespace routersim
