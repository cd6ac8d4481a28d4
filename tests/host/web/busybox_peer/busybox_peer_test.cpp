#include "busybox_peer.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

using busybox_peer::BusyboxPeer;

namespace {

constexpr std::string_view kModeQuery = "goformId=SwitchFactoryMode&SwitchCMD=Query";
constexpr std::string_view kSwitchOpen = "goformId=SwitchFactoryMode&SwitchCMD=Open";
constexpr std::string_view kGetVersion = "goformId=GetVersion";

std::string FormRequest(std::string_view body, std::string_view path = "/goform/goform_process")
{
    return "POST " + std::string(path) +
           " HTTP/1.0\r\n"
           "Accept: */*\r\n"
           "Accept-Language: en-us\r\n"
           "Accept-Encoding: gzip, deflate\r\n"
           "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)\r\n"
           "Content-Length: " +
           std::to_string(body.size()) +
           "\r\n"
           "Host: 127.0.0.1\r\n"
           "Content-Type: application/x-www-form-urlencoded\r\n"
           "\r\n" +
           std::string(body);
}

// Sends `request` to 127.0.0.1:port and reads until the server closes;
// nothing when it cannot connect or the answer takes over five seconds.
std::optional<std::string> Exchange(uint16_t port, const std::string& request)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return std::nullopt;
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::optional<std::string> response;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof(peer)) == 0 &&
        send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
        std::string received;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd readable{fd, POLLIN, 0};
            if (poll(&readable, 1, 50) <= 0) continue;
            char chunk[4096];
            const ssize_t got = recv(fd, chunk, sizeof(chunk), 0);
            if (got <= 0) {
                response = received;
                break;
            }
            received.append(chunk, static_cast<size_t>(got));
        }
    }
    close(fd);
    return response;
}

std::optional<std::string> BodyOf(const std::optional<std::string>& response)
{
    if (!response) return std::nullopt;
    const size_t blank = response->find("\r\n\r\n");
    if (blank == std::string::npos) return std::nullopt;
    return response->substr(blank + 4);
}

std::optional<std::string> PostForm(uint16_t port, std::string_view body)
{
    return BodyOf(Exchange(port, FormRequest(body)));
}

bool StartsWith(const std::optional<std::string>& text, std::string_view prefix)
{
    return text && text->rfind(prefix, 0) == 0;
}

class BusyboxPeerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(peer.Start()); }
    BusyboxPeer peer;
};

}  // namespace

TEST_F(BusyboxPeerTest, AnswersTheThreeCommands)
{
    EXPECT_EQ(PostForm(peer.Port(), kModeQuery), "FACTORYRESULT:CLOSED");
    EXPECT_EQ(PostForm(peer.Port(), kGetVersion), "SW_VERSION:EN_PELA_BR_KR710MV1.0.0B15");
    EXPECT_FALSE(peer.FactoryMode());
    EXPECT_EQ(PostForm(peer.Port(), kSwitchOpen), "SUCCESS");
    EXPECT_TRUE(peer.FactoryMode());
    EXPECT_EQ(PostForm(peer.Port(), kModeQuery), "FACTORYRESULT:OPENED");
    EXPECT_EQ(peer.RequestBodies(), (std::vector<std::string>{std::string(kModeQuery), std::string(kGetVersion),
                                                               std::string(kSwitchOpen), std::string(kModeQuery)}));
}

TEST_F(BusyboxPeerTest, AnswersFromTheStateDirectory)
{
    ASSERT_TRUE(peer.SetFactoryMode(true));
    ASSERT_TRUE(peer.SetFirmwareVersion("EN_PELA_BR_KR880PLUSV1.0.0B02"));
    EXPECT_EQ(PostForm(peer.Port(), kModeQuery), "FACTORYRESULT:OPENED");
    EXPECT_EQ(PostForm(peer.Port(), kGetVersion), "SW_VERSION:EN_PELA_BR_KR880PLUSV1.0.0B02");
    EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::path(peer.StateDir()) / "mode"));
}

TEST_F(BusyboxPeerTest, TheAnswerIsBusyboxHttpdsOwn)
{
    const auto response = Exchange(peer.Port(), FormRequest(kModeQuery));
    EXPECT_TRUE(StartsWith(response, "HTTP/1.1 200 OK\r\n")) << response.value_or("(none)");
    EXPECT_EQ(BodyOf(response), "FACTORYRESULT:CLOSED");
}

TEST_F(BusyboxPeerTest, OtherFormsFail)
{
    EXPECT_EQ(PostForm(peer.Port(), "goformId=Reboot"), "FAILED");
}

TEST_F(BusyboxPeerTest, HttpdRunsTheProgramOnlyUnderCgiBin)
{
    EXPECT_EQ(BodyOf(Exchange(peer.HttpdPort(), FormRequest(kModeQuery, "/cgi-bin/goform_process"))), "FACTORYRESULT:CLOSED");
    const auto direct = Exchange(peer.HttpdPort(), FormRequest(kModeQuery));
    EXPECT_TRUE(StartsWith(direct, "HTTP/1.1 501 ")) << direct.value_or("(none)");
}

TEST_F(BusyboxPeerTest, OtherPathsReachHttpdUnchanged)
{
    const auto missing = Exchange(peer.Port(), "GET /goform/nothing HTTP/1.0\r\n\r\n");
    EXPECT_TRUE(StartsWith(missing, "HTTP/1.1 404 ")) << missing.value_or("(none)");
    const auto otherForm = Exchange(peer.Port(), FormRequest(kModeQuery, "/goform/goform_process_other"));
    EXPECT_TRUE(StartsWith(otherForm, "HTTP/1.1 501 ")) << otherForm.value_or("(none)");
}

TEST_F(BusyboxPeerTest, StopEndsHttpdAndRemovesTheDirectory)
{
    const std::string stateDir = peer.StateDir();
    const uint16_t port = peer.Port();
    const uint16_t httpdPort = peer.HttpdPort();
    peer.Stop();
    EXPECT_EQ(peer.StateDir(), "");
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(stateDir).parent_path()));
    EXPECT_EQ(Exchange(port, FormRequest(kModeQuery)), std::nullopt);
    EXPECT_EQ(Exchange(httpdPort, FormRequest(kModeQuery)), std::nullopt);
}

TEST(BusyboxPeers, RunSideBySide)
{
    BusyboxPeer first;
    BusyboxPeer second;
    ASSERT_TRUE(first.Start());
    ASSERT_TRUE(second.Start());
    EXPECT_EQ(PostForm(first.Port(), kSwitchOpen), "SUCCESS");
    EXPECT_EQ(PostForm(first.Port(), kModeQuery), "FACTORYRESULT:OPENED");
    EXPECT_EQ(PostForm(second.Port(), kModeQuery), "FACTORYRESULT:CLOSED");
}
