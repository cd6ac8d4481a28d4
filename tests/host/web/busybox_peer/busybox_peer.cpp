#include "busybox_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "../../support/poll_until.h"
#include "../../support/loopback_endpoint.h"

namespace busybox_peer {
namespace {

namespace fs = std::filesystem;

constexpr int kStartAttempts = 3;
constexpr auto kStartWait = std::chrono::seconds(5);
constexpr auto kProbeStep = std::chrono::milliseconds(20);
// busybox exits at once when its port is taken; a connection accepted on that
// port then came from someone else, so httpd must still run after a moment.
constexpr auto kSettle = std::chrono::milliseconds(50);

void Log(const std::string& text)
{
    std::fprintf(stderr, "busybox_peer: %s\n", text.c_str());
}

bool WriteFile(const fs::path& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    out.close();
    if (!out) Log("cannot write " + path.string());
    return static_cast<bool>(out);
}

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

// A port that was free a moment ago: bound to port 0 and released.
uint16_t FreeLoopbackPort()
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    sockaddr_in address = testing_support::LoopbackEndpoint(0);
    socklen_t length = sizeof(address);
    uint16_t port = 0;
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    close(fd);
    return port;
}

bool Accepts(uint16_t port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const sockaddr_in address = testing_support::LoopbackEndpoint(port);
    const bool connected = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    close(fd);
    return connected;
}

}  // namespace

bool BusyboxPeer::Start()
{
    if (!root_.empty()) {
        Log("already started");
        return false;
    }
    if (access(BUSYBOX_PROGRAM, X_OK) != 0) {
        Log(std::string(BUSYBOX_PROGRAM) + " cannot be run: " + std::strerror(errno));
        return false;
    }
    if (!PrepareDirectory() || !StartHttpd()) {
        Stop();
        return false;
    }
    if (!relay_.Start(httpdPort_, "/goform/goform_process", "/cgi-bin/goform_process")) {
        Stop();
        return false;
    }
    return true;
}

bool BusyboxPeer::PrepareDirectory()
{
    std::string pattern = (fs::temp_directory_path() / "busybox_peer.XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        Log("mkdtemp: " + std::string(std::strerror(errno)));
        return false;
    }
    root_ = pattern;
    const fs::path root(root_);
    std::error_code error;
    fs::create_directories(root / "www" / "cgi-bin", error);
    if (!error) fs::create_directories(root / "state", error);
    if (!error) fs::copy_file(BUSYBOX_PEER_CGI, root / "www" / "cgi-bin" / "goform_process", error);
    if (!error) {
        fs::permissions(root / "www" / "cgi-bin" / "goform_process", fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec,
                        fs::perm_options::replace, error);
    }
    if (error) {
        Log("cannot set up " + root_ + ": " + error.message());
        return false;
    }
    return WriteFile(root / "httpd.conf", "A:127.0.0.1\nD:*\n") && WriteFile(root / "state" / "mode", "work") &&
           WriteFile(root / "state" / "version", kDefaultFirmwareVersion) && WriteFile(root / "state" / "requests", "");
}

bool BusyboxPeer::StartHttpd()
{
    const fs::path root(root_);
    for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
        const uint16_t port = FreeLoopbackPort();
        if (port == 0) continue;
        const std::vector<std::string> argv{BUSYBOX_PROGRAM, "httpd", "-f", "-v", "-p", "127.0.0.1:" + std::to_string(port),
                                            "-h", (root / "www").string(), "-c", (root / "httpd.conf").string()};
        if (!httpd_.Start(argv, {"BUSYBOX_PEER_STATE=" + StateDir()}, (root / "httpd.log").string())) return false;
        const bool listening = testing_support::PollUntil(
            std::chrono::steady_clock::now() + kStartWait, [&] { return !httpd_.Running() || Accepts(port); }, kProbeStep);
        if (listening && httpd_.Running()) {
            std::this_thread::sleep_for(kSettle);
            if (httpd_.Running()) {
                httpdPort_ = port;
                return true;
            }
        }
        httpd_.Stop();
        Log("busybox httpd did not come up on 127.0.0.1:" + std::to_string(port) + "; its log: " + ReadFile(root / "httpd.log"));
    }
    return false;
}

void BusyboxPeer::Stop()
{
    relay_.Stop();
    httpd_.Stop();
    httpdPort_ = 0;
    if (root_.empty()) return;
    std::error_code error;
    fs::remove_all(root_, error);
    if (error) Log("cannot remove " + root_ + ": " + error.message());
    root_.clear();
}

std::string BusyboxPeer::StateDir() const
{
    return root_.empty() ? std::string() : (fs::path(root_) / "state").string();
}

bool BusyboxPeer::SetFactoryMode(bool on) const
{
    return !root_.empty() && WriteFile(fs::path(StateDir()) / "mode", on ? "factory" : "work");
}

bool BusyboxPeer::FactoryMode() const
{
    return !root_.empty() && ReadFile(fs::path(StateDir()) / "mode") == "factory";
}

bool BusyboxPeer::SetFirmwareVersion(const std::string& version) const
{
    return !root_.empty() && WriteFile(fs::path(StateDir()) / "version", version);
}

std::vector<std::string> BusyboxPeer::RequestBodies() const
{
    std::vector<std::string> bodies;
    if (root_.empty()) return bodies;
    std::istringstream lines(ReadFile(fs::path(StateDir()) / "requests"));
    for (std::string line; std::getline(lines, line);) bodies.push_back(line);
    return bodies;
}

}  // namespace busybox_peer
