#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "raw_http_client.h"
#include "web_fixture.h"

using namespace routersim_test;
using WebServerTest = WebServerFixture;

TEST_F(WebServerTest, AnswersTheThreeCommandsInWorkMode)
{
    EXPECT_EQ(PostForm(Port(), kModeQuery), "FACTORYRESULT:CLOSED");
    EXPECT_EQ(PostForm(Port(), kGetVersion), "SW_VERSION:EN_PELA_BR_KR710MV1.0.0B15");
    EXPECT_FALSE(state.FactoryMode());
}

TEST_F(WebServerTest, AnswersTheThreeCommandsInFactoryMode)
{
    state.SetFactoryMode(true);
    EXPECT_EQ(PostForm(Port(), kModeQuery), "FACTORYRESULT:OPENED");
    EXPECT_EQ(PostForm(Port(), kGetVersion), "SW_VERSION:EN_PELA_BR_KR710MV1.0.0B15");
    EXPECT_EQ(PostForm(Port(), kSwitchOpen), "SUCCESS");
    EXPECT_TRUE(state.FactoryMode());
}

TEST_F(WebServerTest, AnswerIsAnHttp10HeaderAndTheBodyThenClose)
{
    EXPECT_EQ(Exchange(Port(), FormRequest(kModeQuery)), "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nFACTORYRESULT:CLOSED");
}

TEST_F(WebServerTest, SwitchTurnsOnFactoryMode)
{
    EXPECT_EQ(PostForm(Port(), kModeQuery), "FACTORYRESULT:CLOSED");
    EXPECT_EQ(PostForm(Port(), kSwitchOpen), "SUCCESS");
    EXPECT_TRUE(state.FactoryMode());
    EXPECT_EQ(PostForm(Port(), kModeQuery), "FACTORYRESULT:OPENED");
}

TEST_F(WebServerTest, RefusedSwitchesFailBeforeTheRouterAccepts)
{
    web.RefuseSwitches(2);
    EXPECT_EQ(PostForm(Port(), kSwitchOpen), "FAILED");
    EXPECT_EQ(PostForm(Port(), kModeQuery), "FACTORYRESULT:CLOSED");
    EXPECT_EQ(PostForm(Port(), kSwitchOpen), "FAILED");
    EXPECT_FALSE(state.FactoryMode());
    EXPECT_EQ(PostForm(Port(), kSwitchOpen), "SUCCESS");
    EXPECT_EQ(PostForm(Port(), kModeQuery), "FACTORYRESULT:OPENED");
    EXPECT_EQ(web.Counters().switches, 3);
}

TEST_F(WebServerTest, VersionFollowsTheState)
{
    state.SetFirmwareVersion("EN_PELA_BR_KR880PLUSV2.0.1B03");
    EXPECT_EQ(PostForm(Port(), kGetVersion), "SW_VERSION:EN_PELA_BR_KR880PLUSV2.0.1B03");
}

TEST_F(WebServerTest, CountsEachCommandAndKeepsTheLastRequestBytes)
{
    ASSERT_TRUE(PostForm(Port(), kModeQuery));
    ASSERT_TRUE(PostForm(Port(), kModeQuery));
    ASSERT_TRUE(PostForm(Port(), kSwitchOpen));
    const std::string last = FormRequest(kGetVersion);
    ASSERT_TRUE(Exchange(Port(), last));
    ASSERT_TRUE(PostForm(Port(), "goformId=Reboot"));
    ASSERT_TRUE(Exchange(Port(), last));

    const routersim::WebCounters counters = web.Counters();
    EXPECT_EQ(counters.modeQueries, 2);
    EXPECT_EQ(counters.switches, 1);
    EXPECT_EQ(counters.versions, 2);
    EXPECT_EQ(counters.others, 1);
    EXPECT_EQ(counters.malformed, 0);
    EXPECT_EQ(web.LastRequest(), last);
}

TEST_F(WebServerTest, DecodesTheFormBody)
{
    EXPECT_EQ(PostForm(Port(), "SwitchCMD=Query&goformId=Switch%46actoryMode"), "FACTORYRESULT:CLOSED");
}

TEST_F(WebServerTest, OtherFormsFail)
{
    EXPECT_EQ(PostForm(Port(), "goformId=Reboot"), "FAILED");
    EXPECT_EQ(PostForm(Port(), "goformId=SwitchFactoryMode&SwitchCMD=Close"), "FAILED");
    EXPECT_EQ(web.Counters().others, 2);
}

