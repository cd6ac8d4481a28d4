// A loopback HTTP peer for the client tests: it records each request's
// bytes and answers with whatever the test's responder returns.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/tcp_socket.h"

class ScriptedHttpServer {
public:
    // The raw bytes to send back for a request; kNoAnswer closes at once,
    // kSilent keeps the connection open without a word until Stop().
    using Responder = std::function<std::string(const std::string& request)>;
    static inline const std::string kNoAnswer = "\x01no-answer";
    static inline const std::string kSilent = "\x01silent";

    explicit ScriptedHttpServer(Responder responder);
    ~ScriptedHttpServer();
    uint16_t Port() const { return port_; }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/goform/goform_process"; }
    std::vector<std::string> Requests();
    // A plain "HTTP/1.0 200 OK" answer with `body`.
    static std::string Answer(const std::string& body);
    // Connections of every scripted server whose answer has ended but whose
    // client has not yet closed its end: the end of an answer is on its way
    // to the client, which no byte count shows (a driven clock must wait).
    static int ClosingConnections();

private:
    struct Closing;
    void Serve();
    std::string ReadRequest(platform::TcpSocket& connection);

    Responder responder_;
    platform::TcpListener listener_;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<std::string> requests_;
    std::thread thread_;
};
