// Junk on the wire never stops the web interface: after each bad request the
// next good one is answered.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "raw_http_client.h"
#include "web_fixture.h"

using namespace routersim_test;

namespace {

class BadInputTest : public WebServerFixture {
protected:
    void ExpectStillServing()
    {
        EXPECT_EQ(PostForm(Port(), kModeQuery), "FACTORYRESULT:CLOSED");
    }
    static bool StartsWith(const std::optional<std::string>& text, std::string_view prefix)
    {
        return text && text->rfind(prefix, 0) == 0;
    }
};

}  // namespace

TEST_F(BadInputTest, RandomBytes)
{
    std::mt19937 random(20240611);
    for (int round = 0; round < 20; ++round) {
        std::string junk(1 + random() % 6000, '\0');
        for (char& c : junk) c = static_cast<char>(random());
        const routersim::UniqueFd fd = ConnectLoopback(Port());
        ASSERT_TRUE(fd.Valid());
        SendBytes(fd.Get(), junk);
        shutdown(fd.Get(), SHUT_WR);
        EXPECT_TRUE(ReadUntilClosed(fd.Get())) << "round " << round;
    }
    ExpectStillServing();
}

TEST_F(BadInputTest, JunkLinesGet400)
{
    const auto response = Exchange(Port(), "\x01\x02\xff garbage\r\n\r\n");
    EXPECT_TRUE(StartsWith(response, "HTTP/1.0 400 Bad Request\r\n")) << response.value_or("(none)");
    EXPECT_TRUE(StartsWith(Exchange(Port(), "POST  HTTP/1.0\r\n\r\n"), "HTTP/1.0 400"));
    EXPECT_TRUE(StartsWith(Exchange(Port(), "POST /goform/goform_process HTTP/1.0\r\nno colon here\r\n\r\n"), "HTTP/1.0 400"));
    EXPECT_TRUE(StartsWith(Exchange(Port(), "\r\n\r\n"), "HTTP/1.0 400"));
    EXPECT_EQ(web.Counters().malformed, 4);
    ExpectStillServing();
}

TEST_F(BadInputTest, EndlessHeaderIsCutOff)
{
    const routersim::UniqueFd fd = ConnectLoopback(Port());
    ASSERT_TRUE(fd.Valid());
    SendBytes(fd.Get(), "POST /goform/goform_process HTTP/1.0\r\n");
    const std::string filler = "X-Filler: " + std::string(100, 'a') + "\r\n";
    size_t sent = 0;
    while (sent < 64 * 1024 && SendBytes(fd.Get(), filler)) sent += filler.size();
    const auto response = ReadUntilClosed(fd.Get());
    EXPECT_TRUE(StartsWith(response, "HTTP/1.0 431 ")) << response.value_or("(none)");
    ExpectStillServing();
}

TEST_F(BadInputTest, LineWithoutEndIsCutOff)
{
    const auto response = Exchange(Port(), "POST /" + std::string(40 * 1024, 'x'));
    EXPECT_TRUE(StartsWith(response, "HTTP/1.0 431 ")) << response.value_or("(none)");
    ExpectStillServing();
}

TEST_F(BadInputTest, HugeContentLengthGets413)
{
    const std::string head = "POST /goform/goform_process HTTP/1.0\r\nContent-Length: ";
    EXPECT_TRUE(StartsWith(Exchange(Port(), head + "99999999999999999999999999\r\n\r\nx"), "HTTP/1.0 413 "));
    EXPECT_TRUE(StartsWith(Exchange(Port(), head + "65537\r\n\r\nx"), "HTTP/1.0 413 "));
    EXPECT_TRUE(StartsWith(Exchange(Port(), head + "-5\r\n\r\n"), "HTTP/1.0 400 "));
    EXPECT_TRUE(StartsWith(Exchange(Port(), head + "5\r\nContent-Length: 6\r\n\r\nabcdef"), "HTTP/1.0 400 "));
    ExpectStillServing();
}

TEST_F(BadInputTest, LargestBodyIsAccepted)
{
    const std::string body = "goformId=GetVersion&pad=" + std::string(64 * 1024 - 24, 'p');
    ASSERT_EQ(body.size(), 64u * 1024u);
    EXPECT_EQ(PostForm(Port(), body), "SW_VERSION:EN_PELA_BR_KR710MV1.0.0B15");
}

