// A second, real web server for the web client's tests: busybox httpd on
// loopback, running a CGI program that answers /goform/goform_process the
// way the router does (goform_process.cgi). It lives in a temporary
// directory that Stop() removes:
//   www/cgi-bin/goform_process   the CGI program
//   httpd.conf                   allows 127.0.0.1 only
//   httpd.log                    busybox's own log
//   state/mode                   "work" or "factory"
//   state/version                the firmware version
//   state/requests               every request body, one per line
// busybox httpd will not run a CGI program at /goform/goform_process, so
// Port() is a relay in front of it that sends that path to
// /cgi-bin/goform_process and passes every other byte through (see
// path_relay.h); HttpdPort() is httpd itself.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "child_process.h"
#include "path_relay.h"

namespace busybox_peer {

inline constexpr const char* kDefaultFirmwareVersion = "EN_PELA_BR_KR710MV1.0.0B15";

class BusyboxPeer {
public:
    BusyboxPeer() = default;
    ~BusyboxPeer() { Stop(); }
    BusyboxPeer(const BusyboxPeer&) = delete;
    BusyboxPeer& operator=(const BusyboxPeer&) = delete;

    // Sets up the directory, starts busybox httpd on a free loopback port and
    // waits (at most a few seconds) until it accepts connections. Returns
    // false with the reason on standard error.
    bool Start();
    uint16_t Port() const { return relay_.Port(); }
    uint16_t HttpdPort() const { return httpdPort_; }
    // Ends httpd and everything it started, and removes the directory.
    void Stop();
    std::string StateDir() const;

    bool SetFactoryMode(bool on) const;
    bool FactoryMode() const;
    bool SetFirmwareVersion(const std::string& version) const;
    std::vector<std::string> RequestBodies() const;

private:
    bool PrepareDirectory();
    bool StartHttpd();

    std::string root_;
    uint16_t httpdPort_ = 0;
    ChildProcess httpd_;
    PathRelay relay_;
};

}  // namespace busybox_peer
