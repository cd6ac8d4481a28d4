// A loopback front door for busybox httpd. httpd runs a CGI program for a
// path under /cgi-bin/, for a path whose last dot starts a suffix mapped to
// an interpreter, and for a directory path ending in '/' (cgi-bin/index.cgi);
// any other POST gets 501. /goform/goform_process is none of these, and the
// reverse proxy that could map it is not built into Debian's busybox. The
// relay accepts each connection, replaces one request path in the request
// line and passes every other byte through unchanged in both directions; it
// closes the client's connection when httpd closes its own.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace busybox_peer {

class PathRelay {
public:
    PathRelay() = default;
    ~PathRelay() { Stop(); }
    PathRelay(const PathRelay&) = delete;
    PathRelay& operator=(const PathRelay&) = delete;

    // Listens on an ephemeral loopback port and forwards to 127.0.0.1:targetPort,
    // sending requests for `fromPath` (with or without a query) to `toPath`.
    bool Start(uint16_t targetPort, std::string fromPath, std::string toPath);
    uint16_t Port() const { return port_; }
    // Closes every connection and joins all threads.
    void Stop();

private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };

    void AcceptLoop();
    void ReapWorkers();
    void Relay(int clientFd) const;
    std::string Rewrite(const std::string& requestLine) const;

    uint16_t targetPort_ = 0;
    std::string fromPath_;
    std::string toPath_;
    int listener_ = -1;
    int stopRead_ = -1;
    int stopWrite_ = -1;
    uint16_t port_ = 0;
    std::thread acceptThread_;
    std::vector<Worker> workers_;  // the accept thread's alone while running
};

}  // namespace busybox_peer
