#include "scripted_http_server.h"

#ifdef _WIN32
#include <winsock2.h>
#else
#include <sys/socket.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <vector>

#include "../support/loopback_address.h"

namespace {

// The server waits for its sockets with real-time polls, which never hold
// a driven clock back nor give it deadlines to step to; the client's limits
// alone decide when time moves.
constexpr uint32_t kPollUs = 10000;
// A request that has not come whole in this much real time is taken as it is.
constexpr auto kRequestLimit = std::chrono::seconds(10);
// A socket found ready is read (or accepted) without a wait on the clock.
constexpr uint32_t kReadyLimitMs = 0;

// How long an answered client may take to close its end.
constexpr auto kCloseLimit = std::chrono::seconds(10);

std::atomic<int>& ClosingSlot()
{
    static std::atomic<int> closing{0};
    return closing;
}

bool Readable(intptr_t handle)
{
    std::vector<intptr_t> readable;
    std::vector<intptr_t> writable;
    return platform::WaitForSockets({handle}, {}, kPollUs, readable, writable) > 0;
}

// Ends the answer (the client reads until this end) and keeps the
// connection until the client has closed its own end too.
void EndAnswer(platform::TcpSocket& connection)
{
#ifdef _WIN32
    ::shutdown(static_cast<SOCKET>(connection.Handle()), SD_SEND);
#else
    ::shutdown(static_cast<int>(connection.Handle()), SHUT_WR);
#endif
}

}  // namespace

// A connection whose answer has ended, until the client closes its end.
struct ScriptedHttpServer::Closing {
    std::unique_ptr<platform::TcpSocket> connection;
    std::chrono::steady_clock::time_point giveUp;

    Closing(std::unique_ptr<platform::TcpSocket> socket)
        : connection(std::move(socket)), giveUp(std::chrono::steady_clock::now() + kCloseLimit)
    {
        ++ClosingSlot();
    }
    Closing(Closing&& other) noexcept : connection(std::move(other.connection)), giveUp(other.giveUp) {}
    Closing& operator=(Closing&& other) noexcept
    {
        if (connection) --ClosingSlot();
        connection = std::move(other.connection);
        giveUp = other.giveUp;
        return *this;
    }
    ~Closing()
    {
        if (!connection) return;
        connection->Close();
        --ClosingSlot();
    }
};

int ScriptedHttpServer::ClosingConnections() { return ClosingSlot().load(); }

ScriptedHttpServer::ScriptedHttpServer(Responder responder) : responder_(std::move(responder))
{
    platform::StartNetworking();
    if (listener_.Listen(testing_support::LoopbackAddress(), 0)) port_ = listener_.Port();
    thread_ = std::thread([this] { Serve(); });
}

ScriptedHttpServer::~ScriptedHttpServer()
{
    stop_ = true;
    thread_.join();
}

std::vector<std::string> ScriptedHttpServer::Requests()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

std::string ScriptedHttpServer::Answer(const std::string& body) { return "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + body; }

std::string ScriptedHttpServer::ReadRequest(platform::TcpSocket& connection)
{
    std::string request;
    size_t expected = std::string::npos;
    const auto giveUp = std::chrono::steady_clock::now() + kRequestLimit;
    while (request.size() < (1u << 20) && std::chrono::steady_clock::now() < giveUp) {
        if (!Readable(connection.Handle())) continue;
        char buffer[4096];
        size_t received = 0;
        const platform::ReceiveStatus status = connection.Receive(buffer, sizeof buffer, received, kReadyLimitMs);
        if (status == platform::ReceiveStatus::kTimeout) continue;
        if (status != platform::ReceiveStatus::kData) break;
        request.append(buffer, received);
        const size_t headerEnd = request.find("\r\n\r\n");
        if (headerEnd != std::string::npos && expected == std::string::npos) {
            const size_t length = request.find("Content-Length: ");
            const size_t body = length == std::string::npos || length > headerEnd ? 0 : std::strtoul(request.c_str() + length + 16, nullptr, 10);
            expected = headerEnd + 4 + body;
        }
        if (request.size() >= expected) break;
    }
    return request;
}

void ScriptedHttpServer::Serve()
{
    std::vector<std::unique_ptr<platform::TcpSocket>> silent;
    std::vector<Closing> closing;
    while (!stop_) {
        std::vector<intptr_t> watched{listener_.Handle()};
        for (const Closing& ending : closing) watched.push_back(ending.connection->Handle());
        std::vector<intptr_t> readable;
        std::vector<intptr_t> writable;
        if (platform::WaitForSockets(watched, {}, kPollUs, readable, writable) <= 0) readable.clear();
        auto isReadable = [&](intptr_t handle) { return std::find(readable.begin(), readable.end(), handle) != readable.end(); };
        const auto now = std::chrono::steady_clock::now();
        closing.erase(std::remove_if(closing.begin(), closing.end(),
                                     [&](Closing& ending) {
                                         if (now > ending.giveUp) return true;
                                         if (!isReadable(ending.connection->Handle())) return false;
                                         char scratch[256];
                                         size_t received = 0;
                                         return ending.connection->Receive(scratch, sizeof scratch, received, kReadyLimitMs) !=
                                                platform::ReceiveStatus::kData;
                                     }),
                      closing.end());
        if (!isReadable(listener_.Handle())) continue;
        auto connection = std::make_unique<platform::TcpSocket>();
        if (!listener_.Accept(*connection, kReadyLimitMs)) continue;
        const std::string request = ReadRequest(*connection);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back(request);
        }
        const std::string reply = responder_(request);
        if (reply == kSilent) {
            silent.push_back(std::move(connection));
            continue;
        }
        if (reply != kNoAnswer) connection->Send(reply.data(), reply.size());
        EndAnswer(*connection);
        closing.emplace_back(std::move(connection));
    }
}