TEST_F(BadInputTest, ClientDisconnectsMidRequest)
{
    {
        const routersim::UniqueFd fd = ConnectLoopback(Port());
        ASSERT_TRUE(fd.Valid());
        SendBytes(fd.Get(), "POST /goform/goform_process HTTP/1.0\r\nContent-Le");
    }
    {
        const routersim::UniqueFd fd = ConnectLoopback(Port());
        ASSERT_TRUE(fd.Valid());
        SendBytes(fd.Get(), "POST /goform/goform_process HTTP/1.0\r\nContent-Length: 100\r\n\r\ngoformId=");
    }
    {
        const routersim::UniqueFd fd = ConnectLoopback(Port());
        ASSERT_TRUE(fd.Valid());
        SendBytes(fd.Get(), FormRequest(kSwitchOpen).substr(0, 60));
        const linger reset{1, 0};
        setsockopt(fd.Get(), SOL_SOCKET, SO_LINGER, &reset, sizeof(reset));
    }
    ExpectStillServing();
    EXPECT_FALSE(state.FactoryMode());
    EXPECT_EQ(web.Counters().switches, 0);
}

TEST_F(BadInputTest, MoreBytesThanContentLengthAreIgnored)
{
    std::string request = FormRequest(kGetVersion);
    const std::string expectedRaw = request;
    request += "&trailing=junk";
    EXPECT_EQ(BodyOf(Exchange(Port(), request).value_or("")), "SW_VERSION:EN_PELA_BR_KR710MV1.0.0B15");
    EXPECT_EQ(web.LastRequest(), expectedRaw);
}

TEST(BadInputTimeout, SilentClientIsClosedAfterTheReadTimeout)
{
    routersim::RouterState state;
    routersim::WebLimits limits;
    limits.readTimeout = std::chrono::milliseconds(1000);
    routersim::WebServer web(state, limits);
    ASSERT_TRUE(web.Start("127.0.0.1", 0));
    // Measured from before the connection, so that the server's own count
    // (from its accept) starts inside it.
    const auto begin = std::chrono::steady_clock::now();
    const routersim::UniqueFd fd = ConnectLoopback(web.Port());
    ASSERT_TRUE(fd.Valid());
    SendBytes(fd.Get(), "POST /goform/goform_process HTTP/1.0\r\n");
    EXPECT_EQ(ReadUntilClosed(fd.Get()), "");
    const auto waited = std::chrono::steady_clock::now() - begin;
    EXPECT_GE(waited, limits.readTimeout);
    // Well before the default limit of 5 s would have closed it.
    EXPECT_LT(waited, std::chrono::milliseconds(4500));
    EXPECT_EQ(PostForm(web.Port(), kModeQuery), "FACTORYRESULT:CLOSED");
}

TEST(BadInputFlood, ConnectionsBeyondTheLimitAreClosed)
{
    routersim::RouterState state;
    routersim::WebLimits limits;
    limits.maxConnections = 4;
    // Idle connections stay for the whole test.
    limits.readTimeout = std::chrono::minutes(1);
    routersim::WebServer web(state, limits);
    ASSERT_TRUE(web.Start("127.0.0.1", 0));
    std::vector<routersim::UniqueFd> idle;
    for (int i = 0; i < 4; ++i) {
        idle.push_back(ConnectLoopback(web.Port()));
        ASSERT_TRUE(idle.back().Valid());
    }
    // Connections are accepted in the order they came: this one is the
    // fifth, and is closed without a word however soon it follows.
    const routersim::UniqueFd extra = ConnectLoopback(web.Port());
    ASSERT_TRUE(extra.Valid());
    EXPECT_EQ(ReadUntilClosed(extra.Get()), "");
    idle.clear();
    // The idle connections' workers end once they see the close; then
    // the server takes requests again.
    EXPECT_TRUE(testing_support::PollUntil([&] { return PostForm(web.Port(), kModeQuery) == "FACTORYRESULT:CLOSED"; }));
}
