// The router's web interface: an HTTP/1.0 server on a loopback address that
// answers POST /goform/goform_process the way the router does, one request
// per connection, and closes each connection after its answer. Every other
// path gets 404. Faults and refused switches can be set while it runs, and
// it counts what it received so that tests can check the client's requests.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "routersim/form_answers.h"
#include "routersim/http_request.h"
#include "routersim/listener.h"
#include "routersim/router_state.h"
#include "routersim/unique_fd.h"
#include "routersim/web_fault.h"

namespace routersim {

struct WebLimits {
    RequestLimits request;
    // Real time from accepting a connection to the end of its request.
    std::chrono::milliseconds readTimeout{5000};
    // Connections served at once; more are closed at once.
    size_t maxConnections = 64;
};

struct WebCounters {
    int modeQueries = 0;
    int switches = 0;
    int versions = 0;
    int others = 0;     // complete requests for anything else
    int malformed = 0;  // requests answered with 4xx before they were complete
};

class WebServer {
public:
    explicit WebServer(RouterState& state, WebLimits limits = {});
    ~WebServer();
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    // Listens on `address` (loopback only) and `port` (0: any free port).
    // Returns false with a logged reason.
    bool Start(const std::string& address, uint16_t port);
    // Closes every connection, silent ones included, and joins all threads.
    void Stop();
    uint16_t Port() const { return port_; }

    // Takes effect for requests read from now on. With a connection fault
    // (silent, close early, close mid header) a request is counted but not
    // carried out. Switching to or from kRefuse closes or reopens the
    // listening socket on the same port before returning; false when that
    // failed (the reason is logged).
    bool SetFault(WebFault fault);
    WebFault Fault() const;
    // The next `count` switch requests answer "FAILED"; with kFail a switch
    // fails without using one of them up.
    void RefuseSwitches(int count);
    // Logs every request and its answer on standard error.
    void SetVerbose(bool on);

    WebCounters Counters() const;
    // The raw bytes of the last complete request.
    std::string LastRequest() const;

private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };

    void AcceptLoop();
    void ApplyListenState();
    void AcceptConnection();
    void ReapWorkers();
    void Serve(UniqueFd connection);
    void Answer(int fd, const HttpRequest& request, WebFault fault);
    std::string AnswerForm(FormCommand command, WebFault fault);
    void Record(const HttpRequest& request, FormCommand command, bool formPath);
    void WaitForStop() const;
    void CloseGracefully(int fd) const;
    bool Verbose() const;

    RouterState& state_;
    const WebLimits limits_;
    Listener listener_;  // the accept thread's alone while running
    UniqueFd stopRead_, stopWrite_, controlRead_, controlWrite_;
    std::thread acceptThread_;
    std::vector<Worker> workers_;  // the accept thread's alone while running
    std::atomic<uint16_t> port_{0};

    mutable std::mutex mutex_;
    std::condition_variable listenApplied_;
    bool running_ = false;
    WebFault fault_ = WebFault::kNone;
    uint64_t wantedListenState_ = 0;
    uint64_t appliedListenState_ = 0;
    bool listenStateOk_ = true;
    int refuseSwitches_ = 0;
    bool verbose_ = false;
    WebCounters counters_;
    std::string lastRequest_;
};

}  // namespace routersim
