#include "scripted_http_server.h"

#include <chrono>
#include <cstdlib>
#include <memory>

namespace {

uint32_t LoopbackAddress()
{
    uint32_t address = 0;
    platform::ResolveIPv4("127.0.0.1", address);
    return address;
}

}  // namespace

ScriptedHttpServer::ScriptedHttpServer(Responder responder) : responder_(std::move(responder))
{
    platform::StartNetworking();
    if (listener_.Listen(LoopbackAddress(), 0)) port_ = listener_.Port();
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
    for (int idle = 0; idle < 200 && request.size() < (1u << 20);) {
        char buffer[4096];
        size_t received = 0;
        const platform::ReceiveStatus status = connection.Receive(buffer, sizeof buffer, received, 10);
        if (status == platform::ReceiveStatus::kTimeout) {
            ++idle;
            continue;
        }
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
    while (!stop_) {
        auto connection = std::make_unique<platform::TcpSocket>();
        if (!listener_.Accept(*connection, 10)) continue;
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
    }
}