TEST_F(WebServerTest, RequestWithoutContentLengthHasAnEmptyBody)
{
    const std::string request = "POST /goform/goform_process HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\ngoformId=GetVersion";
    EXPECT_EQ(Exchange(Port(), request), "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nFAILED");
    EXPECT_EQ(web.LastRequest(), "POST /goform/goform_process HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
}

TEST_F(WebServerTest, OtherPathsAndMethodsGet404)
{
    const auto otherPath = Exchange(Port(), FormRequest(kModeQuery, "/goform/other"));
    ASSERT_TRUE(otherPath);
    EXPECT_EQ(otherPath->rfind("HTTP/1.0 404 Not Found\r\n", 0), 0u) << *otherPath;
    const auto get = Exchange(Port(), "GET /goform/goform_process HTTP/1.0\r\n\r\n");
    ASSERT_TRUE(get);
    EXPECT_EQ(get->rfind("HTTP/1.0 404 Not Found\r\n", 0), 0u) << *get;
    EXPECT_EQ(web.Counters().others, 2);
}

TEST_F(WebServerTest, RequestArrivingInPiecesIsAnswered)
{
    const routersim::UniqueFd fd = ConnectLoopback(Port());
    ASSERT_TRUE(fd.Valid());
    const std::string request = FormRequest(kGetVersion);
    for (size_t i = 0; i < request.size(); i += 7) {
        ASSERT_TRUE(SendBytes(fd.Get(), std::string_view(request).substr(i, 7)));
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const auto response = ReadUntilClosed(fd.Get());
    ASSERT_TRUE(response);
    EXPECT_EQ(BodyOf(*response), "SW_VERSION:EN_PELA_BR_KR710MV1.0.0B15");
}

TEST_F(WebServerTest, ServesClientsInParallel)
{
    constexpr int kClients = 8;
    constexpr int kRequestsEach = 10;
    std::vector<std::thread> clients;
    std::vector<int> good(kClients, 0);
    for (int c = 0; c < kClients; ++c) {
        clients.emplace_back([&, c] {
            for (int i = 0; i < kRequestsEach; ++i) {
                if (PostForm(Port(), kModeQuery) == "FACTORYRESULT:CLOSED") ++good[c];
            }
        });
    }
    for (std::thread& client : clients) client.join();
    for (int c = 0; c < kClients; ++c) EXPECT_EQ(good[c], kRequestsEach) << "client " << c;
    EXPECT_EQ(web.Counters().modeQueries, kClients * kRequestsEach);
}

TEST_F(WebServerTest, StopReturnsPromptlyWithIdleConnectionsOpen)
{
    // A server whose connections would otherwise wait a minute for their requests.
    routersim::RouterState patientState;
    routersim::WebLimits limits;
    limits.readTimeout = std::chrono::minutes(1);
    routersim::WebServer patient(patientState, limits);
    ASSERT_TRUE(patient.Start("127.0.0.1", 0));
    const routersim::UniqueFd idle = ConnectLoopback(patient.Port());
    ASSERT_TRUE(idle.Valid());
    const routersim::UniqueFd partial = ConnectLoopback(patient.Port());
    ASSERT_TRUE(partial.Valid());
    ASSERT_TRUE(SendBytes(partial.Get(), "POST /goform/goform_process HTTP/1.0\r\nContent-Le"));
    // Connections are accepted in the order they came: once a later one is
    // answered, both are being served.
    ASSERT_EQ(PostForm(patient.Port(), kModeQuery), "FACTORYRESULT:CLOSED");

    const auto begin = std::chrono::steady_clock::now();
    patient.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(20));
    EXPECT_EQ(ReadUntilClosed(idle.Get()), "");
    EXPECT_EQ(ReadUntilClosed(partial.Get()), "");
}

TEST_F(WebServerTest, StopsAndStartsAgain)
{
    web.Stop();
    web.Stop();
    ASSERT_TRUE(web.Start("127.0.0.1", 0));
    EXPECT_EQ(PostForm(Port(), kModeQuery), "FACTORYRESULT:CLOSED");
}

TEST_F(WebServerTest, StartsOnlyOnce)
{
    EXPECT_FALSE(web.Start("127.0.0.1", 0));
    EXPECT_EQ(PostForm(Port(), kModeQuery), "FACTORYRESULT:CLOSED");
}

TEST(WebServerStart, RefusesAnAddressThatIsNoLoopbackAddress)
{
    routersim::RouterState state;
    routersim::WebServer web(state);
    EXPECT_FALSE(web.Start("localhost", 0));
    EXPECT_FALSE(web.Start("", 0));
}
