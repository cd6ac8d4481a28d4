#include "platform/clock.h"
#include "platform/tcp_socket.h"
#include "scripted_http_server.h"
#include "web/http_request.h"
#include "web/router_web_client.h"
#include "web_fixture.h"

namespace {

// The flush before each command: its command is waited for at most 3000 ms,
// then the client pauses 1000 ms. (On the driven clock a command that is
// still running when the clock has nothing else to wait for is waited for
// its whole 3000 ms.)
constexpr uint64_t kArpWaitMs = 3000;
constexpr uint64_t kArpSettleMs = 1000;

// Answers each command with the text the test sets for it.
struct CommandAnswers {
    std::string mode = "FACTORYRESULT:CLOSED";
    std::string open = "SUCCESS";
    std::string version = "SW_VERSION:EN_PELA_BR_KR710MV1.0.0B15";
};

class RouterWeb : public WebFixture {
protected:
    ScriptedHttpServer server{[this](const std::string& request) {
        std::string body = answers.version;
        if (request.find("SwitchCMD=Query") != std::string::npos) body = answers.mode;
        if (request.find("SwitchCMD=Open") != std::string::npos) body = answers.open;
        return ScriptedHttpServer::Answer(body);
    }};
    CommandAnswers answers;
    web::RouterWebClient client{"127.0.0.1:" + std::to_string(server.Port()), QuietArp()};

    std::u16string Mode()
    {
        EXPECT_TRUE(client.SendDataToGetCurMode());
        return client.WorkModeText();
    }
};

TEST_F(RouterWeb, CommandUrlAndBodies)
{
    EXPECT_EQ(web::RouterWebClient("192.168.1.1", QuietArp()).CommandUrl(), "http://192.168.1.1/goform/goform_process");
    EXPECT_EQ(web::RouterAddress(platform::HostPort{"192.168.1.1", 80}), "192.168.1.1");
    EXPECT_EQ(web::RouterAddress(platform::HostPort{"127.0.0.1", 8080}), "127.0.0.1:8080");
    std::u16string version;
    client.SendDataToGetCurMode();
    client.SwitchToFactory();
    client.SendDataToGetVersion(version);
    const std::vector<std::string> requests = server.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_TRUE(requests[0].ends_with("\r\n\r\ngoformId=SwitchFactoryMode&SwitchCMD=Query"));
    EXPECT_TRUE(requests[1].ends_with("\r\n\r\ngoformId=SwitchFactoryMode&SwitchCMD=Open"));
    EXPECT_TRUE(requests[2].ends_with("\r\n\r\ngoformId=GetVersion"));
}

TEST_F(RouterWeb, ModeAnswers)
{
    EXPECT_EQ(Mode(), u"Work mode");
    answers.mode = "<html>factoryresult:opened</html>";
    EXPECT_EQ(Mode(), u"Factory mode");
    answers.mode = "FACTORYRESULT:CLOSED FACTORYRESULT:OPENED";
    EXPECT_EQ(Mode(), u"Work mode");
    answers.mode = "FACTORYRESULT:ERROR";
    EXPECT_EQ(Mode(), u"Unknown");
}

TEST_F(RouterWeb, SwitchAnswers)
{
    EXPECT_TRUE(client.SwitchToFactory());
    answers.open = "success";
    EXPECT_TRUE(client.SwitchToFactory());
    answers.open = "FAILED";
    EXPECT_FALSE(client.SwitchToFactory());
    answers.open = "whatever";
    EXPECT_FALSE(client.SwitchToFactory());
}

TEST_F(RouterWeb, VersionRules)
{
    std::u16string version = u"old";
    EXPECT_TRUE(client.SendDataToGetVersion(version));
    EXPECT_EQ(version, u"EN_PELA_BR_KR710MV1.0.0B15");
    answers.version = "a:b:c:V2 ";
    EXPECT_TRUE(client.SendDataToGetVersion(version));
    EXPECT_EQ(version, u"V2 ");
    answers.version = "PLAINVERSION";
    EXPECT_TRUE(client.SendDataToGetVersion(version));
    EXPECT_EQ(version, u"PLAINVERSION");
    answers.version = "VERSION:";
    EXPECT_FALSE(client.SendDataToGetVersion(version));
    EXPECT_EQ(version, u"");
    answers.version = "VERSION:X_failsafe";
    EXPECT_FALSE(client.SendDataToGetVersion(version));
    answers.version = "VERSION:X_FAIL";
    EXPECT_TRUE(client.SendDataToGetVersion(version));
    answers.version = "";
    EXPECT_FALSE(client.SendDataToGetVersion(version));
}

TEST_F(WebFixture, NothingListeningFailsWithinTheConnectLimit)
{
    // A port that was just free: nothing listens on it.
    uint16_t port = 0;
    {
        uint32_t loopback = 0;
        ASSERT_TRUE(platform::ResolveIPv4("127.0.0.1", loopback));
        platform::TcpListener probe;
        // The first socket of the process (each case runs alone).
        ASSERT_TRUE(platform::StartNetworking());
        ASSERT_TRUE(probe.Listen(loopback, 0));
        port = probe.Port();
    }
    web::RouterWebClient client("127.0.0.1:" + std::to_string(port), QuietArp());
    std::u16string version = u"stale";
    const uint64_t start = platform::MonotonicMs();
    EXPECT_FALSE(client.SendDataToGetVersion(version));
    const uint64_t elapsed = platform::MonotonicMs() - start;
    EXPECT_EQ(version, u"");
    EXPECT_GE(elapsed, kArpSettleMs);  // the ARP flush settles first
    EXPECT_LE(elapsed, kArpWaitMs + kArpSettleMs + web::kConnectLimitMs);
    EXPECT_TRUE(client.SendDataToGetCurMode());
    EXPECT_EQ(client.WorkModeText(), u"Invalid mode");
    EXPECT_FALSE(client.SwitchToFactory());
}

}  // namespace

namespace {

TEST(ArpFlush, PlatformCommandAndOverride)
{
#ifdef _WIN32
    EXPECT_EQ(web::PlatformArpCommand("").program, u"cmd");
    EXPECT_EQ(web::PlatformArpCommand("").parameters, u"/c arp -d");
    EXPECT_EQ(web::PlatformArpCommand("rem").parameters, u"/c rem");
#else
    EXPECT_EQ(web::PlatformArpCommand("").program, u"ip neigh flush all");
    EXPECT_EQ(web::PlatformArpCommand("true").program, u"true");
#endif
}

#ifndef _WIN32
TEST_F(WebFixture, HangingFlushIsWaitedForAtMost3000msThenSettles1000ms)
{
    const uint64_t start = platform::MonotonicMs();
    web::RunDeleteArp(web::ArpCommand{u"sleep 600", u""}, u"test ");
    EXPECT_EQ(platform::MonotonicMs() - start, kArpWaitMs + kArpSettleMs);
}

TEST_F(WebFixture, FailingFlushIsIgnored)
{
    const uint64_t start = platform::MonotonicMs();
    web::RunDeleteArp(web::ArpCommand{u"exit 3", u""}, u"test ");
    const uint64_t elapsed = platform::MonotonicMs() - start;
    EXPECT_GE(elapsed, kArpSettleMs);
    EXPECT_LE(elapsed, kArpWaitMs + kArpSettleMs);
}
#endif

}  // namespace
